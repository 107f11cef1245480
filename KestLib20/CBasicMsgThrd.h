// A queue of messages served by one thread: AddMsg queues a message and starts the thread
// when it does not run; the thread hands each message to OnMsg in order and waits for more.
// A derived class stops the thread in its own destructor (the thread calls its overrides),
// then takes what is left with GetNextMsg.
#pragma once

#include "KestLib20/CDataLock.h"
#include "KestLib20/WorkerGate.h"
#include "KestLib20/thread_c.h"
#include "platform/Thread.h"

#include <deque>
#include <memory>

class CBasicMsgThrd {
public:
    static constexpr uint32_t kIdleWait = 10000;
    static constexpr uint32_t kStopBound = 1000;

    CBasicMsgThrd();
    virtual ~CBasicMsgThrd();
    CBasicMsgThrd(const CBasicMsgThrd &) = delete;
    CBasicMsgThrd &operator=(const CBasicMsgThrd &) = delete;

    // Appends the message, starts the thread when it does not run and wakes it.
    int AddMsg(void *msg);
    // The oldest message, or null. The thread calls it under the queue's lock.
    virtual void *GetNextMsg();
    // Called on the thread with each message, without the lock.
    virtual void OnMsg(void *msg) = 0;
    // 0 when the thread runs already.
    int Start();
    // Asks the thread to end and waits up to 1000 ms; a thread still in OnMsg then is given
    // up and calls nothing of this object once OnMsg has returned.
    int Stop();
    // The thread as a waitable handle (empty when none was started).
    plat::Thread GetThread();

private:
    struct Queue;
    int StartLocked();
    static void Serve(CBasicMsgThrd *owner, const std::shared_ptr<Queue> &queue, uint32_t gen);

    std::shared_ptr<Queue> m_pQueue;
    thread_c m_thread;
};
