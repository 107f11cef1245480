// Decoding of a telnet client's input, without any I/O: what the first bytes held are (a
// character, a command for the option handler, bytes to drop) and how many they take.
#pragma once

#include "devext/Devext20Api.h"

#include <cstdint>

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

struct Item {
    enum Kind {
        NeedMore, // an incomplete command: wait for more bytes
        Char,     // `value` is a character byte; GBK text comes byte by byte
        Erase,    // IAC EC: erase a character (`value` is EC, 247)
        Command,  // call the option handler with (`value`, `option`)
        Skip,     // drop `length` bytes: no character
        Discard,  // undecodable: drop everything held
    };
    Kind kind = NeedMore;
    int value = 0;
    int option = 0;
    int length = 0;
};

// Decodes the first item of the `count` bytes held at `data`.
DEVEXT20_API Item Decode(const uint8_t *data, int count);

} // namespace telnet
