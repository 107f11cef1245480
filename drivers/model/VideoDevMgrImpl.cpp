#include "drivers/model/VideoDevMgrImpl.h"

#include "drivers/model/CVideoDevMgrConfig.h"
#include "drivers/model/CVideoRecA.h"
#include "drivers/model/DeviceCalls.h"
#include "drivers/model/TickInterval.h"

#include "Kest20/InstanceRegistry.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/CDeviceA.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <utility>

namespace {

constexpr const char *kStatusChannel = "#OVRA_DEV";
constexpr const char *kLogType = "LOG_DEV";
constexpr int32_t kMaxEntry = 512;
constexpr int32_t kKindMask = ~0xFF;

std::string Upper(const char *id)
{
    CString text(id);
    text.MakeUpper();
    return std::string(text.GetString());
}

// The keys every device has, read from its setting path.
void ReadHead(tagVideoDev &entry, const CString &id, const CString &path)
{
    CResAccess setting(path);
    entry.strDevID = id;
    entry.strSettingPath = path;
    entry.strTypeID = setting["DeviceTypeId"].GetAsString("");
    entry.strTypeID.MakeUpper();
    entry.strDevName = setting["DeviceName"].GetAsString("未知设备");
    entry.strParentID = setting["Parent"].GetAsString("");
}

int32_t ReadEntry(CResAccess &setting)
{
    return std::clamp(setting["Entry"].GetAsInteger(1), 1, kMaxEntry);
}

void ReadKind(tagVideoSrc &entry, CResAccess &setting)
{
    entry.strSwitchDev = setting["SwitchDev"].GetAsString("");
    entry.nCom = setting["Com"].GetAsInteger(0);
    entry.nLocation = setting["nLocation"].GetAsInteger(1);
    entry.nEntry = ReadEntry(setting);
}

void ReadKind(tagVideoRec &entry, CResAccess &setting)
{
    entry.strSwitchDev = setting["SwitchDev"].GetAsString("");
    entry.nCom = setting["Com"].GetAsInteger(0);
    entry.nEntry = ReadEntry(setting);
}

void ReadKind(tagVideoStore &entry, CResAccess &setting)
{
    entry.nLocation = setting["nLocation"].GetAsInteger(1);
    entry.nStoreGroupID = setting["StoreGroupID"].GetAsInteger(1);
    entry.nStore = setting["nStore"].GetAsInteger(0);
    entry.nMaxAmount = setting["MaxAmount"].GetAsInteger(-1);
    entry.nAlertPercent = setting["AlertPercent"].GetAsInteger(-1);
}

void ReadKind(tagVideoDev &, CResAccess &) {}

// The entries of one kind, in list order; ids past the kind's 256 are refused.
template <class T>
void MakeEntries(const CStringArray &ids, int32_t kind, const char *listName,
                 CMapStringToString &paths, CArray<T> &entries,
                 std::unordered_map<std::string, int32_t> &idMap)
{
    entries.RemoveAll();
    for (const CString &id : ids) {
        const int index = entries.GetSize();
        if (index >= kVideoDevPerKind) {
            CString text;
            text.Format("%s: device %s ignored, a kind holds at most %d devices", listName,
                        id.GetString(), kVideoDevPerKind);
            glReportLog(kLogType, text, "");
            continue;
        }
        T entry;
        ReadHead(entry, id, paths[id]);
        CResAccess setting(entry.strSettingPath);
        ReadKind(entry, setting);
        entries.Add(entry);
        idMap[Upper(id)] = kind + index;
    }
}

// A live device of `id` of the class `rtc`, and its object status.
CDeviceA *FindDevice(const char *id, iRtc *rtc, bool &sameKind)
{
    CClassA *found = glGetInstanceByName(CDeviceA::GetClassID(), id);
    sameKind = found && found->IsKindOf(rtc);
    return found ? static_cast<CDeviceA *>(found) : nullptr;
}

} // namespace

