// The frames of the binary-framed serial switches and routers: encoders that are pure
// functions of a command, reply checks that judge one whole reply, and decoders that take the
// received bytes as they come (a reply may arrive in pieces, or after stray bytes) and report
// the replies they complete. None touches a port.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace swframe {

using Bytes = std::vector<uint8_t>;

// BDS1602: take or preset A0|unit, bus, source; status query C0|unit, 00. Bit 4 of the bus
// and source bytes is always cleared.
KSOVRA20_API Bytes Bds1602Command(int unit, int bus, int source);
KSOVRA20_API Bytes Bds1602Query(int unit);

// What a BDS1602 reply block reports: unit, bus and source.
struct Bds1602State {
    int unit = -1;
    int bus = -1;
    int source = -1;
};
// The state a block of at least three bytes carries, when it is a query answer (`query`) or
// the echo of a program take of `source` on `bus` by `unit`; none otherwise.
KSOVRA20_API std::optional<Bds1602State> Bds1602Reply(const uint8_t *data, size_t length,
                                                      bool query, int unit, int bus, int source);

// The BDS1602's three-byte replies out of the byte stream: a first byte with bit 7 set (A0|u,
// C0|u), then two with it clear. Bytes that start no reply are dropped.
class KSOVRA20_API CBds1602Decoder {
public:
    using Reply = std::array<uint8_t, 3>;
    // The replies that the bytes complete, in order.
    std::vector<Reply> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    Bytes m_pending;
};

// APS1602: 55, (H << 4 | n), command, n arguments, H + sum(command, arguments).
KSOVRA20_API Bytes Aps1602Frame(uint8_t high, uint8_t command, const Bytes &arguments);
KSOVRA20_API Bytes Aps1602Take(int source);
KSOVRA20_API Bytes Aps1602Preset(int source);
KSOVRA20_API Bytes Aps1602ProgramQuery();
KSOVRA20_API Bytes Aps1602PresetQuery();

// The verdict of one APS1602 reply block, and the sources a status reply carries (-1: none).
struct Aps1602Verdict {
    bool ok = false;
    int program = -1;
    int preset = -1;
};
KSOVRA20_API Aps1602Verdict Aps1602Reply(const uint8_t *data, size_t length);
// The APS1602's replies out of the byte stream: (H << 4 | n), n + 1 bytes, H + their sum.
// Bytes in front of the first reply whose check holds are dropped.
class KSOVRA20_API CAps1602Decoder {
public:
    // The verdicts of the replies that the bytes complete, in order.
    std::vector<Aps1602Verdict> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    Bytes m_pending;
};

// Avs300: 80, (entry - 1) & 0F, that + 80.
KSOVRA20_API Bytes Avs300Frame(int entry);

// BJAS: 01 04 10 x y z, x ^ y ^ z ^ 14.
KSOVRA20_API Bytes BjasFrame(int output, int input1, int input2);

// BJSX: AA 01 s 00 s+1 for source 0 to 7; none for any other.
KSOVRA20_API std::optional<Bytes> BjsxFrame(int source);
// The code of a BJSX reply's first byte: 01-03 are 1-3, 'Y' is 0, anything else 4.
KSOVRA20_API int BjsxReplyCode(uint8_t first);

// BJSX_V20, source 0 to 15: the take frame AA 00 11 s*16 sum and, 10 ms later, the route
// frame BB A1 s*16 sum; each sum makes its frame's byte sum 0 modulo 256. Empty for a source
// outside.
KSOVRA20_API Bytes BjsxV20Take(int source);
KSOVRA20_API Bytes BjsxV20Route(int source);

// BoHui: FF 00 00, the eight output-state bytes, XOR of the eleven bytes before & 7F.
KSOVRA20_API Bytes BoHuiFrame(const std::array<uint8_t, 8> &state);

// Network1616: 90 o i A0 o i with 0-based output and input.
KSOVRA20_API Bytes Network1616Frame(int output, int input);

// ONYX: 21 u 04 (level | 10) entry channel, then the sum of bytes 1 to 5.
KSOVRA20_API Bytes OnyxTake(int unit, int level, int entry, int channel);
// The answer to the matrix's poll: (u + 80), 00.
KSOVRA20_API Bytes OnyxPollAnswer(int unit);

// The ONYX matrix's blocks out of the byte stream: its poll 23 (u + 80) and its confirmation
// 23 u 04 (level | 1) entry channel x of a take. Bytes that start neither are dropped.
class KSOVRA20_API COnyxDecoder {
public:
    struct Event {
        bool poll = false;
        int entry = 0; // a confirmation's entry and channel
        int channel = 0;
    };

    COnyxDecoder(int unit, int level) : m_unit(unit), m_level(level) {}
    // The events that the bytes complete, in order.
    std::vector<Event> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    int m_unit;
    int m_level;
    Bytes m_pending;
};

} // namespace swframe
