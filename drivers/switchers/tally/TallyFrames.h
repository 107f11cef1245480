// The frames of the Talley tally controller and the VM3000 matrix: pure encoders of one
// command, and the VM3000's reply decoder, which takes the received bytes as they come and
// reports the replies they complete. None touches a port.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace swframe {

using Bytes = std::vector<uint8_t>;

// Talley: the 48-byte command 02 00 2C 01 01 00 02, the code's low eight bits, 40 bytes 00.
constexpr size_t kTalleyCommandSize = 48;
KSOVRA20_API Bytes TalleyCommand(int code);

// VM3000: 'Z', the command letter, the output as three decimal digits, the input as three
// decimal digits when it is 0 or more, CR. Empty for an output outside 0..999 or an input
// above 999.
KSOVRA20_API Bytes Vm3000Command(char letter, int output, int input = -1);

// One VM3000 reply: a lead byte, the reply letter and, for a read ('R'), the output and the
// input as three decimal digits each.
struct Vm3000Reply {
    char letter = 0;
    int output = -1; // 'R' only
    int input = -1;
    bool operator==(const Vm3000Reply &) const = default;
};

// The VM3000's replies out of the byte stream. CR, LF and NUL between replies are dropped; a
// read whose digits are cut short by another byte ends there without its values, and that
// byte is read afresh.
class KSOVRA20_API CVm3000Decoder {
public:
    std::vector<Vm3000Reply> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    Bytes m_pending; // the lead byte, the letter, the digits so far
};

} // namespace swframe
