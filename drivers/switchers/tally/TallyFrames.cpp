#include "drivers/switchers/tally/TallyFrames.h"

#include <cstdio>

namespace swframe {

namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
constexpr size_t kReadDigits = 6;
constexpr int kMaxDecimal3 = 999;

void AppendDecimal3(Bytes &frame, int value)
{
    char digits[4];
    std::snprintf(digits, sizeof digits, "%03d", value);
    frame.insert(frame.end(), digits, digits + 3);
}

int Decimal3(const Bytes &bytes, size_t at)
{
    return (bytes[at] - '0') * 100 + (bytes[at + 1] - '0') * 10 + (bytes[at + 2] - '0');
}

bool IsDigit(uint8_t byte)
{
    return byte >= '0' && byte <= '9';
}

} // namespace

Bytes TalleyCommand(int code)
{
    Bytes command(kTalleyCommandSize, 0x00);
    const uint8_t head[] = {0x02, 0x00, 0x2C, 0x01, 0x01, 0x00, 0x02};
    std::copy(std::begin(head), std::end(head), command.begin());
    command[7] = static_cast<uint8_t>(code & 0xFF);
    return command;
}

Bytes Vm3000Command(char letter, int output, int input)
{
    if (output < 0 || output > kMaxDecimal3 || input > kMaxDecimal3) return {};
    Bytes frame{'Z', static_cast<uint8_t>(letter)};
    AppendDecimal3(frame, output);
    if (input >= 0) AppendDecimal3(frame, input);
    frame.push_back(kCr);
    return frame;
}

std::vector<Vm3000Reply> CVm3000Decoder::Feed(const uint8_t *data, size_t length)
{
    std::vector<Vm3000Reply> replies;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = data[i];
        if (m_pending.size() >= 2) {
            // A read's digits.
            if (IsDigit(byte)) {
                m_pending.push_back(byte);
                if (m_pending.size() == 2 + kReadDigits) {
                    replies.push_back({'R', Decimal3(m_pending, 2), Decimal3(m_pending, 5)});
                    m_pending.clear();
                }
                continue;
            }
            replies.push_back({'R'});
            m_pending.clear();
        }
        if (m_pending.empty()) {
            if (byte != kCr && byte != kLf && byte != 0x00) m_pending.push_back(byte);
            continue;
        }
        // The letter.
        if (byte == 'R') {
            m_pending.push_back(byte);
            continue;
        }
        replies.push_back({static_cast<char>(byte)});
        m_pending.clear();
    }
    return replies;
}

} // namespace swframe
