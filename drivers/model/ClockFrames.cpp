#include "drivers/model/ClockFrames.h"

#include <algorithm>
#include <array>

namespace clockframe {

namespace {

constexpr uint16_t kFrameMs = 20; // the clocks' frames stand for 20 ms past the second

uint16_t Weekday(int day)
{
    return static_cast<uint16_t>(day == 8 ? 7 : day);
}

Reading Calendar(int year, int month, int day, int weekday, int hour, int minute, int second)
{
    Reading reading;
    reading.time.wYear = static_cast<uint16_t>(year);
    reading.time.wMonth = static_cast<uint16_t>(month);
    reading.time.wDay = static_cast<uint16_t>(day);
    reading.time.wDayOfWeek = Weekday(weekday);
    reading.time.wHour = static_cast<uint16_t>(hour);
    reading.time.wMinute = static_cast<uint16_t>(minute);
    reading.time.wSecond = static_cast<uint16_t>(second);
    reading.time.wMilliseconds = kFrameMs;
    return reading;
}

Reading TimeOfDay(int hour, int minute, int second)
{
    Reading reading;
    reading.timeOfDay = true;
    reading.time.wHour = static_cast<uint16_t>(hour);
    reading.time.wMinute = static_cast<uint16_t>(minute);
    reading.time.wSecond = static_cast<uint16_t>(second);
    return reading;
}

// Bytes gathered across blocks, the stream cut to start at a frame's first byte.
class Gathered {
public:
    void Append(const uint8_t *data, size_t length)
    {
        m_bytes.insert(m_bytes.end(), data, data + length);
    }
    void DropUntil(uint8_t first)
    {
        m_bytes.erase(m_bytes.begin(), std::find(m_bytes.begin(), m_bytes.end(), first));
    }
    void DropFirst() { m_bytes.erase(m_bytes.begin()); }
    size_t Size() const { return m_bytes.size(); }
    uint8_t operator[](size_t at) const { return m_bytes[at]; }
    void Clear() { m_bytes.clear(); }

private:
    std::vector<uint8_t> m_bytes;
};

// 0x55 hour minute second, binary.
class SyDecoder : public CClockDecoder {
public:
    std::vector<Reading> Feed(const uint8_t *data, size_t length) override
    {
        m_bytes.Append(data, length);
        m_bytes.DropUntil(0x55);
        if (m_bytes.Size() < 4) return {};
        const int hour = m_bytes[1], minute = m_bytes[2], second = m_bytes[3];
        m_bytes.Clear();
        if (hour <= 24 && minute <= 60 && second <= 60) return {TimeOfDay(hour, minute, second)};
        return {};
    }
    void Reset() override { m_bytes.Clear(); }

private:
    Gathered m_bytes;
};

// One block: 0x40 0x40 0x02 0xFD hour minute second, BCD.
class BjsxDecoder : public CClockDecoder {
public:
    std::vector<Reading> Feed(const uint8_t *data, size_t length) override
    {
        static constexpr std::array<uint8_t, 4> kHead = {0x40, 0x40, 0x02, 0xFD};
        if (length < kHead.size() + 3 || !std::equal(kHead.begin(), kHead.end(), data)) return {};
        const int hour = FromBcd(data[4]), minute = FromBcd(data[5]), second = FromBcd(data[6]);
        if (hour <= 24 && minute <= 60 && second <= 60) return {TimeOfDay(hour, minute, second)};
        return {};
    }
    void Reset() override {}
};

// 0xAA 0x14 year month day weekday hour minute second, binary.
class McgDecoder : public CClockDecoder {
public:
    std::vector<Reading> Feed(const uint8_t *data, size_t length) override
    {
        m_bytes.Append(data, length);
        std::vector<Reading> readings;
        while (m_bytes.Size() >= kLength) {
            // A buffer that does not start a frame loses its first byte, so that the stream
            // finds the next frame instead of piling up behind a bad one.
            if (m_bytes[0] != 0xAA || m_bytes[1] != 0x14) {
                m_bytes.DropFirst();
                continue;
            }
            const Reading reading = Calendar(FullYear(m_bytes[2]), m_bytes[3], m_bytes[4],
                                             m_bytes[5], m_bytes[6], m_bytes[7], m_bytes[8]);
            m_bytes.Clear();
            if (IsValidCalendar(reading.time)) readings.push_back(reading);
        }
        return readings;
    }
    void Reset() override { m_bytes.Clear(); }

private:
    static constexpr size_t kLength = 9;
    Gathered m_bytes;
};

// 0xAA, then year month day weekday hour minute second in BCD from `offset`.
class BcdCalendarDecoder : public CClockDecoder {
public:
    BcdCalendarDecoder(size_t length, size_t offset) : m_nLength(length), m_nOffset(offset) {}

