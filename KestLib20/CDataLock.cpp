#include "KestLib20/CDataLock.h"

namespace {
// The tick is 0 only while the lock is free.
uint32_t NonZeroTick()
{
    uint32_t t = plat::GetTickCount();
    return t ? t : 1;
}
} // namespace

void CDataLock::Lock()
{
    m_lock.Lock();
    m_dwLockTick = NonZeroTick();
}

bool CDataLock::TryLock()
{
    if (!m_lock.TryLock()) return false;
    m_dwLockTick = NonZeroTick();
    return true;
}

void CDataLock::Unlock()
{
    if (!m_lock.IsHeldByCurrentThread()) return;
    m_dwLockTick = 0;
    m_lock.Unlock();
}
