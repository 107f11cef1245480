#include "devext/device/PCommLibrary.h"

#include "platform/Process.h"

namespace {

template <class F> void Find(void *library, const char *name, F *function)
{
    *function = reinterpret_cast<F>(plat::GetProcAddress(library, name));
}

} // namespace

const PCommLibrary &PCommLibrary::Get()
{
    static const PCommLibrary library = [] {
        PCommLibrary entries;
        void *handle = plat::LoadLibrary("PCOMM.DLL");
        if (!handle) return entries;
        Find(handle, "sio_open", &entries.open);
        Find(handle, "sio_ioctl", &entries.ioctl);
        Find(handle, "sio_cnt_irq", &entries.cnt_irq);
        Find(handle, "sio_close", &entries.close);
        Find(handle, "sio_flush", &entries.flush);
        Find(handle, "sio_write", &entries.write);
        Find(handle, "sio_read", &entries.read);
        Find(handle, "sio_break", &entries.brk);
        Find(handle, "sio_putch", &entries.putch);
        return entries;
    }();
    return library;
}
