#include "devext/device/TelnetDecoder.h"

namespace telnet {

namespace {

Item Make(Item::Kind kind, int length, int value = 0, int option = 0)
{
    return Item{kind, value, option, length};
}

// A subnegotiation IAC SB ... IAC SE, where IAC IAC is a data byte 255.
Item Subnegotiation(const uint8_t *data, int count)
{
    for (int i = 2; i + 1 < count; ++i) {
        if (data[i] != IAC) continue;
        if (data[i + 1] == SE) return Make(Item::Skip, i + 2);
        ++i; // an escaped byte, or a command inside: not the end
    }
    return Make(Item::NeedMore, 0);
}

} // namespace

Item Decode(const uint8_t *data, int count)
{
    if (count <= 0) return Make(Item::NeedMore, 0);
    const uint8_t first = data[0];
    // NUL is the terminal's no-operation (a client sends it after CR); it is no character.
    if (first == 0) return Make(Item::Skip, 1);
    // Bytes of 128 and above are text too (GBK characters come as two of them).
    if (first != IAC) return Make(Item::Char, 1, first);
    if (count < 2) return Make(Item::NeedMore, 0);
    const uint8_t command = data[1];
    switch (command) {
    case WILL:
    case WONT:
    case DO:
    case DONT:
        return count < 3 ? Make(Item::NeedMore, 0) : Make(Item::Command, 3, command, data[2]);
    case SB:
        return Subnegotiation(data, count);
    case NOP:
    case BRK:
    case IP:
    case AO:
    case AYT:
    case EL:
        return Make(Item::Command, 2, command);
    case EC:
        return Make(Item::Erase, 2, EC);
    default:
        return Make(Item::Discard, 0);
    }
}

} // namespace telnet
