// Worker thread objects with a stop event. Code running on such a thread reaches its object
// through tagThreadAPI<1>, so that a loop can sleep, wait and ask whether it should end; a
// stop asks, waits 1000 ms and then gives the thread up (it is never killed where it stands).
#pragma once

#include "platform/Sync.h"
#include "platform/Thread.h"

#include <cstdint>
#include <memory>
#include <mutex>

// The thread's procedure: command 1 runs the thread's body, 2 tells it a stop was asked for,
// 3 that it is being given up (it runs on by itself).
using KEST_THREAD_PROC = int32_t (*)(void *param, int32_t command, int32_t argument);

class IKestThread {
public:
    enum Command { kRun = 1, kStopRequested = 2, kGivingUp = 3 };

    // Stops the thread (see Stop), unregisters and deletes the object.
    virtual int32_t Suicide() = 0;
    // Calls the procedure; 0 without one.
    virtual int32_t Cmd(int32_t command, int32_t argument) = 0;
    // Refused (0) while the thread runs.
    virtual int32_t SetProc(KEST_THREAD_PROC proc, void *param) = 0;
    // Asks the thread to end, waits up to 1000 ms, then gives it up.
    virtual int32_t Stop() = 0;
    // Starts the procedure with command 1 on a new thread; 1 also when it runs already.
    virtual int32_t Start() = 0;
    // Stop, then forgets the procedure.
    virtual int32_t ShutDown() = 0;
    // 1 while the thread runs; an ended thread is unregistered and its handle closed.
    virtual int32_t IsActive() = 0;
    // 0 once a stop was asked for, else 1.
    virtual int32_t Nop() = 0;
    // Unregisters the calling thread.
    virtual int32_t QuitThread(int32_t exitCode) = 0;
    // Waits on the stop event: 1 after the full time; 1 after a stop (which unregisters the
    // calling thread, so EndOfThread is then 1); 0 at once when a stop was asked before.
    virtual int32_t Sleep(int32_t ms) = 0;
    // Waits for the stop event or `handle`: 0 for either (a stop unregisters the calling
    // thread), WAIT_TIMEOUT after `ms`.
    virtual uint32_t Wait(const plat::Waitable *handle, int32_t ms) = 0;

protected:
    virtual ~IKestThread() = default;
};

class KestWin32Thread : public IKestThread {
public:
    KestWin32Thread() = default;
    // Stops the thread.
    ~KestWin32Thread() override;

    int32_t Suicide() override;
    int32_t Cmd(int32_t command, int32_t argument) override;
    int32_t SetProc(KEST_THREAD_PROC proc, void *param) override;
    int32_t Stop() override;
    int32_t Start() override;
    int32_t ShutDown() override;
    int32_t IsActive() override;
    int32_t Nop() override;
    int32_t QuitThread(int32_t exitCode) override;
    int32_t Sleep(int32_t ms) override;
    uint32_t Wait(const plat::Waitable *handle, int32_t ms) override;

    // What the thread itself uses; a given-up thread keeps it after the object has gone.
    struct State;

private:
    std::shared_ptr<State> CurrentState();

    std::mutex m_mutex; // guards the members against the thread's own calls
    plat::Thread m_thread;
    KEST_THREAD_PROC m_pProc = nullptr;
    void *m_pParam = nullptr;
    std::shared_ptr<State> m_pState;
};

template <int N> struct tagThreadAPI;

// For code on any thread: works on the calling thread's thread object, or plainly when the
// thread has none.
template <> struct tagThreadAPI<1> {
    static int32_t Sleep(int32_t ms);
    static uint32_t Wait(const plat::Waitable *handle, int32_t ms);
    static int32_t Nop();
    // 1 when the calling thread has no thread object or has been told to stop.
    static int32_t EndOfThread();
    static IKestThread *Create();
};
