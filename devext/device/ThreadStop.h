// The bounded end of a worker thread: wait for it up to the bound, then give it up. A thread
// that stops itself is not waited for.
#pragma once

#include "platform/Thread.h"

#include <cstdint>

inline void JoinOrGiveUp(plat::Thread &thread, uint32_t boundMs)
{
    if (!thread.Valid()) return;
    if (thread.Id() != plat::GetCurrentThreadId() && !thread.Join(boundMs)) thread.GiveUp(0);
    thread.Close();
}
