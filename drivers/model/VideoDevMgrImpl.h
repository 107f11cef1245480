// The device manager's state: the entries of the five kinds, the id map, the defaults, the
// check list and the check thread, and the finding and opening of devices. Shared between the
// manager and its check thread, so that a check thread given up during a long device test
// finds it still there.
#pragma once

#include "drivers/model/VideoDevEntries.h"

#include "KestLib20/CDataLock.h"
#include "KestLib20/CNamedLocks.h"
#include "KestLib20/KestWin32Thread.h"
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/Sync.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class CDeviceA;

class CVideoDevMgr_Impl : public std::enable_shared_from_this<CVideoDevMgr_Impl> {
public:
    static constexpr uint32_t kOpenGateMs = 5000;
    static constexpr uint32_t kCheckInterval = 5000;
    static constexpr int32_t kFirstCheckWaitMs = 3000;
    static constexpr int32_t kIdleCheckWaitMs = 1000;
    // How long a stop lets the check thread end by itself before it is asked through its
    // thread object (which waits 1000 ms more, then gives it up).
    static constexpr uint32_t kCheckEndWaitMs = 2000;
    // How long Finalise waits for task threads to leave the devices it has closed.
    static constexpr uint32_t kCallEndWaitMs = 5000;

    // Loads the configuration and replaces the entries; then checks CheckDevList.
    void Initialise(const char *path);
    // Stops the check thread, empties everything and closes the devices that exist.
    void Finalise();

    // The configured id (upper case) of `id` as `kind` (null or empty: the kind's default),
    // with its index; false when `id` is not configured as that kind. The lock is held.
    bool ResolveLocked(int32_t kind, const char *id, CString &devId, int &index);
    // Kind code plus index of `id` (without case); 0 when not configured. The lock is held.
    int32_t FindDevByIDLocked(const char *id);
    // The entry head at kind and index; null when there is none. The lock is held.
    tagVideoDev *HeadLocked(int32_t kind, int index);
    // The entry head of `id` whatever its kind; null when not configured. The lock is held.
    tagVideoDev *HeadOfLocked(const char *id);

    // See CVideoDevMgr: the kind getters and GetVideoDev.
    CDeviceA *GetDev(int32_t kind, const char *id, int open, tagDevStatus *status);
    CDeviceA *GetAnyDev(const char *id, int open, tagDevStatus *status);
    int SetDevStatusByID(const char *id, const tagDevStatus &status);

    void AddCheck(const char *id, uint32_t interval, bool force);
    void RemoveCheck(const char *id);
    void RemoveAllChecks();
    int CheckNextDevice();
    void StopCheckThread();

    CDataLock m_lock; // guards everything below but the thread part
    CArray<tagVideoSrc> m_Src;
    CArray<tagVideoRec> m_Rec;
    CArray<tagVideoAux> m_Aux;
    CArray<tagVideoStore> m_Store;
    CArray<tagVideoSwitch> m_Switch;
    CString m_strSrcDef, m_strRecDef, m_strAuxDef, m_strStoreDef, m_strSwitchDef;
    CString m_strConfigPath;
    std::unordered_map<std::string, int32_t> m_IdMap; // upper-case id -> kind + index

private:
    struct CheckEntry {
        CString id; // as the caller gave it
        uint32_t dwLastCheck;
        uint32_t dwInterval;
    };

    CString &DefaultLocked(int32_t kind);
    CDeviceA *FindOrOpen(int32_t kind, const CString &devId, int open, tagDevStatus &status);
    // Whether an open of `devId` may be tried now: one attempt per kOpenGateMs.
    bool PassOpenGate(int32_t kind, const CString &devId);
    void StartCheckThread();
    void RunCheckThread();
    // Under the lock: when the check list is empty, the thread's run ends here.
    bool EndIfNoChecks();
    void EndCheckRunLocked(std::shared_ptr<CVideoDevMgr_Impl> &hold);
    static int32_t CheckThreadProc(void *param, int32_t command, int32_t argument);

    CNamedLocks m_openLocks;
    std::vector<CheckEntry> m_Checks;
    CStringArray m_CheckIds; // upper-case ids of CheckDevList

    // The check thread: its object and its start and stop are under m_threadLock; whether a
    // run is under way, and the hold a given-up run keeps on the state, under m_lock.
    std::mutex m_threadLock;
    IKestThread *m_pThread = nullptr;
    bool m_bCheckRunning = false;
    std::shared_ptr<CVideoDevMgr_Impl> m_pSelfHold;
    plat::Event m_evCheckEnded{true, true};
    plat::Event m_evCheckWake{false, false}; // cuts the thread's waits short
};
