#include "KestLib20/KestRtcMgr.h"

#include "KestLib20/KestModule.h"

namespace {
constexpr int kServiceSlot = 2;
}

iRtcMgr **iRtcMgr::FindMgr(iRtcMgr **previous)
{
    tagServEntry *entry =
        glFindModuleServEntry(kServiceSlot, reinterpret_cast<tagServEntry *>(previous));
    return entry ? reinterpret_cast<iRtcMgr **>(&entry->service) : nullptr;
}

CKestRtcMgr::CKestRtcMgr() : m_pEntry(glGetModuleServEntry(kServiceSlot))
{
    if (m_pEntry) PublishService(m_pEntry, static_cast<iRtcMgr *>(this));
}

CKestRtcMgr::~CKestRtcMgr()
{
    if (m_pEntry && ServiceIn(&m_pEntry->service) == static_cast<iRtcMgr *>(this))
        PublishService(m_pEntry, nullptr);
}

int32_t CKestRtcMgr::LockServer(int32_t lock)
{
    if (lock)
        m_lock.Lock();
    else
        m_lock.Unlock();
    return 1;
}

iRtcMgr **CKestRtcMgr::GetActivePtr()
{
    return m_pEntry ? reinterpret_cast<iRtcMgr **>(&m_pEntry->service) : nullptr;
}

iRtc *CKestRtcMgr::GetRootRtc()
{
    return m_pRoot.load();
}

int32_t CKestRtcMgr::SetRootRtc(iRtc *root)
{
    return m_pRoot.exchange(root) == nullptr ? 1 : 0;
}
