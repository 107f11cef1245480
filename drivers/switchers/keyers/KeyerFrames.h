// The frames of the serial keyers and caption generators, and the DSK50D's reply decoder.
// None touches a port.
// - DSK50D: set key 12 03 01 code state check (state 01 on, 00 off; the check is the XOR of
//   the four bytes after the first). Replies are blocks 02 kind code ...: kind 01 with code
//   'B' or 'C' ends a command; kinds 14 and 15 with code 'A' carry the states of keys 0 to 3
//   in bytes 11 to 14.
// - ShiHui: eight ASCII bytes C 1 D|S key-digit N 0 1 CR, answered by a reply whose first byte
//   is 'O'.
// - TrikKey: toggle 55 00 2E key-1 00 01, not answered.
// - SATURN4000 keyers: the switcher's key frame (command E0) for key number + 6.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace keyframe {

using Bytes = std::vector<uint8_t>;

KSOVRA20_API Bytes Dsk50dSetKey(int code, bool on);

// One reply block of the DSK50D.
struct Dsk50dReply {
    uint8_t kind = 0;
    uint8_t code = 0;
    bool hasStates = false;          // kinds 14 and 15 with code 'A'
    std::array<uint8_t, 4> states{}; // keys 0 to 3, as sent (nonzero: on)
};

// Gathers reply blocks from the bytes as they come: a block is 02 and three bytes more, a
// status block (kind 14 or 15, code 'A') 15 bytes. Bytes before an 02 are dropped.
class KSOVRA20_API CDsk50dDecoder {
public:
    static constexpr size_t kBlockSize = 4;
    static constexpr size_t kStatusSize = 15;

    std::vector<Dsk50dReply> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    Bytes m_pending;
};

// Whether `reply` reports key `code` in the state opposite to `on`: only a kind-15 status,
// and only for the keys 0 to 3 it carries.
KSOVRA20_API bool Dsk50dContradicts(const Dsk50dReply &reply, int code, bool on);

KSOVRA20_API Bytes ShiHuiKey(int key, bool on);
// Whether a ShiHui reply beginning with `first` accepts the command.
KSOVRA20_API bool ShiHuiAccepted(uint8_t first);

KSOVRA20_API Bytes TrikKeyToggle(int key);

// The SATURN4000 key action for keyer key `key` (1 gives code 07, any other 08) on the
// preset bus (80) or the program bus (40); `off` takes the key off (bus byte plus 20).
KSOVRA20_API Bytes Saturn4000KeyAction(int key, bool presetBus, bool off);

} // namespace keyframe
