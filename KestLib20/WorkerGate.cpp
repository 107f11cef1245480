#include "KestLib20/WorkerGate.h"

#include <memory>
#include <mutex>

bool CWorkerGate::Request(uint32_t *gen)
{
    m_bWanted = true;
    if (IsLive()) return false;
    m_dwLive = ++m_dwGen;
    *gen = m_dwGen;
    return true;
}

bool CWorkerGate::Continue(uint32_t gen)
{
    if (gen == m_dwGen && m_bWanted) return true;
    Ended(gen);
    return false;
}

namespace {
uint32_t RunBody(void *arg)
{
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()> *>(arg));
    (*body)();
    return 0;
}
} // namespace

bool StartWorker(CWorkerGate &gate, thread_c &thread, uint32_t gen, std::function<void()> body)
{
    // The old worker has decided to end under this lock, so it needs nothing more from us.
    thread.Close(0);
    auto *arg = new std::function<void()>(std::move(body));
    thread.Create(RunBody, arg);
    if (!thread.IsNull()) return true;
    delete arg;
    gate.Ended(gen);
    return false;
}

void EndWorker(CDataLock &lock, thread_c &thread, uint32_t ms)
{
    plat::Thread worker;
    {
        std::lock_guard<CDataLock> lk(lock);
        worker = thread.Handle();
    }
    if (!worker.Valid()) return;
    worker.StopWithin(ms, 0);
    std::lock_guard<CDataLock> lk(lock);
    if (thread.Handle().Id() == worker.Id()) thread.Close(0);
}
