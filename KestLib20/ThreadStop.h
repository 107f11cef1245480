// The end of a stop: waits up to `ms` for a thread that was asked to end, gives it up when it
// has not ended (it runs on by itself and must touch only what it owns jointly), and drops
// the handle. A thread that stops itself is not waited for.
#pragma once

#include "platform/Thread.h"

#include <cstdint>

inline void JoinOrGiveUp(plat::Thread &thread, uint32_t ms)
{
    if (!thread.Valid()) return;
    if (thread.Id() != plat::GetCurrentThreadId() && !thread.Join(ms)) thread.GiveUp(0);
    if (thread.IsRunning()) thread.GiveUp(0);
    thread.Close();
}
