#include "drivers/switchers/aa2/Aa2Frames.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace swframe {

namespace {

constexpr int kTableSize = 32;

std::string Hex2(int value)
{
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", value & 0xFF);
    return digits;
}

// Two hexadecimal digits at `at`; -1 when they are not there.
int ParseHex2(const std::string &text, size_t at)
{
    if (at + 2 > text.size()) return -1;
    int value = 0;
    for (size_t i = at; i < at + 2; ++i) {
        const int c = std::toupper(static_cast<unsigned char>(text[i]));
        if (c >= '0' && c <= '9')
            value = value * 16 + (c - '0');
        else if (c >= 'A' && c <= 'F')
            value = value * 16 + (c - 'A' + 10);
        else
            return -1;
    }
    return value;
}

int TableValue(int value)
{
    return value >= 0 && value < kTableSize ? value : -1;
}

Aa2Event Event(Aa2Event::Kind kind)
{
    Aa2Event event;
    event.kind = kind;
    return event;
}

bool IsControl(uint8_t byte)
{
    return byte == kAa2Soh || byte == kAa2Ack || byte == kAa2Nak;
}

} // namespace

std::string Aa2Check(const std::string &text)
{
    uint8_t x = 0;
    for (char c : text) x ^= static_cast<uint8_t>(c);
    std::string check(1, static_cast<char>('0' + (x >> 4)));
    check += "0123456789ABCDEF"[x & 0x0F];
    return check;
}

Bytes Aa2Frame(const std::string &command, const std::string &arguments)
{
    const std::string text = command + arguments;
    Bytes frame{kAa2Soh};
    frame.insert(frame.end(), text.begin(), text.end());
    const std::string check = Aa2Check(text);
    frame.insert(frame.end(), check.begin(), check.end());
    frame.push_back(kAa2Eot);
    return frame;
}

Bytes Aa2Switch(Aa2Dialect dialect, int input, int output)
{
    if (input < 0 || input > 0xFF || output < 0 || output > 0xFF) return {};
    const std::string route =
        dialect == Aa2Dialect::Aa2 ? Hex2(input) + Hex2(output) : Hex2(output) + Hex2(input);
    return Aa2Frame("AS", "01N" + route + "T");
}

Bytes Aa2Query(int output)
{
    if (output < 0 || output > 0xFF) return {};
    return Aa2Frame("QD", "N" + Hex2(output));
}

std::vector<Aa2Event> CAa2Decoder::Feed(const uint8_t *data, size_t length)
{
    std::vector<Aa2Event> events;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = data[i];
        if (!m_pending.empty() && byte == kAa2Eot) {
            // SOH, text, two check characters, EOT.
            Aa2Event reply;
            reply.kind = Aa2Event::Kind::Reply;
            if (m_pending.size() >= 3) {
                reply.text.assign(m_pending.begin() + 1, m_pending.end() - 2);
                const std::string check(m_pending.end() - 2, m_pending.end());
                std::string upper = check;
                std::transform(upper.begin(), upper.end(), upper.begin(),
                               [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
                reply.checkOk = upper == Aa2Check(reply.text);
            }
            events.push_back(std::move(reply));
            m_pending.clear();
            continue;
        }
        if (IsControl(byte)) {
            // Whatever frame was open is cut off: this byte starts afresh.
            m_pending.clear();
            if (byte == kAa2Soh)
                m_pending.push_back(byte);
            else
                events.push_back(
                    Event(byte == kAa2Ack ? Aa2Event::Kind::Ack : Aa2Event::Kind::Nak));
            continue;
        }
        if (m_pending.empty()) {
            if (byte == kAa2Poll) events.push_back(Event(Aa2Event::Kind::Poll));
            continue; // starts nothing
        }
        m_pending.push_back(byte);
        if (m_pending.size() > kMaxPending) m_pending.clear();
    }
    return events;
}

Aa2Reply Aa2ParseReply(Aa2Dialect dialect, const std::string &text)
{
    Aa2Reply reply;
    if (text.size() < 2) return reply;
    const std::string command = text.substr(0, 2);
    if (command == "DR") {
        reply.ok = true;
        reply.locked = text.size() > 2 && text[2] == 'L';
        reply.input = TableValue(ParseHex2(text, 4));
        reply.second = TableValue(ParseHex2(text, 7));
    } else if (command == "DQ") {
        reply.ok = true;
        const size_t lockAt = dialect == Aa2Dialect::Aa2 ? 2 : 6;
        const size_t inputAt = dialect == Aa2Dialect::Aa2 ? 3 : 4;
        reply.locked = text.size() > lockAt && text[lockAt] == 'L';
        reply.input = TableValue(ParseHex2(text, inputAt));
        reply.second = reply.input;
    }
    return reply;
}

} // namespace swframe
