// The VDCP frame and the pieces of its data, as pure functions: no port, no state. A frame is
// STX, a count byte, CMD-1, CMD-2, the data and a checksum that makes CMD-1 .. checksum sum to
// 0 modulo 256. Numbers are big-endian; a time code is four BCD bytes frames, seconds,
// minutes, hours at 25 frames a second.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/sources/vdcp/VdcpCommands.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace vdcp {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kAck = 0x04;
constexpr uint8_t kNak = 0x05;

// The count byte is one byte and counts CMD-1 and CMD-2 too.
constexpr int kMaxData = 253;
constexpr int kTimecodeBytes = 4;
constexpr int kBasicClipIdBytes = 8;
constexpr int32_t kFramesPerDay = 2160000;
constexpr int64_t kUnitsPerFrame = 400000; // 100 ns units at 25 frames a second

struct Frame {
    std::array<uint8_t, kMaxData + 5> bytes{};
    int nLength = 0;
};

// The two's complement of the 8-bit sum of the bytes.
KSOVRA20_API uint8_t Checksum(const uint8_t *bytes, size_t length);

// The frame of `command` carrying `length` data bytes. The count byte is the number of bytes
// framed (CMD-1, CMD-2 and the data); a row whose table count is 0 keeps the count byte 0. A
// clip id of the NEW set thus never leaves a count byte that disagrees with the bytes sent.
// False, with an empty frame, for a negative length or more than kMaxData bytes.
KSOVRA20_API bool EncodeFrame(const Command &command, const uint8_t *data, int length,
                              Frame &frame);

// The time code of the frame count's magnitude at `out` (hours modulo 100).
KSOVRA20_API void PutTimecode(int32_t frames, uint8_t *out);
// The frame count of the time code at `in`: hours x 90000 + minutes x 1500 + seconds x 25 +
// frames, each byte read as two decimal digits.
KSOVRA20_API int32_t GetTimecode(const uint8_t *in);
// The frame count within one day, 0 .. kFramesPerDay - 1 (a negative count counts back from
// the day's end).
KSOVRA20_API int32_t DayFrames(int32_t frames);

// The speed clamped to -128 .. 127; a speed that is no number counts as 0.
KSOVRA20_API double ClampSpeed(double speed);
// The clamped speed x 2^24 as a 64-bit integer, its bytes 3, 2 and 1: the integer part, then
// two fraction bytes.
KSOVRA20_API std::array<uint8_t, 3> SpeedBytes(double speed);

// A jog of `frames`: below 128 in magnitude the short command with one signed byte, else the
// long command with four bytes big-endian.
struct Jog {
    int32_t nId = kJogShort;
    std::array<uint8_t, 4> bytes{};
    int nLength = 0;
};
KSOVRA20_API Jog EncodeJog(int32_t frames);

// The data of one command, built piece by piece. A piece that does not fit marks the data
// failed; a failed data is never sent.
class KSOVRA20_API Data {
public:
    Data &Byte(uint8_t value);
    // BASIC: 8 bytes, the name cut to 8 and padded with 0x00. NEW: one length byte and the
    // name's bytes (a name over 255 bytes fails). Null counts as empty.
    Data &ClipId(Variant variant, const char *name);
    Data &Timecode(int32_t frames);

    bool Ok() const { return m_bOk; }
    const uint8_t *Bytes() const { return m_bytes.data(); }
    int Length() const { return m_nLength; }

private:
    bool Room(int count);

    std::array<uint8_t, kMaxData> m_bytes{};
    int m_nLength = 0;
    bool m_bOk = true;
};

} // namespace vdcp
