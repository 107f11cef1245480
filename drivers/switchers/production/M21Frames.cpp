#include "drivers/switchers/production/M21Frames.h"

#include <algorithm>

namespace m21frame {

namespace {

constexpr uint8_t kTransType = 0x4C;
constexpr uint8_t kTransRate = 0x4D;
constexpr uint8_t kSelect = 0x7F;
constexpr uint8_t kTake = 0x44;
constexpr uint8_t kTakeData = 0x80;
constexpr uint8_t kKeyOff = 0x20;
constexpr size_t kKeyTail = 9;

uint8_t Byte(int value)
{
    return static_cast<uint8_t>(value & 0xFF);
}

uint8_t OneOf(int value, uint8_t a, uint8_t b, uint8_t other)
{
    return value == a || value == b ? static_cast<uint8_t>(value) : other;
}

} // namespace

const KeyMix kM21{0xE1, 0x07, 0x40, 0xE0};
const KeyMix kSaturn4000{0xE0, 0x08, 0x80, 0xE1};

Bytes Frame(uint8_t command, const Bytes &data)
{
    // Sized once and filled in place: growing a three-byte head by the data makes GCC 12 see
    // a copy past the head's end (-Warray-bounds) where none happens.
    Bytes frame(data.size() + 4);
    frame[0] = kStx;
    frame[1] = Byte(static_cast<int>(data.size()) + 1);
    frame[2] = command;
    std::copy(data.begin(), data.end(), frame.begin() + 3);
    unsigned sum = 0;
    for (size_t i = 1; i + 1 < frame.size(); ++i) sum += frame[i];
    frame.back() = Byte(0x100 - static_cast<int>(sum & 0xFF));
    return frame;
}

Bytes Preamble()
{
    return {0x82, 0x80};
}

Bytes TransType(int type)
{
    const uint8_t code = type == 1   ? 0x01
                         : type == 2 ? 0x06
                         : type == 3 ? 0x07
                         : type == 4 ? 0x02
                                     : 0x08;
    return Frame(kTransType, {code});
}

Bytes TransRate(int rate)
{
    return Frame(kTransRate, {Byte(rate == 2 ? 0x02 : rate == 3 ? 0x01 : 0x03)});
}

Bytes SelectSource(uint8_t bus, int source)
{
    return Frame(kSelect, {bus, Byte(source), Byte(source), 0x00, 0x00});
}

Bytes Take()
{
    return Frame(kTake, {kTakeData});
}

Bytes Key(const KeyMix &model, int bus, int code, bool off)
{
    Bytes data{OneOf(code, 0x07, 0x08, model.keyCode), 0x00,
               Byte(OneOf(bus, 0x40, 0x80, model.keyBus) + (off ? kKeyOff : 0)), 0x00};
    data.insert(data.end(), kKeyTail, 0x00);
    return Frame(model.keyCommand, data);
}

Bytes Mix(const KeyMix &model, int bus, int code)
{
    return Frame(model.mixCommand, {OneOf(code, 0x05, 0x06, 0x05), 0x00,
                                    Byte(bus == 0x80 ? 0x80 : 0x40), 0x00, 0x00});
}

std::vector<Answer> CAnswerDecoder::Feed(const uint8_t *data, size_t length)
{
    std::vector<Answer> answers;
    if (data) m_pending.insert(m_pending.end(), data, data + length);
    size_t at = 0;
    while (at < m_pending.size()) {
        const uint8_t head = m_pending[at];
        if (head == kAck || head == kNak) {
            answers.push_back({head == kAck ? Answer::Acknowledge : Answer::Refusal, {}});
            ++at;
        } else if (head == kStx) {
            if (at + 1 >= m_pending.size()) break;
            const size_t end = at + m_pending[at + 1] + 3u;
            if (end > m_pending.size()) break;
            answers.push_back({Answer::Message, Bytes(m_pending.begin() + static_cast<long>(at),
                                                      m_pending.begin() + static_cast<long>(end))});
            at = end;
        } else {
            ++at;
        }
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(at));
    return answers;
}

} // namespace m21frame
