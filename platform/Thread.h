// Worker threads as waitable handles: start, exit code, still-active test, timed join, give-up
// and the bounded stop. A thread is never killed where it stands; a stop that times out gives
// it up.
#pragma once

#include "platform/PlatformApi.h"
#include "platform/Sync.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace plat {

constexpr uint32_t STILL_ACTIVE = 259;

namespace detail {
class ThreadObject;
}

class PLAT_API Thread : public Waitable {
public:
    using Function = std::function<uint32_t()>;

    Thread() = default;
    // Starts `fn` on a new thread; an empty handle when the thread cannot be created.
    static Thread Start(Function fn);

    // True while the thread runs.
    bool IsRunning() const;
    // Waits up to `ms` for the end; true when the thread has ended.
    bool Join(uint32_t ms) const { return Wait(ms) == WAIT_OBJECT_0; }
    // STILL_ACTIVE while running; the function's result (or the give-up code) afterwards.
    uint32_t ExitCode() const;
    // The system thread id (0 for an empty handle).
    uint32_t Id() const;
    // Gives the thread up: nobody waits for it any more and its exit code reads `exitCode`.
    // It runs on until it returns by itself; what it touches must be jointly owned.
    void GiveUp(uint32_t exitCode);
    // The end of every stop, once the thread has been asked to end: waits up to `boundMs` for
    // it and gives it up with `giveUpCode` when it has not ended. Called on the thread itself
    // it does not wait (the thread cannot end while it waits) and gives it up: it ends when
    // it returns. True when the thread has ended or the handle is empty; the handle is kept.
    bool StopWithin(uint32_t boundMs, uint32_t giveUpCode);
    // Drops this handle (the thread, if running, is not affected).
    void Close()
    {
        obj_.reset();
        thread_.reset();
    }

private:
    std::shared_ptr<detail::ThreadObject> thread_;
};

PLAT_API uint32_t GetCurrentThreadId();

} // namespace plat
