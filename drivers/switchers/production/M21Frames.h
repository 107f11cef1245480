// The frames of the M21 and SATURN4000 production switchers (one protocol): 02, n, command,
// n - 1 data bytes, check (the two's complement of the sum of n, the command and the data),
// sent after a line break and the preamble 82 80; and the switcher's answers gathered from the
// byte stream: 04 acknowledges, 08 refuses, 02 ... is a message of the switcher's own. None
// touches a port.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace m21frame {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kAck = 0x04;
constexpr uint8_t kNak = 0x08;
constexpr uint8_t kProgramBus = 0x01;
constexpr uint8_t kPresetBus = 0x02;

KSOVRA20_API Bytes Frame(uint8_t command, const Bytes &data);
KSOVRA20_API Bytes Preamble();

// Transition type: operation type 1 gives 01, 2 gives 06, 3 gives 07, 4 gives 02, other 08.
KSOVRA20_API Bytes TransType(int type);
// Transition rate: 2 gives 02, 3 gives 01, other 03.
KSOVRA20_API Bytes TransRate(int rate);
// The source (as sent) selected on `bus`.
KSOVRA20_API Bytes SelectSource(uint8_t bus, int source);
KSOVRA20_API Bytes Take();

// The model's part of the key and mix frames.
struct KeyMix {
    uint8_t keyCommand;
    uint8_t keyCode; // the code sent for a code other than 07 and 08
    uint8_t keyBus;  // the bus sent for a bus other than 40 and 80
    uint8_t mixCommand;
};
KSOVRA20_API extern const KeyMix kM21;
KSOVRA20_API extern const KeyMix kSaturn4000;

// A key on `bus` with `code`; `off` adds 20 to the bus byte (taking the key off).
KSOVRA20_API Bytes Key(const KeyMix &model, int bus, int code, bool off = false);
KSOVRA20_API Bytes Mix(const KeyMix &model, int bus, int code);

// One answer of the switcher.
struct Answer {
    enum Kind { Acknowledge, Refusal, Message } kind;
    Bytes bytes; // the whole message (Message only)
};

// Gathers the answers from the bytes as they come; a message is whole once its n + 3 bytes
// are in. Bytes that start no answer are dropped.
class KSOVRA20_API CAnswerDecoder {
public:
    std::vector<Answer> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    Bytes m_pending;
};

} // namespace m21frame