void CVideoDevMgr_Impl::Initialise(const char *path)
{
    CVideoDevMgrConfig config;
    config.LoadFromRes(path);
    CMapStringToString paths;
    config.GetDevSettingPath(paths);

    // The entries are read before the lock is taken: reads of settings take their time.
    std::unordered_map<std::string, int32_t> idMap;
    CArray<tagVideoSrc> src;
    CArray<tagVideoRec> rec;
    CArray<tagVideoAux> aux;
    CArray<tagVideoStore> store;
    CArray<tagVideoSwitch> sw;
    MakeEntries(config.VideoSrc, VIDEODEV_SRC, "VideoSrc", paths, src, idMap);
    MakeEntries(config.VideoRec, VIDEODEV_REC, "VideoRec", paths, rec, idMap);
    MakeEntries(config.VideoAux, VIDEODEV_AUX, "VideoAux", paths, aux, idMap);
    MakeEntries(config.VideoStore, VIDEODEV_STORE, "VideoStore", paths, store, idMap);
    MakeEntries(config.VideoSwitch, VIDEODEV_SWITCH, "VideoSwitch", paths, sw, idMap);
    CStringArray checkIds;
    for (CString id : config.CheckDevList) {
        id.MakeUpper();
        if (std::find(checkIds.begin(), checkIds.end(), id) == checkIds.end()) checkIds.Add(id);
    }

    StopCheckThread(); // of an earlier initialisation
    {
        std::lock_guard<CDataLock> lk(m_lock);
        m_strConfigPath = path;
        m_Src = src;
        m_Rec = rec;
        m_Aux = aux;
        m_Store = store;
        m_Switch = sw;
        m_IdMap = std::move(idMap);
        m_CheckIds = checkIds;
        m_strSrcDef = config.VideoSrcDef;
        m_strRecDef = config.VideoRecDef;
        m_strAuxDef = config.VideoAuxDef;
        m_strStoreDef = config.VideoStoreDef;
        m_strSwitchDef = config.VideoSwitchDef;
    }
    {
        std::lock_guard<std::mutex> tl(m_threadLock);
        m_pThread = tagThreadAPI<1>::Create();
        m_pThread->SetProc(&CheckThreadProc, this);
    }
    for (const CString &id : checkIds) AddCheck(id, kCheckInterval, true);
}

void CVideoDevMgr_Impl::Finalise()
{
    StopCheckThread();

    struct Existing {
        int32_t kind;
        CString id;
    };
    std::vector<Existing> configured;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        m_IdMap.clear();
        m_CheckIds.RemoveAll();
        for (int32_t kind :
             {VIDEODEV_SRC, VIDEODEV_REC, VIDEODEV_AUX, VIDEODEV_STORE, VIDEODEV_SWITCH}) {
            DefaultLocked(kind).Empty();
            for (int i = 0; tagVideoDev *head = HeadLocked(kind, i); ++i)
                configured.push_back({kind, head->strDevID});
        }
        m_Src.RemoveAll();
        m_Rec.RemoveAll();
        m_Aux.RemoveAll();
        m_Store.RemoveAll();
        m_Switch.RemoveAll();
    }

    // The active devices, each held by a reference while the manager closes it.
    std::vector<std::pair<int32_t, CDeviceA *>> open;
    for (const Existing &e : configured) {
        bool sameKind = false;
        CDeviceA *device = FindDevice(e.id, GetVideoDevKindRtc(e.kind), sameKind);
        if (!device || !sameKind || device->GetObjectStatus() != OBJ_ACTIVE) continue;
        device->AddRef();
        open.emplace_back(e.kind, device);
    }
    for (auto &[kind, device] : open)
        if (kind == VIDEODEV_REC) static_cast<CVideoRecA *>(device)->DevStop();
    for (auto &[kind, device] : open) {
        device->DevClose();
        CDeviceWait::EndIn(device);
    }
    // A task thread given up inside a device (its manager released during a long exchange) is
    // woken by the close and ends at once: the devices stay until it has left them, since the
    // close of the application frees them.
    const uint32_t begin = plat::GetTickCount();
    for (auto &[kind, device] : open) {
        const uint32_t elapsed = plat::TickElapsed(begin);
        if (!CDeviceCall::WaitEnded(device,
                                    elapsed < kCallEndWaitMs ? kCallEndWaitMs - elapsed : 0)) {
            CString text;
            text.Format("device %s closed while a task thread is still in it",
                        device->GetInstanceName());
            glReportLog(kLogType, text, "");
        }
        device->Release();
    }
}

CString &CVideoDevMgr_Impl::DefaultLocked(int32_t kind)
{
    switch (kind) {
    case VIDEODEV_SRC:
        return m_strSrcDef;
    case VIDEODEV_REC:
        return m_strRecDef;
    case VIDEODEV_AUX:
        return m_strAuxDef;
    case VIDEODEV_STORE:
        return m_strStoreDef;
    default:
        return m_strSwitchDef;
    }
}

int32_t CVideoDevMgr_Impl::FindDevByIDLocked(const char *id)
{
    auto found = m_IdMap.find(Upper(id));
    return found == m_IdMap.end() ? 0 : found->second;
}

