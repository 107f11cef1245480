// The run-time class manager: the lock over the record lists of one class tree and the tree's
// root record. A manager publishes itself in service slot 2 of the module record of the module
// that builds it, so the managers of every module are found by walking the module ring.
#pragma once

#include "KestLib20/CDataLock.h"

#include <atomic>
#include <cstdint>

class iRtc;
struct tagServEntry;

class iRtcMgr {
public:
    // Nonzero takes the manager's lock, 0 releases it; returns 1.
    virtual int32_t LockServer(int32_t lock) = 0;
    // The module service slot that publishes the manager.
    virtual iRtcMgr **GetActivePtr() = 0;
    virtual iRtc *GetRootRtc() = 0;
    // Stores the root; 1 when there was none before, else 0.
    virtual int32_t SetRootRtc(iRtc *root) = 0;

    // The published slot of the next module's manager in ring order after `previous` (the
    // first from this module when null); null at the end of the ring.
    static iRtcMgr **FindMgr(iRtcMgr **previous);

protected:
    ~iRtcMgr() = default;
};

class CKestRtcMgr final : public iRtcMgr {
public:
    CKestRtcMgr();
    // Unpublishes the manager: records that still point at its slot then work unlocked.
    ~CKestRtcMgr();
    CKestRtcMgr(const CKestRtcMgr &) = delete;
    CKestRtcMgr &operator=(const CKestRtcMgr &) = delete;

    int32_t LockServer(int32_t lock) override;
    iRtcMgr **GetActivePtr() override;
    iRtc *GetRootRtc() override;
    int32_t SetRootRtc(iRtc *root) override;

private:
    CDataLock m_lock;
    std::atomic<iRtc *> m_pRoot{nullptr};
    tagServEntry *m_pEntry;
};
