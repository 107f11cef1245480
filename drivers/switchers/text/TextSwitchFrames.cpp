#include "drivers/switchers/text/TextSwitchFrames.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace swframe {

namespace {

void AppendHex(Bytes &out, int value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const auto byte = static_cast<uint8_t>(value);
    out.push_back(static_cast<uint8_t>(kDigits[byte >> 4]));
    out.push_back(static_cast<uint8_t>(kDigits[byte & 0x0F]));
}

void AppendText(Bytes &out, const char *text)
{
    for (; *text; ++text) out.push_back(static_cast<uint8_t>(*text));
}

} // namespace

Bytes Bw120Command(int channel, int entry)
{
    channel = std::clamp(channel, 1, kBw120Channels);
    entry = std::clamp(entry, 1, 99);
    char text[32];
    std::snprintf(text, sizeof text, " 11%d%d11%d", entry / 10, entry % 10, channel);
    Bytes out;
    AppendText(out, text);
    out.push_back(0x0D);
    out.push_back(0x00);
    return out;
}

Bytes DlkdWrite(char kind, int output, int input)
{
    Bytes out{0x01, 'W', 'R', static_cast<uint8_t>(kind), 'x'};
    AppendHex(out, output);
    out.push_back('y');
    AppendHex(out, input);
    uint8_t check = 0;
    for (size_t i = 1; i < out.size(); ++i) check ^= out[i];
    AppendHex(out, check);
    out.push_back(0x04);
    return out;
}

Bytes QuartzTake(const std::string &levels, int output, int input)
{
    // Three digits each: a number outside 0..999 would lengthen the fixed-width field.
    char numbers[16];
    std::snprintf(numbers, sizeof numbers, "%03d,%03d", std::clamp(output, 0, 999),
                  std::clamp(input, 0, 999));
    Bytes out{'.', 'S'};
    std::copy(levels.begin(), levels.end(), std::back_inserter(out));
    AppendText(out, numbers);
    out.push_back(0x0D);
    return out;
}

} // namespace swframe
