// The multiport board library, loaded by name ("PCOMM.DLL") on first need and kept for the
// life of the process, with its entry points looked up by name and kept. A missing
// library or entry point leaves its pointer null.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/pcomm/PComm.h"

struct DEVEXT20_API PCommLibrary {
    decltype(&sio_open) open = nullptr;
    decltype(&sio_ioctl) ioctl = nullptr;
    decltype(&sio_cnt_irq) cnt_irq = nullptr;
    decltype(&sio_close) close = nullptr;
    decltype(&sio_flush) flush = nullptr;
    decltype(&sio_write) write = nullptr;
    decltype(&sio_read) read = nullptr;
    decltype(&sio_break) brk = nullptr;
    decltype(&sio_putch) putch = nullptr;

    static const PCommLibrary &Get();
};
