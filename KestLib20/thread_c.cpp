#include "KestLib20/thread_c.h"

void thread_c::Create(THREAD_PROC function, void *argument)
{
    if (thread_.Valid() || !function) return;
    thread_ = plat::Thread::Start([function, argument] { return function(argument); });
}

void thread_c::Close(uint32_t exitCode)
{
    if (!thread_.Valid()) return;
    if (thread_.IsRunning()) thread_.GiveUp(exitCode);
    thread_.Close();
}

int thread_c::Active()
{
    if (!thread_.Valid()) return 0;
    if (thread_.IsRunning()) return 1;
    Close(0);
    return 0;
}

bool thread_c::Wait(uint32_t ms) const { return !thread_.Valid() || thread_.Join(ms); }
