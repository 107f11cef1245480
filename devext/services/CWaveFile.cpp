#include "devext/services/CWaveFile.h"

#include "devext/services/Speaker.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kRiffHeader = 12;
constexpr uint32_t kFormatHead = 20; // chunk header and the first 12 bytes of the format
constexpr uint32_t kFormatRead = 12; // of the chunk's declared size
constexpr uint32_t kChunkHeader = 8;
constexpr uint32_t kPlayBlock = 1024;
constexpr uint32_t kToneMs = 1;

uint16_t Le16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Le32(const uint8_t *p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

bool IdIs(const uint8_t *p, const char *id)
{
    return std::memcmp(p, id, 4) == 0;
}

} // namespace

bool CWaveFile::ReadExactly(void *buffer, uint32_t count)
{
    return Read(buffer, count) == count;
}

bool CWaveFile::SkipExactly(uint32_t count)
{
    uint8_t scratch[256];
    while (count > 0) {
        const uint32_t take = std::min<uint32_t>(count, sizeof scratch);
        if (!ReadExactly(scratch, take)) return false;
        count -= take;
    }
    return true;
}

int CWaveFile::Refuse()
{
    Close();
    return 0;
}

int CWaveFile::Open(const char *path)
{
    if (IsOpen()) Close();
    if (!path || !CStdioFile::Open(path, modeRead | shareDenyWrite | typeBinary)) return 0;

    uint8_t riff[kRiffHeader];
    if (!ReadExactly(riff, sizeof riff) || !IdIs(riff, "RIFF") || !IdIs(riff + 8, "WAVE"))
        return Refuse();
    m_riffSize = Le32(riff + 4);

    uint8_t format[kFormatHead];
    if (!ReadExactly(format, sizeof format) || !IdIs(format, "fmt ")) return Refuse();
    m_formatSize = Le32(format + 4);
    m_formatTag = Le16(format + 8);
    m_channels = Le16(format + 10);
    m_sampleRate = Le32(format + 12);
    m_byteRate = Le32(format + 16);
    // The rest of the format chunk (block align, bits and any extension) is not needed.
    if (m_formatSize < kFormatRead || !SkipExactly(m_formatSize - kFormatRead)) return Refuse();

    uint8_t data[kChunkHeader];
    if (!ReadExactly(data, sizeof data) || !IdIs(data, "data")) return Refuse();
    m_dataSize = Le32(data + 4);
    return 1;
}

int CWaveFile::PlayWithSpeeker()
{
    if (!IsOpen()) return 0;
    uint8_t block[kPlayBlock + 1];
    for (uint32_t left = m_dataSize; left > 0;) {
        const uint32_t count = std::min(left, kPlayBlock);
        if (!ReadExactly(block, count)) return Refuse();
        block[count] = 0; // an odd last byte pairs with silence
        for (uint32_t i = 0; i < count; i += 2)
            Beep((uint32_t{block[i]} + block[i + 1]) * 10 / 2, kToneMs);
        left -= count;
    }
    Close();
    return 1;
}
