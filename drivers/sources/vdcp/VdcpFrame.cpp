#include "drivers/sources/vdcp/VdcpFrame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vdcp {

namespace {

uint8_t ToBcd(int32_t value)
{
    return static_cast<uint8_t>((value / 10 % 10) << 4 | value % 10);
}

int32_t FromBcd(uint8_t value)
{
    return (value >> 4) * 10 + (value & 0x0F);
}

} // namespace

uint8_t Checksum(const uint8_t *bytes, size_t length)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    return static_cast<uint8_t>(-sum);
}

bool EncodeFrame(const Command &command, const uint8_t *data, int length, Frame &frame)
{
    frame.nLength = 0;
    if (length < 0 || length > kMaxData || (length > 0 && !data)) return false;
    const int framed = length + 2;
    frame.bytes[0] = kStx;
    frame.bytes[1] = command.nCount == 0 ? 0 : static_cast<uint8_t>(framed);
    frame.bytes[2] = command.cmd1;
    frame.bytes[3] = command.cmd2;
    if (length > 0) std::memcpy(frame.bytes.data() + 4, data, static_cast<size_t>(length));
    frame.bytes[2 + framed] = Checksum(&frame.bytes[2], static_cast<size_t>(framed));
    frame.nLength = framed + 3;
    return true;
}

void PutTimecode(int32_t frames, uint8_t *out)
{
    const int64_t magnitude = std::abs(static_cast<int64_t>(frames));
    out[0] = ToBcd(static_cast<int32_t>(magnitude % 25));
    out[1] = ToBcd(static_cast<int32_t>(magnitude / 25 % 60));
    out[2] = ToBcd(static_cast<int32_t>(magnitude / 1500 % 60));
    out[3] = ToBcd(static_cast<int32_t>(magnitude / 90000 % 100));
}

int32_t GetTimecode(const uint8_t *in)
{
    return FromBcd(in[3]) * 90000 + FromBcd(in[2]) * 1500 + FromBcd(in[1]) * 25 + FromBcd(in[0]);
}

int32_t DayFrames(int32_t frames)
{
    const int32_t rest = frames % kFramesPerDay;
    return rest < 0 ? rest + kFramesPerDay : rest;
}

double ClampSpeed(double speed)
{
    if (std::isnan(speed)) return 0;
    return std::clamp(speed, -128.0, 127.0);
}

std::array<uint8_t, 3> SpeedBytes(double speed)
{
    const auto scaled = static_cast<uint64_t>(static_cast<int64_t>(ClampSpeed(speed) * 16777216.0));
    return {static_cast<uint8_t>(scaled >> 24), static_cast<uint8_t>(scaled >> 16),
            static_cast<uint8_t>(scaled >> 8)};
}

Jog EncodeJog(int32_t frames)
{
    Jog jog;
    if (std::abs(static_cast<int64_t>(frames)) < 128) {
        jog.nId = kJogShort;
        jog.bytes[0] = static_cast<uint8_t>(static_cast<int8_t>(frames));
        jog.nLength = 1;
        return jog;
    }
    const auto value = static_cast<uint32_t>(frames);
    jog.nId = kJogLong;
    jog.bytes = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                 static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    jog.nLength = 4;
    return jog;
}

bool Data::Room(int count)
{
    if (m_bOk && m_nLength + count <= kMaxData) return true;
    m_bOk = false;
    return false;
}

Data &Data::Byte(uint8_t value)
{
    if (Room(1)) m_bytes[m_nLength++] = value;
    return *this;
}

Data &Data::ClipId(Variant variant, const char *name)
{
    const size_t length = name ? std::strlen(name) : 0;
    if (variant == Variant::Basic) {
        if (!Room(kBasicClipIdBytes)) return *this;
        const size_t used = std::min<size_t>(length, kBasicClipIdBytes);
        uint8_t *out = m_bytes.data() + m_nLength;
        std::memcpy(out, name ? name : "", used);
        std::fill_n(out + used, kBasicClipIdBytes - used, 0);
        m_nLength += kBasicClipIdBytes;
        return *this;
    }
    if (length > 255) {
        m_bOk = false;
        return *this;
    }
    if (!Room(static_cast<int>(length) + 1)) return *this;
    m_bytes[m_nLength++] = static_cast<uint8_t>(length);
    std::memcpy(m_bytes.data() + m_nLength, name ? name : "", length);
    m_nLength += static_cast<int>(length);
    return *this;
}

Data &Data::Timecode(int32_t frames)
{
    if (Room(kTimecodeBytes)) {
        PutTimecode(frames, m_bytes.data() + m_nLength);
        m_nLength += kTimecodeBytes;
    }
    return *this;
}

} // namespace vdcp
