// The settings of one serial line, as protocol objects and port objects keep them: seven
// unsigned 16-bit fields. Copies go field by field (plain assignment), never as raw bytes.
#pragma once

#include <cstdint>

enum ComParity : uint16_t {
    COM_PARITY_NONE = 0,
    COM_PARITY_ODD = 1,
    COM_PARITY_EVEN = 2,
    COM_PARITY_MARK = 3,
    COM_PARITY_SPACE = 4,
};

enum ComStopBits : uint16_t {
    COM_STOPBITS_ONE = 0,
    COM_STOPBITS_ONE_HALF = 1,
    COM_STOPBITS_TWO = 2,
};

struct COM_SETTING {
    uint16_t nPort = 2; // 1 = COM1 (or board port 1)
    uint16_t nDataBits = 8;
    uint16_t nParity = COM_PARITY_NONE;
    uint16_t nStopBits = COM_STOPBITS_ONE;
    uint16_t nReserved = 0; // no port kind reads it
    uint16_t nBaud = 9600;
    uint16_t nHalfTime = 0; // ms between writes on a half-duplex line; 0 = none
};
static_assert(sizeof(COM_SETTING) == 14, "seven 16-bit fields");
