// The exit watchdog: runs a close on a thread of its own and gives it a bounded time. A close
// that hangs is not killed where it stands; the whole process ends instead.
#pragma once

#include "platform/Process.h"
#include "platform/Thread.h"

#include <cstdint>

// TExit gives Close(), run on the thread, and OnHang(ms), called before the process ends.
template <class TExit, uint32_t kBoundMs> class CProcessExitThread {
public:
    // Returns once the close has ended; ends the process with exit code 0 when it has not
    // ended within the bound. Without a thread the close runs on the caller's.
    static void Run()
    {
        plat::Thread thread = plat::Thread::Start([] {
            TExit::Close();
            return 0u;
        });
        if (!thread.Valid()) {
            TExit::Close();
            return;
        }
        if (thread.Join(kBoundMs)) return;
        TExit::OnHang(kBoundMs);
        plat::ExitProcessNow(0);
    }
};
