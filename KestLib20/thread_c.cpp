#include "KestLib20/thread_c.h"

void thread_c::Create(THREAD_PROC function, void *argument)
{
    if (thread_.Valid() || !function) return;
    thread_ = plat::Thread::Start([function, argument] { return function(argument); });
}

void thread_c::Close(uint32_t exitCode)
{
    StopWithin(0, exitCode);
}

int thread_c::Active()
{
    if (!thread_.Valid()) return 0;
    if (thread_.IsRunning()) return 1;
    Close(0);
    return 0;
}

bool thread_c::Wait(uint32_t ms) const
{
    return !thread_.Valid() || thread_.Join(ms);
}

bool thread_c::StopWithin(uint32_t ms, uint32_t exitCode)
{
    const bool ended = thread_.StopWithin(ms, exitCode);
    thread_.Close();
    return ended;
}