    std::vector<Reading> Feed(const uint8_t *data, size_t length) override
    {
        m_bytes.Append(data, length);
        m_bytes.DropUntil(0xAA);
        if (m_bytes.Size() < m_nLength) return {};
        int f[7];
        for (size_t i = 0; i < 7; ++i) f[i] = FromBcd(m_bytes[m_nOffset + i]);
        m_bytes.Clear();
        Reading reading = Calendar(FullYear(f[0]), f[1], f[2], f[3], f[4], f[5], f[6]);
        const int year = reading.time.wYear;
        const int weekday = reading.time.wDayOfWeek;
        reading.valid = year >= 1900 && year <= 2100 && weekday >= 1 && weekday <= 7 &&
                        IsValidCalendar(reading.time);
        return {reading};
    }
    void Reset() override { m_bytes.Clear(); }

private:
    const size_t m_nLength;
    const size_t m_nOffset;
    Gathered m_bytes;
};

// 0xAA 0xAA 0xAA second minute hour weekday day month year and two more bytes, binary.
class KhcDecoder : public CClockDecoder {
public:
    std::vector<Reading> Feed(const uint8_t *data, size_t length) override
    {
        static constexpr std::array<uint8_t, 3> kStart = {0xAA, 0xAA, 0xAA};
        const uint8_t *at = data;
        const uint8_t *end = data + length;
        std::vector<Reading> readings;
        while (at < end) {
            if (!m_bInFrame) {
                at = std::search(at, end, kStart.begin(), kStart.end());
                if (at == end) break;
                m_bInFrame = true;
                m_nCount = 0;
            }
            while (at < end && m_nCount < kLength) m_frame[m_nCount++] = *at++;
            if (m_nCount < kLength) break;
            m_bInFrame = false;
            const Reading reading = Calendar(FullYear(m_frame[9]), m_frame[8], m_frame[7],
                                             m_frame[6], m_frame[5], m_frame[4], m_frame[3]);
            if (IsValidCalendar(reading.time)) readings.push_back(reading);
        }
        return readings;
    }
    void Reset() override { m_bInFrame = false; }

private:
    static constexpr size_t kLength = 12;
    bool m_bInFrame = false;
    size_t m_nCount = 0;
    std::array<uint8_t, 13> m_frame{};
};

// An 8-byte block 0xAA 0x00 year month day weekday hour minute (BCD), then one byte per
// second (BCD) completing the time.
class TvzDecoder : public CClockDecoder {
public:
    std::vector<Reading> Feed(const uint8_t *data, size_t length) override
    {
        if (length == 8 && data[0] == 0xAA && data[1] == 0x00) {
            for (size_t i = 0; i < 6; ++i) m_date[i] = FromBcd(data[2 + i]);
            m_bHaveDate = true;
            return {};
        }
        // A second before any date has nothing to complete.
        if (length != 1 || !m_bHaveDate) return {};
        const Reading reading = Calendar(2000 + m_date[0], m_date[1], m_date[2], m_date[3],
                                         m_date[4], m_date[5], FromBcd(data[0]));
        if (IsValidCalendar(reading.time)) return {reading};
        return {};
    }
    void Reset() override { m_bHaveDate = false; }

private:
    bool m_bHaveDate = false;
    std::array<int, 6> m_date{};
};

} // namespace

int FromBcd(uint8_t byte)
{
    const int high = byte >> 4, low = byte & 0x0F;
    return high > 9 || low > 9 ? 0xFF : high * 10 + low;
}

int FullYear(int year)
{
    if (year >= 0 && year < 50) return 2000 + year;
    if (year >= 50 && year < 100) return 1900 + year;
    return year;
}

bool IsValidCalendar(const plat::SYSTEMTIME &t)
{
    return t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31 && t.wHour <= 24 &&
           t.wMinute <= 60 && t.wSecond <= 60;
}

std::unique_ptr<CClockDecoder> MakeDecoder(Model model)
{
    switch (model) {
    case Model::SY:
        return std::make_unique<SyDecoder>();
    case Model::BJSX:
        return std::make_unique<BjsxDecoder>();
    case Model::MCG:
        return std::make_unique<McgDecoder>();
    case Model::Z3400:
        return std::make_unique<BcdCalendarDecoder>(9, 2);
    case Model::ST3100:
        return std::make_unique<BcdCalendarDecoder>(12, 4);
    case Model::KHC3400:
        return std::make_unique<KhcDecoder>();
    case Model::TVZ3100:
        return std::make_unique<TvzDecoder>();
    }
    return nullptr;
}

} // namespace clockframe
