#include "KestLib20/timecode_t.h"

#include "KestLib20/StringConvert.h"
#include "KestLib20/ScratchText.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

uint32_t Magnitude(int32_t n)
{
    return n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
}

int32_t ToBcd(int32_t v)
{
    return (v / 10 % 10) << 4 | v % 10;
}

int32_t FromBcd(int32_t v)
{
    return (v >> 4 & 0x0F) * 10 + (v & 0x0F);
}

int32_t Saturate(int64_t n)
{
    return static_cast<int32_t>(std::clamp<int64_t>(n, -INT32_MAX, INT32_MAX));
}

int64_t FramesOf(int64_t hours, int64_t minutes, int64_t seconds, int64_t frames)
{
    return ((hours * 60 + minutes) * 60 + seconds) * timecode_t::kFramesPerSecond + frames;
}

std::string TextOf(int32_t n)
{
    int32_t h, m, s, f, sign;
    timecode_t(n).GetAsDetail(h, m, s, f, &sign);
    char text[timecode_t::kTextSize];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", h, m, s, f);
    std::string out(text);
    if (sign < 0) {
        if (h < 10)
            out[0] = '-';
        else
            out.insert(out.begin(), '-');
    }
    return out;
}

} // namespace

void timecode_t::GetAsDetail(int32_t &hours, int32_t &minutes, int32_t &seconds, int32_t &frames,
                             int32_t *sign) const
{
    const uint32_t n = Magnitude(nFrames);
    frames = static_cast<int32_t>(n % 25);
    seconds = static_cast<int32_t>(n / 25 % 60);
    minutes = static_cast<int32_t>(n / 1500 % 60);
    hours = static_cast<int32_t>(n / 90000);
    if (sign) *sign = GetSign();
}

void timecode_t::GetAsDetail(uint8_t &hours, uint8_t &minutes, uint8_t &seconds, uint8_t &frames,
                             int32_t *sign) const
{
    int32_t h, m, s, f;
    GetAsDetail(h, m, s, f, sign);
    hours = static_cast<uint8_t>(h), minutes = static_cast<uint8_t>(m);
    seconds = static_cast<uint8_t>(s), frames = static_cast<uint8_t>(f);
}

void timecode_t::GetAsDetail_BCD(int32_t &hours, int32_t &minutes, int32_t &seconds,
                                 int32_t &frames, int32_t *sign) const
{
    GetAsDetail(hours, minutes, seconds, frames, sign);
    hours = ToBcd(hours), minutes = ToBcd(minutes), seconds = ToBcd(seconds);
    frames = ToBcd(frames);
}

void timecode_t::GetAsDetail_BCD(uint8_t &hours, uint8_t &minutes, uint8_t &seconds,
                                 uint8_t &frames, int32_t *sign) const
{
    int32_t h, m, s, f;
    GetAsDetail_BCD(h, m, s, f, sign);
    hours = static_cast<uint8_t>(h), minutes = static_cast<uint8_t>(m);
    seconds = static_cast<uint8_t>(s), frames = static_cast<uint8_t>(f);
}

int32_t timecode_t::GetHour() const
{
    return static_cast<int32_t>(Magnitude(nFrames) / 90000);
}

int32_t timecode_t::GetMinute() const
{
    return static_cast<int32_t>(Magnitude(nFrames) / 1500 % 60);
}

int32_t timecode_t::GetSecond() const
{
    return static_cast<int32_t>(Magnitude(nFrames) / 25 % 60);
}

int32_t timecode_t::GetFrame() const
{
    return static_cast<int32_t>(Magnitude(nFrames) % 25);
}

void timecode_t::SetAsDetail(int32_t hours, int32_t minutes, int32_t seconds, int32_t frames,
                             int32_t sign)
{
    const int64_t h = std::clamp<int64_t>(std::llabs(hours), 0, 10000000);
    const int64_t n =
        FramesOf(h, std::llabs(minutes) % 60, std::llabs(seconds) % 60, std::llabs(frames) % 25);
    nFrames = Saturate(sign == -1 ? -n : n);
}

void timecode_t::SetAsDetail_BCD(int32_t hours, int32_t minutes, int32_t seconds, int32_t frames,
                                 int32_t sign)
{
    SetAsDetail(FromBcd(hours), FromBcd(minutes), FromBcd(seconds), FromBcd(frames), sign);
}

const char *timecode_t::GetAsString(char *buffer) const
{
    return EmitText(TextOf(nFrames), buffer, kTextSize, kTextSize);
}

const char16_t *timecode_t::GetAsString(char16_t *buffer) const
{
    return EmitText(TextOf(nFrames), buffer, kTextSize, kTextSize);
}

const char *timecode_t::ToString(char *buffer, int size) const
{
    return EmitText(TextOf(nFrames), buffer, size, kTextSize);
}

const char16_t *timecode_t::ToStringW(char16_t *buffer, int size) const
{
    return EmitText(TextOf(nFrames), buffer, size, kTextSize);
}

int timecode_t::SetAsFrames(const char *text)
{
    if (!text) return 0;
    std::string t(text, std::min<size_t>(std::char_traits<char>::length(text), 32));
    t.erase(0, std::min(t.find_first_not_of(' '), t.size()));
    const bool negative = !t.empty() && t[0] == '-';
    for (char &c : t)
        if (c == '\t' || c == '\\' || c == ':' || c == ',' || c == '.' || c == '/') c = ' ';
    int32_t field[4] = {0, 0, 0, 0};
    ScanNumbers(t.c_str(), field, 4);
    const int64_t n = FramesOf(std::llabs(field[0]), std::llabs(field[1]), std::llabs(field[2]),
                               std::llabs(field[3]));
    nFrames = Saturate(negative ? -n : n);
    return 1;
}

int timecode_t::SetAsFrames(const char16_t *text)
{
    if (!text) return 0;
    std::string narrow;
    for (; *text; ++text) narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
    return SetAsFrames(narrow.c_str());
}
