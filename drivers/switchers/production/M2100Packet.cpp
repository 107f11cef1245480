#include "drivers/switchers/production/M2100Packet.h"

#include <algorithm>

namespace m2100 {

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kAck = 0x04;
constexpr uint8_t kNak = 0x05;

uint8_t High(size_t value)
{
    return static_cast<uint8_t>(value >> 8 & 0xFF);
}

uint8_t Low(size_t value)
{
    return static_cast<uint8_t>(value & 0xFF);
}

// The value bytes after each known tag; -1 for an unknown one.
int ValueLength(uint8_t tag)
{
    switch (tag) {
    case 0x01:
    case 0x03:
    case 0x0B:
    case 0x0C:
    case 0x0D:
        return 1;
    case 0x04:
        return 3;
    case 0x05:
        return 6;
    case 0x06:
        return 4;
    case 0x07:
    case 0x08:
    case 0x09:
    case 0x0A:
    case 0x0F:
    case 0x10:
    case 0x12:
    case 0x14:
        return 0;
    case 0x13:
    case 0x21:
        return 2;
    case 0x15:
    case 0x20:
        return 10;
    default:
        return -1;
    }
}

template <class T> void Take(std::optional<T> &to, const std::optional<T> &from)
{
    if (from) to = from;
}

} // namespace

Bytes Block(uint8_t type, const Bytes &commands)
{
    if (commands.size() + 3 > kMaxBlock) return {};
    Bytes block{type, High(commands.size()), Low(commands.size())};
    block.insert(block.end(), commands.begin(), commands.end());
    return block;
}

Bytes Packet(const Bytes &blocks)
{
    if (blocks.empty() || blocks.size() + 4 > kMaxPacket) return {};
    Bytes packet{kStx, High(blocks.size()), Low(blocks.size())};
    packet.insert(packet.end(), blocks.begin(), blocks.end());
    unsigned sum = 0;
    for (size_t i = 1; i < packet.size(); ++i) sum += packet[i];
    packet.push_back(Low(0x100 - (sum & 0xFF)));
    return packet;
}

void Items::Merge(const Items &newer)
{
    Take(transType, newer.transType);
    Take(transRate, newer.transRate);
    Take(rateValue, newer.rateValue);
    Take(oddBus, newer.oddBus);
    Take(evenBus, newer.evenBus);
    Take(value0B, newer.value0B);
    Take(keyMask, newer.keyMask);
    Take(status, newer.status);
}

Items ParseItems(const uint8_t *p, size_t length)
{
    Items items;
    for (size_t at = 0; at < length;) {
        const uint8_t tag = p[at];
        const int size = ValueLength(tag);
        if (size < 0 || at + 1 + static_cast<size_t>(size) > length) break;
        const uint8_t *v = p + at + 1;
        switch (tag) {
        case 0x03:
            items.transType = v[0];
            break;
        case 0x04:
            items.transRate = v[0];
            items.rateValue = static_cast<uint16_t>(v[1] | v[2] << 8);
            break;
        case 0x06: {
            const unsigned flags = v[0] << 8 | v[1];
            if (flags & 0x01) items.oddBus = v[2];
            if (flags & 0x02) items.evenBus = v[2];
            break;
        }
        case 0x0B:
            items.value0B = v[0];
            break;
        case 0x0C:
            items.keyMask = v[0];
            break;
        case 0x0D:
            items.status = v[0];
            break;
        default:
            break;
        }
        at += 1 + static_cast<size_t>(size);
    }
    return items;
}

std::vector<Event> CDecoder::Feed(const uint8_t *data, size_t length)
{
    std::vector<Event> events;
    if (data) m_pending.insert(m_pending.end(), data, data + length);
    size_t at = 0;
    while (at < m_pending.size()) {
        const uint8_t head = m_pending[at];
        if (head == kAck || head == kNak) {
            events.push_back({head == kAck ? Event::Acknowledge : Event::Refusal, {}});
            ++at;
            continue;
        }
        if (head != kStx) {
            ++at;
            continue;
        }
        if (at + 3 > m_pending.size()) break;
        const size_t count = m_pending[at + 1] << 8 | m_pending[at + 2];
        const size_t end = at + 4 + count;
        if (end > m_pending.size()) break;
        unsigned sum = 0;
        for (size_t i = at + 1; i < end; ++i) sum += m_pending[i];
        Event event{(sum & 0xFF) == 0 ? Event::Reply : Event::BadPacket, {}};
        for (size_t b = at + 3; event.kind == Event::Reply && b + 3 <= end - 1;) {
            const size_t payload = m_pending[b + 1] << 8 | m_pending[b + 2];
            const size_t stop = std::min(end - 1, b + 3 + payload);
            if (m_pending[b] == kReply)
                event.items.Merge(ParseItems(m_pending.data() + b + 3, stop - (b + 3)));
            b = stop;
        }
        events.push_back(event);
        at = end;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(at));
    return events;
}

} // namespace m2100
