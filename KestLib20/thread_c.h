// Handle of one worker thread: create it, see whether it still runs, wait for it, give it up,
// stop it.
#pragma once

#include "KestLib20/KestLibApi.h"
#include "platform/Thread.h"

#include <cstdint>

using THREAD_PROC = uint32_t (*)(void *argument);

class KESTLIB_SHARED_TYPE thread_c {
public:
    thread_c() = default;
    // Gives up a thread still held (it runs on by itself).
    ~thread_c() { Close(0); }
    thread_c(const thread_c &) = delete;
    thread_c &operator=(const thread_c &) = delete;

    // Starts function(argument) when no thread is held; does nothing otherwise.
    void Create(THREAD_PROC function, void *argument);
    // Gives up a held thread with `exitCode` as its result and forgets it.
    void Close(uint32_t exitCode);
    // Nonzero while the held thread runs; a thread that has ended is closed and 0 returned.
    int Active();
    // Waits up to `ms` for the held thread to end; true when none is held or it has ended.
    bool Wait(uint32_t ms) const;
    // The end of a stop (plat::Thread::StopWithin): waits up to `ms` for the held thread, gives
    // it up with `exitCode` when it has not ended, and forgets it; true when it had ended.
    bool StopWithin(uint32_t ms, uint32_t exitCode);
    // The held thread as a waitable handle (empty when none).
    const plat::Thread &Handle() const { return thread_; }
    bool IsNull() const { return !thread_.Valid(); }

private:
    plat::Thread thread_;
};
