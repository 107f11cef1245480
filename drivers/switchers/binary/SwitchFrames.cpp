#include "drivers/switchers/binary/SwitchFrames.h"

#include <numeric>
#include <algorithm>
#include <iterator>

namespace swframe {

namespace {

constexpr uint8_t kBit4Clear = 0xEF;
constexpr uint8_t kApsHead = 0x55;
constexpr uint8_t kOnyxHead = 0x21;
constexpr uint8_t kOnyxMatrixHead = 0x23;
constexpr uint8_t kOnyxCommand = 0x04;
constexpr size_t kOnyxConfirmLength = 7;
constexpr uint8_t kBdsHeadBit = 0x80;
constexpr size_t kBdsReplyLength = 3;

uint8_t Byte(int value)
{
    return static_cast<uint8_t>(value & 0xFF);
}

uint8_t Sum(const uint8_t *data, size_t length)
{
    return static_cast<uint8_t>(std::accumulate(data, data + length, 0u));
}

} // namespace

Bytes Bds1602Command(int unit, int bus, int source)
{
    return {Byte(0xA0 | unit), Byte(bus & kBit4Clear), Byte(source & kBit4Clear)};
}

Bytes Bds1602Query(int unit)
{
    return {Byte(0xC0 | unit), 0x00};
}

std::optional<Bds1602State> Bds1602Reply(const uint8_t *data, size_t length, bool query, int unit,
                                         int bus, int source)
{
    if (!data || length < 3) return std::nullopt;
    const Bds1602State state{data[0] & 0x0F, data[1] & kBit4Clear, data[2] & kBit4Clear};
    const bool echo = state.unit == unit && state.bus == (bus & kBit4Clear) &&
                      state.source == (source & kBit4Clear);
    if (!query && !echo) return std::nullopt;
    return state;
}

std::vector<CBds1602Decoder::Reply> CBds1602Decoder::Feed(const uint8_t *data, size_t length)
{
    std::vector<Reply> replies;
    if (data) m_pending.insert(m_pending.end(), data, data + length);
    size_t at = 0;
    while (at < m_pending.size()) {
        const uint8_t *p = m_pending.data() + at;
        const size_t left = m_pending.size() - at;
        if (!(p[0] & kBdsHeadBit)) {
            ++at;
            continue;
        }
        // A byte with bit 7 set inside the reply is the head of another: this one was stray.
        if ((left > 1 && (p[1] & kBdsHeadBit)) || (left > 2 && (p[2] & kBdsHeadBit))) {
            ++at;
            continue;
        }
        if (left < kBdsReplyLength) break;
        replies.push_back({p[0], p[1], p[2]});
        at += kBdsReplyLength;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(at));
    return replies;
}

Bytes Aps1602Frame(uint8_t high, uint8_t command, const Bytes &arguments)
{
    const auto n = static_cast<uint8_t>(arguments.size() & 0x0F);
    Bytes frame{kApsHead, static_cast<uint8_t>((high & 0x0F) << 4 | n), command};
    std::copy(arguments.begin(), arguments.begin() + n, std::back_inserter(frame));
    frame.push_back(static_cast<uint8_t>((high & 0x0F) + Sum(frame.data() + 2, frame.size() - 2)));
    return frame;
}

Bytes Aps1602Take(int source)
{
    return Aps1602Frame(2, 0x10, {Byte(source)});
}

Bytes Aps1602Preset(int source)
{
    return Aps1602Frame(2, 0x11, {Byte(source)});
}

Bytes Aps1602ProgramQuery()
{
    return Aps1602Frame(6, 0x21, {});
}

Bytes Aps1602PresetQuery()
{
    return Aps1602Frame(6, 0x20, {});
}

Aps1602Verdict Aps1602Reply(const uint8_t *data, size_t length)
{
    Aps1602Verdict verdict;
    if (!data || length < 1) return verdict;
    const uint8_t high = data[0] >> 4;
    const size_t n = data[0] & 0x0F;
    if (length < n + 3) return verdict;
    if (Byte(high + Sum(data + 1, n + 1)) != data[n + 2]) return verdict;
    if (high == 0x1) {
        verdict.ok = data[1] == 0x01;
        return verdict;
    }
    verdict.ok = true;
    if (high == 0x7 && n >= 1) {
        if (data[1] == 0x21) verdict.program = data[2];
        if (data[1] == 0x20) verdict.preset = data[2];
    }
    return verdict;
}

std::vector<Aps1602Verdict> CAps1602Decoder::Feed(const uint8_t *data, size_t length)
{
    std::vector<Aps1602Verdict> verdicts;
    if (data) m_pending.insert(m_pending.end(), data, data + length);
    for (;;) {
        // The first place where a reply whose check holds is complete; the first place where
        // one may still be coming (the bytes before it can start none).
        size_t keep = m_pending.size();
        size_t found = m_pending.size();
        for (size_t at = 0; at < m_pending.size(); ++at) {
            const uint8_t *p = m_pending.data() + at;
            const size_t n = p[0] & 0x0F;
            if (m_pending.size() - at < n + 3) {
                keep = std::min(keep, at);
                continue;
            }
            if (Byte((p[0] >> 4) + Sum(p + 1, n + 1)) == p[n + 2]) {
                found = at;
                break;
            }
        }
        if (found == m_pending.size()) {
            m_pending.erase(m_pending.begin(),
                            m_pending.begin() + static_cast<std::ptrdiff_t>(keep));
            return verdicts;
        }
        const size_t end = found + (m_pending[found] & 0x0F) + 3;
        verdicts.push_back(Aps1602Reply(m_pending.data() + found, end - found));
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

Bytes Avs300Frame(int entry)
{
    const uint8_t source = Byte((entry - 1) & 0x0F);
    return {0x80, source, Byte(source + 0x80)};
}

Bytes BjasFrame(int output, int input1, int input2)
{
    const uint8_t x = Byte(output), y = Byte(input1), z = Byte(input2);
    return {0x01, 0x04, 0x10, x, y, z, Byte(x ^ y ^ z ^ 0x14)};
}

std::optional<Bytes> BjsxFrame(int source)
{
    if (source < 0 || source > 7) return std::nullopt;
    return Bytes{0xAA, 0x01, Byte(source), 0x00, Byte(source + 1)};
}

int BjsxReplyCode(uint8_t first)
{
    if (first >= 0x01 && first <= 0x03) return first;
    return first == 'Y' ? 0 : 4;
}

Bytes BjsxV20Take(int source)
{
    if (source < 0 || source > 15) return {};
    return {0xAA, 0x00, 0x11, Byte(source * 16), Byte(0x45 - source * 16)};
}

Bytes BjsxV20Route(int source)
{
    if (source < 0 || source > 15) return {};
    return {0xBB, 0xA1, Byte(source * 16), Byte(0xA4 - source * 16)};
}

Bytes BoHuiFrame(const std::array<uint8_t, 8> &state)
{
    Bytes frame{0xFF, 0x00, 0x00};
    frame.insert(frame.end(), state.begin(), state.end());
    uint8_t check = 0;
    for (uint8_t b : frame) check ^= b;
    frame.push_back(check & 0x7F);
    return frame;
}

Bytes Network1616Frame(int output, int input)
{
    return {0x90, Byte(output), Byte(input), 0xA0, Byte(output), Byte(input)};
}

Bytes OnyxTake(int unit, int level, int entry, int channel)
{
    Bytes frame{kOnyxHead,          Byte(unit),  kOnyxCommand,
                Byte(level | 0x10), Byte(entry), Byte(channel)};
    frame.push_back(Sum(frame.data() + 1, 5));
    return frame;
}

Bytes OnyxPollAnswer(int unit)
{
    return {Byte(unit + 0x80), 0x00};
}

std::vector<COnyxDecoder::Event> COnyxDecoder::Feed(const uint8_t *data, size_t length)
{
    std::vector<Event> events;
    if (data) m_pending.insert(m_pending.end(), data, data + length);
    const uint8_t poll = Byte(m_unit + 0x80);
    size_t at = 0;
    while (at < m_pending.size()) {
        const size_t left = m_pending.size() - at;
        const uint8_t *p = m_pending.data() + at;
        if (p[0] != kOnyxMatrixHead) {
            ++at;
            continue;
        }
        if (left < 2) break;
        if (p[1] == poll) {
            events.push_back({true, 0, 0});
            at += 2;
            continue;
        }
        if (p[1] != Byte(m_unit)) {
            ++at;
            continue;
        }
        if (left >= 3 && p[2] != kOnyxCommand) {
            ++at;
            continue;
        }
        if (left >= 4 && p[3] != Byte(m_level | 0x01)) {
            ++at;
            continue;
        }
        if (left < kOnyxConfirmLength) break;
        events.push_back({false, p[4], p[5]});
        at += kOnyxConfirmLength;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(at));
    return events;
}

} // namespace swframe
