#include "KestLib20/CBasicMsgThrd.h"

#include <mutex>

struct CBasicMsgThrd::Queue {
    CDataLock lock;
    std::deque<void *> msgs;
    plat::Event wake; // auto-reset
    CWorkerGate gate;
};

CBasicMsgThrd::CBasicMsgThrd() : m_pQueue(std::make_shared<Queue>()) {}

CBasicMsgThrd::~CBasicMsgThrd()
{
    Stop();
}

int CBasicMsgThrd::AddMsg(void *msg)
{
    {
        std::lock_guard<CDataLock> lk(m_pQueue->lock);
        m_pQueue->msgs.push_back(msg);
        StartLocked();
    }
    m_pQueue->wake.Set();
    return 1;
}

void *CBasicMsgThrd::GetNextMsg()
{
    std::lock_guard<CDataLock> lk(m_pQueue->lock);
    if (m_pQueue->msgs.empty()) return nullptr;
    void *msg = m_pQueue->msgs.front();
    m_pQueue->msgs.pop_front();
    return msg;
}

int CBasicMsgThrd::Start()
{
    std::lock_guard<CDataLock> lk(m_pQueue->lock);
    return StartLocked();
}

int CBasicMsgThrd::StartLocked()
{
    uint32_t gen = 0;
    if (!m_pQueue->gate.Request(&gen)) return 0;
    auto queue = m_pQueue;
    return StartWorker(queue->gate, m_thread, gen, [this, queue, gen] { Serve(this, queue, gen); })
               ? 1
               : 0;
}

int CBasicMsgThrd::Stop()
{
    {
        std::lock_guard<CDataLock> lk(m_pQueue->lock);
        if (!m_pQueue->gate.IsLive()) return 1;
        m_pQueue->gate.Retire();
    }
    m_pQueue->wake.Set();
    EndWorker(m_pQueue->lock, m_thread, kStopBound);
    return 1;
}

plat::Thread CBasicMsgThrd::GetThread()
{
    std::lock_guard<CDataLock> lk(m_pQueue->lock);
    return m_thread.Handle();
}

void CBasicMsgThrd::Serve(CBasicMsgThrd *owner, const std::shared_ptr<Queue> &queue, uint32_t gen)
{
    for (;;) {
        void *msg;
        {
            // The check and the take are one step, so a stop that retires this thread is
            // either before the take (nothing more is called) or after it.
            std::lock_guard<CDataLock> lk(queue->lock);
            if (!queue->gate.Continue(gen)) return;
            msg = owner->GetNextMsg();
        }
        if (msg) {
            owner->OnMsg(msg);
        } else {
            queue->wake.Wait(kIdleWait);
            queue->wake.Reset();
        }
    }
}
