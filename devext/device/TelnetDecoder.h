// Decoding of a telnet client's input, without any I/O: the bytes as they come in, turned into
// the characters, erasures and option commands they hold.
#pragma once

#include "devext/Devext20Api.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace telnet {

enum : uint8_t {
    SE = 240,
    NOP = 241,
    BRK = 243,
    IP = 244,
    AO = 245,
    AYT = 246,
    EC = 247,
    EL = 248,
    SB = 250,
    WILL = 251,
    WONT = 252,
    DO = 253,
    DONT = 254,
    IAC = 255,
};

// Options the shell negotiates.
enum : uint8_t {
    OPT_ECHO = 1,
    OPT_SGA = 3, // suppress go-ahead
};

// One thing the client sent.
struct Item {
    enum Kind {
        Char,    // `value` is a character byte; GBK text comes byte by byte
        Erase,   // IAC EC: erase a character (`value` is EC, 247)
        Command, // call the option handler with (`value`, `option`)
    };
    Kind kind = Char;
    int value = 0;
    int option = 0;
};

// The client's input stream. NUL (the terminal's no-operation) and subnegotiations (IAC SB ...
// IAC SE) give nothing; an IAC with a command the shell does not know drops it and the rest of
// what is held. An incomplete command waits for its remaining bytes in a room of `room` bytes:
// one that fills the room can never be completed, and what it holds is dropped.
class DEVEXT20_API CInputDecoder {
public:
    explicit CInputDecoder(size_t room) : m_nRoom(room > 0 ? room : 1) {}
    // The items these bytes complete, in order.
    std::vector<Item> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    // Takes the items off the front of the pending bytes until none is whole.
    void Decode(std::vector<Item> &items);

    size_t m_nRoom;
    std::vector<uint8_t> m_pending;
};

} // namespace telnet
