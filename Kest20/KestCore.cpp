#include "Kest20/KestCore.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace {
void ShutDownAtExit()
{
    CKestCore_Mgr::Mgr().ShutDownAll();
}
} // namespace

CKestCore_Mgr &CKestCore_Mgr::Mgr()
{
    // Kept past the exit handlers, so that objects destroyed late can still ask for a core.
    static CKestCore_Mgr *manager = [] {
        auto *m = new CKestCore_Mgr;
        std::atexit(ShutDownAtExit);
        return m;
    }();
    return *manager;
}

CKestCore_Mgr::Record *CKestCore_Mgr::RecordOf(int core)
{
    return core >= 0 && core < kMaxCores ? &m_cores[core] : nullptr;
}

void CKestCore_Mgr::Register(int core, SHUTDOWN shutdown)
{
    std::lock_guard<CDataLock> lock(m_lock);
    Record *record = RecordOf(core);
    if (!record || record->registered) return;
    record->shutdown = shutdown;
    record->registered = true;
}

void *CKestCore_Mgr::Open(int core, SHUTDOWN shutdown, CREATE create)
{
    std::lock_guard<CDataLock> lock(m_lock);
    Register(core, shutdown);
    Record *record = RecordOf(core);
    if (!record || record->closing) return nullptr;
    if (record->core || record->openedOnce) return record->core;
    record->openedOnce = true;
    record->core = create();
    if (record->core && m_nOrder < kMaxCores) m_order[m_nOrder++] = core;
    return record->core;
}

void *CKestCore_Mgr::Current(int core)
{
    std::lock_guard<CDataLock> lock(m_lock);
    Record *record = RecordOf(core);
    return record ? record->core : nullptr;
}

int CKestCore_Mgr::ShotDown(int core)
{
    void *object;
    SHUTDOWN shutdown;
    {
        std::lock_guard<CDataLock> lock(m_lock);
        Record *record = RecordOf(core);
        if (!record || !record->registered) return 0;
        if (!record->core || record->closing) return 1;
        record->closing = true;
        object = record->core;
        shutdown = record->shutdown;
    }
    // Outside the lock: the core's objects may look their core up while it closes.
    shutdown(object);
    std::lock_guard<CDataLock> lock(m_lock);
    Record *record = RecordOf(core);
    record->core = nullptr;
    record->closing = false;
    return 1;
}

void CKestCore_Mgr::ShutDownAll()
{
    int order[kMaxCores];
    int count;
    {
        std::lock_guard<CDataLock> lock(m_lock);
        count = m_nOrder;
        std::copy(m_order, m_order + count, order);
    }
    for (int i = count - 1; i >= 0; --i) ShotDown(order[i]);
}

void glCoreShutDown()
{
    CKestCore_Mgr::Mgr().ShutDownAll();
}
