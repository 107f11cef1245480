// The multiport board library, loaded by name ("PCOMM.DLL") on first need and kept for the
// life of the process, with its eight entry points looked up by name and kept. A missing
// library or entry point leaves its pointer null.
#pragma once

#include "platform/pcomm/PComm.h"

struct PCommLibrary {
    decltype(&sio_open) open = nullptr;
    decltype(&sio_ioctl) ioctl = nullptr;
    decltype(&sio_cnt_irq) cnt_irq = nullptr;
    decltype(&sio_close) close = nullptr;
    decltype(&sio_flush) flush = nullptr;
    decltype(&sio_write) write = nullptr;
    decltype(&sio_read) read = nullptr;
    decltype(&sio_break) brk = nullptr;

    static const PCommLibrary &Get();
};
