#include "devext/device/TelnetDecoder.h"

#include <algorithm>

namespace telnet {

namespace {

// What the first of the pending bytes hold: an item, bytes to drop, or nothing yet.
struct Step {
    enum What { NeedMore, Take, Skip, Discard };
    What what = NeedMore;
    size_t length = 0;
    Item item;
};

Step Make(Step::What what, size_t length, Item item = {})
{
    return Step{what, length, item};
}

Step Take(Item::Kind kind, size_t length, int value, int option = 0)
{
    return Make(Step::Take, length, Item{kind, value, option});
}

// A subnegotiation IAC SB ... IAC SE, where IAC IAC is a data byte 255.
Step Subnegotiation(const uint8_t *data, size_t count)
{
    for (size_t i = 2; i + 1 < count; ++i) {
        if (data[i] != IAC) continue;
        if (data[i + 1] == SE) return Make(Step::Skip, i + 2);
        ++i; // an escaped byte, or a command inside: not the end
    }
    return Make(Step::NeedMore, 0);
}

Step First(const uint8_t *data, size_t count)
{
    if (count == 0) return Make(Step::NeedMore, 0);
    const uint8_t first = data[0];
    // NUL is the terminal's no-operation (a client sends it after CR); it is no character.
    if (first == 0) return Make(Step::Skip, 1);
    // Bytes of 128 and above are text too (GBK characters come as two of them).
    if (first != IAC) return Take(Item::Char, 1, first);
    if (count < 2) return Make(Step::NeedMore, 0);
    const uint8_t command = data[1];
    switch (command) {
    case WILL:
    case WONT:
    case DO:
    case DONT:
        return count < 3 ? Make(Step::NeedMore, 0) : Take(Item::Command, 3, command, data[2]);
    case SB:
        return Subnegotiation(data, count);
    case NOP:
    case BRK:
    case IP:
    case AO:
    case AYT:
    case EL:
        return Take(Item::Command, 2, command);
    case EC:
        return Take(Item::Erase, 2, EC);
    default:
        return Make(Step::Discard, 0);
    }
}

} // namespace

void CInputDecoder::Decode(std::vector<Item> &items)
{
    size_t at = 0;
    for (;;) {
        const Step step = First(m_pending.data() + at, m_pending.size() - at);
        if (step.what == Step::NeedMore) break;
        if (step.what == Step::Discard) {
            at = m_pending.size();
            break;
        }
        if (step.what == Step::Take) items.push_back(step.item);
        at += step.length;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(at));
}

std::vector<Item> CInputDecoder::Feed(const uint8_t *data, size_t length)
{
    std::vector<Item> items;
    if (!data) return items;
    // The bytes go in no faster than the room takes them, so that an undecodable command drops
    // only what the room held with it.
    while (length > 0) {
        const size_t piece = std::min(length, m_nRoom - m_pending.size());
        m_pending.insert(m_pending.end(), data, data + piece);
        data += piece;
        length -= piece;
        Decode(items);
        // An incomplete command that fills the whole room can never be completed.
        if (m_pending.size() == m_nRoom) m_pending.clear();
    }
    return items;
}

} // namespace telnet