tagVideoDev *CVideoDevMgr_Impl::HeadLocked(int32_t kind, int index)
{
    auto at = [index](auto &entries) -> tagVideoDev * {
        return index >= 0 && index < entries.GetSize() ? &entries[index] : nullptr;
    };
    switch (kind) {
    case VIDEODEV_SRC:
        return at(m_Src);
    case VIDEODEV_REC:
        return at(m_Rec);
    case VIDEODEV_AUX:
        return at(m_Aux);
    case VIDEODEV_STORE:
        return at(m_Store);
    case VIDEODEV_SWITCH:
        return at(m_Switch);
    default:
        return nullptr;
    }
}

tagVideoDev *CVideoDevMgr_Impl::HeadOfLocked(const char *id)
{
    const int32_t value = FindDevByIDLocked(id);
    return value ? HeadLocked(value & kKindMask, value & 0xFF) : nullptr;
}

bool CVideoDevMgr_Impl::ResolveLocked(int32_t kind, const char *id, CString &devId, int &index)
{
    const char *wanted = id && *id ? id : DefaultLocked(kind).GetString();
    const int32_t value = FindDevByIDLocked(wanted);
    if (!value || (value & kKindMask) != kind) return false;
    index = value & 0xFF;
    tagVideoDev *head = HeadLocked(kind, index);
    if (!head) return false;
    devId = head->strDevID;
    return true;
}

bool CVideoDevMgr_Impl::PassOpenGate(int32_t kind, const CString &devId)
{
    std::lock_guard<CDataLock> lk(m_lock);
    CString id;
    int index = 0;
    if (!ResolveLocked(kind, devId, id, index)) return false; // finalised meanwhile
    return IsTickIntervalElapsed(HeadLocked(kind, index)->dwLastOpen, kOpenGateMs) != 0;
}

CDeviceA *CVideoDevMgr_Impl::FindOrOpen(int32_t kind, const CString &devId, int open,
                                        tagDevStatus &status)
{
    iRtc *rtc = GetVideoDevKindRtc(kind);
    bool sameKind = false;
    if (CDeviceA *device = FindDevice(devId, rtc, sameKind)) {
        // A device that failed to open is tried again through the same gate as a new one.
        if (sameKind && open && device->GetObjectStatus() != OBJ_ACTIVE &&
            PassOpenGate(kind, devId))
            device->ActiveInstance();
        if (sameKind && device->GetObjectStatus() == OBJ_ACTIVE) {
            status.SetStatus(DEVSTATUS_NORMAL);
            return device;
        }
        status.SetStatus(DEVSTATUS_RUN_FAILED);
        return nullptr;
    }
    if (!open || !PassOpenGate(kind, devId)) {
        std::lock_guard<CDataLock> lk(m_lock);
        if (tagVideoDev *head = HeadOfLocked(devId)) status = head->status;
        return nullptr;
    }
    CDeviceA *device = CDeviceA::OpenDev(devId, rtc, &status);
    if (device) status.SetStatus(DEVSTATUS_NORMAL);
    return device;
}

CDeviceA *CVideoDevMgr_Impl::GetDev(int32_t kind, const char *id, int open, tagDevStatus *statusOut)
{
    CString devId;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        int index = 0;
        if (!ResolveLocked(kind, id, devId, index)) return nullptr;
    }
    tagDevStatus status;
    CDeviceA *device = nullptr;
    {
        // One thread at a time finds, creates and opens a device of this id; a lookup never
        // meets the device of its own id half made by another thread.
        CNamedLocks::Hold one(m_openLocks, devId);
        if (one.Held()) {
            device = FindOrOpen(kind, devId, open, status);
        } else {
            // Its opener waits, in turn, for a device this thread is opening.
            CString text;
            text.Format("device %s not opened: its open waits for this one", devId.GetString());
            glReportLog(kLogType, text, "");
            status.SetStatus(DEVSTATUS_RUN_FAILED);
        }
    }
    if (statusOut) *statusOut = status;
    return device;
}

CDeviceA *CVideoDevMgr_Impl::GetAnyDev(const char *id, int open, tagDevStatus *status)
{
    if (!id || !*id) return nullptr;
    int32_t value = 0;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        value = FindDevByIDLocked(id);
    }
    return value ? GetDev(value & kKindMask, id, open, status) : nullptr;
}

int CVideoDevMgr_Impl::SetDevStatusByID(const char *id, const tagDevStatus &status)
{
    int result = 0;
    CString name;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (tagVideoDev *head = HeadOfLocked(id)) {
            head->status = status;
            name = head->strDevName;
            result = 1;
        }
    }
    const CString message = name + " " + status.GetText() + " ";
    CString text;
    text.Format("<DEV=\"%s\" ID=\"%d\" MSG=\"%s\">", id ? id : "", status.nCode,
                message.GetString());
    glReportLog(kStatusChannel, text, "");
    return result;
}
