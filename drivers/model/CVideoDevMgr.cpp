#include "drivers/model/CVideoDevMgr.h"

#include "drivers/model/CVideoAuxA.h"
#include "drivers/model/CVideoRecA.h"
#include "drivers/model/CVideoSrcA.h"
#include "drivers/model/CVideoStoreA.h"
#include "drivers/model/CVideoSwitchA.h"
#include "drivers/model/VideoDevMgrImpl.h"

#include <algorithm>
#include <cstring>

CVideoDevMgr *CVideoDevMgr::m_pVideoDevMgr = nullptr;

namespace {

// {5C80D4FE-025F-4717-A326-8456BAC6C558}: the changeover switch's interface.
constexpr IID IID_IVideoDevEchg = {
    0x5C80D4FE, 0x025F, 0x4717, {0xA3, 0x26, 0x84, 0x56, 0xBA, 0xC6, 0xC5, 0x58}};

bool StartsWith(const CString &text, const char *prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool StartsWithNoCase(const CString &text, const char *prefix)
{
    const int length = static_cast<int>(std::strlen(prefix));
    return text.GetLength() >= length && text.Left(length).CompareNoCase(prefix) == 0;
}

template <class T> bool CopyEntry(CVideoDevMgr_Impl &impl, int32_t kind, const char *id, T &entry)
{
    std::lock_guard<CDataLock> lk(impl.m_lock);
    CString devId;
    int index = 0;
    if (!impl.ResolveLocked(kind, id, devId, index)) return false;
    entry = static_cast<T &>(*impl.HeadLocked(kind, index));
    return true;
}

template <class T> int AllIds(CVideoDevMgr_Impl &impl, const CArray<T> &entries, CStringArray &ids)
{
    std::lock_guard<CDataLock> lk(impl.m_lock);
    ids.RemoveAll();
    for (const T &entry : entries) ids.Add(entry.strDevID);
    return ids.GetSize();
}

template <class T> int CountOf(CVideoDevMgr_Impl &impl, const CArray<T> &entries)
{
    std::lock_guard<CDataLock> lk(impl.m_lock);
    return entries.GetSize();
}

// The first entry of `entries` that `match` accepts, passed to `use`; `none` when no entry is.
template <class T, class Match, class Use, class R>
R FirstWhere(CVideoDevMgr_Impl &impl, const CArray<T> &entries, Match match, Use use, R none)
{
    std::lock_guard<CDataLock> lk(impl.m_lock);
    for (const T &entry : entries)
        if (match(entry)) return use(entry);
    return none;
}

} // namespace

CVideoDevMgr::CVideoDevMgr() : _Impl(std::make_shared<CVideoDevMgr_Impl>())
{
    CVideoDevMgr *none = nullptr;
    __atomic_compare_exchange_n(&m_pVideoDevMgr, &none, this, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
}

CVideoDevMgr::~CVideoDevMgr()
{
    _Impl->StopCheckThread();
    CVideoDevMgr *self = this;
    __atomic_compare_exchange_n(&m_pVideoDevMgr, &self, nullptr, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
}

int CVideoDevMgr::Initlization(const char *path)
{
    _Impl->Initialise(path);
    return 1;
}

int CVideoDevMgr::Finalization()
{
    _Impl->Finalise();
    return 1;
}

int CVideoDevMgr::sFinalization()
{
    CVideoDevMgr *first = __atomic_load_n(&m_pVideoDevMgr, __ATOMIC_SEQ_CST);
    return first ? first->Finalization() : 0;
}

int CVideoDevMgr::GetVideoSrc(const char *id, tagVideoSrc &entry)
{
    return CopyEntry(*_Impl, VIDEODEV_SRC, id, entry);
}

int CVideoDevMgr::GetVideoRec(const char *id, tagVideoRec &entry)
{
    return CopyEntry(*_Impl, VIDEODEV_REC, id, entry);
}

int CVideoDevMgr::GetVideoAux(const char *id, tagVideoAux &entry)
{
    return CopyEntry(*_Impl, VIDEODEV_AUX, id, entry);
}

int CVideoDevMgr::GetVideoStore(const char *id, tagVideoStore &entry)
{
    return CopyEntry(*_Impl, VIDEODEV_STORE, id, entry);
}

int CVideoDevMgr::GetVideoSwitch(const char *id, tagVideoSwitch &entry)
{
    return CopyEntry(*_Impl, VIDEODEV_SWITCH, id, entry);
}

CVideoSrcA *CVideoDevMgr::GetVideoSrcDev(const char *id, int open, tagDevStatus *status)
{
    return static_cast<CVideoSrcA *>(_Impl->GetDev(VIDEODEV_SRC, id, open, status));
}

CVideoRecA *CVideoDevMgr::GetVideoRecDev(const char *id, int open, tagDevStatus *status)
{
    return static_cast<CVideoRecA *>(_Impl->GetDev(VIDEODEV_REC, id, open, status));
}

CVideoAuxA *CVideoDevMgr::GetVideoAuxDev(const char *id, int open, tagDevStatus *status)
{
    return static_cast<CVideoAuxA *>(_Impl->GetDev(VIDEODEV_AUX, id, open, status));
}

CVideoStoreA *CVideoDevMgr::GetVideoStoreDev(const char *id, int open, tagDevStatus *status)
{
    return static_cast<CVideoStoreA *>(_Impl->GetDev(VIDEODEV_STORE, id, open, status));
}

CVideoSwitchA *CVideoDevMgr::GetVideoSwitchDev(const char *id, int open, tagDevStatus *status)
{
    return static_cast<CVideoSwitchA *>(_Impl->GetDev(VIDEODEV_SWITCH, id, open, status));
}

CDeviceA *CVideoDevMgr::GetVideoDev(const char *id, int open, tagDevStatus *status)
{
    return _Impl->GetAnyDev(id, open, status);
}

CVideoAuxA *CVideoDevMgr::GetVideoAuxDevByType(const char *typePrefix, int open)
{
    if (!typePrefix || !*typePrefix) return nullptr;
    const CString id = FirstWhere(
        *_Impl, _Impl->m_Aux,
        [typePrefix](const tagVideoAux &e) { return StartsWith(e.strTypeID, typePrefix); },
        [](const tagVideoAux &e) { return e.strDevID; }, CString());
    return id.IsEmpty() ? nullptr : GetVideoAuxDev(id, open);
}

IVideoDevEchg *CVideoDevMgr::GetVideoDevEchg(int open)
{
    CVideoAuxA *aux = GetVideoAuxDevByType("LVAUX_ECHG", open);
    if (!aux) return nullptr;
    void *echg = nullptr;
    if (FAILED(aux->QueryInterface(&IID_IVideoDevEchg, &echg))) return nullptr;
    return static_cast<IVideoDevEchg *>(echg); // null when not answered
}

int CVideoDevMgr::GetVideoSrcIDList(CStringArray &ids, int, const char *)
{
    return AllIds(*_Impl, _Impl->m_Src, ids);
}

int CVideoDevMgr::GetVideoRecIDList(CStringArray &ids, int, const char *)
{
    return AllIds(*_Impl, _Impl->m_Rec, ids);
}

int CVideoDevMgr::GetVideoSwitchIDList(CStringArray &ids, int, const char *)
{
    return AllIds(*_Impl, _Impl->m_Switch, ids);
}

int CVideoDevMgr::GetVideoAuxIDList(CStringArray &ids, int mode, const char *text)
{
    if (mode == 0) return AllIds(*_Impl, _Impl->m_Aux, ids);
    if (mode != 2) return ids.GetSize();
    std::lock_guard<CDataLock> lk(_Impl->m_lock);
    ids.RemoveAll();
    if (text && *text)
        for (const tagVideoAux &entry : _Impl->m_Aux)
            if (StartsWith(entry.strTypeID, text)) ids.Add(entry.strDevID);
    return ids.GetSize();
}

int CVideoDevMgr::GetVideoStoreIDList(CStringArray &ids, int mode, const char *)
{
    if (mode == 0) return AllIds(*_Impl, _Impl->m_Store, ids);
    if (mode != 1) return ids.GetSize();
    std::lock_guard<CDataLock> lk(_Impl->m_lock);
    const int count = _Impl->m_Store.GetSize();
    ids.RemoveAll();
    if (count == 0) return 0;
    ids.SetSize(count);
    for (const tagVideoStore &entry : _Impl->m_Store)
        ids[std::clamp(entry.nLocation, 0, count - 1)] = entry.strDevID;
    return ids.GetSize();
}

int CVideoDevMgr::GetVideoSrcByEntry(CStringArray &ids)
{
    std::lock_guard<CDataLock> lk(_Impl->m_lock);
    ids.RemoveAll();
    for (const tagVideoSrc &entry : _Impl->m_Src) ids.SetAtGrow(entry.nEntry - 1, entry.strDevID);
    return ids.GetSize();
}

int CVideoDevMgr::GetVideoSrcByDevType(CStringArray &ids, const char *prefix)
{
    std::lock_guard<CDataLock> lk(_Impl->m_lock);
    ids.RemoveAll();
    for (const tagVideoSrc &entry : _Impl->m_Src)
        if (StartsWithNoCase(entry.strTypeID, prefix ? prefix : "")) ids.Add(entry.strDevID);
    return ids.GetSize();
}

int CVideoDevMgr::GetVideoSrcLocation(const char *id)
{
    return FirstWhere(
        *_Impl, _Impl->m_Src,
        [id](const tagVideoSrc &e) { return e.strDevID.CompareNoCase(id) == 0; },
        [](const tagVideoSrc &e) { return e.nLocation; }, -1);
}

int CVideoDevMgr::GetVideoStoreLocation(const char *id)
{
    return FirstWhere(
        *_Impl, _Impl->m_Store,
        [id](const tagVideoStore &e) { return e.strDevID.CompareNoCase(id) == 0; },
        [](const tagVideoStore &e) { return e.nLocation; }, -1);
}

CString CVideoDevMgr::GetVideoStoreIDByLocation(int location)
{
    return FirstWhere(
        *_Impl, _Impl->m_Store,
        [location](const tagVideoStore &e) { return e.nLocation == location; },
        [](const tagVideoStore &e) { return e.strDevID; }, CString());
}

int CVideoDevMgr::FindVideoStoreL2Location()
{
    return FirstWhere(
        *_Impl, _Impl->m_Store, [](const tagVideoStore &e) { return e.nStore == 1; },
        [](const tagVideoStore &e) { return e.nLocation; }, -1);
}

int CVideoDevMgr::FindVideoStoreL3Location()
{
    return FirstWhere(
        *_Impl, _Impl->m_Store, [](const tagVideoStore &e) { return e.nStore == 2; },
        [](const tagVideoStore &e) { return e.nLocation; }, -1);
}

int CVideoDevMgr::GetVideoStoreAmount(const char *id, int &maxAmount, int &alertPercent)
{
    maxAmount = -1;
    alertPercent = -1;
    return FirstWhere(
        *_Impl, _Impl->m_Store,
        [id](const tagVideoStore &e) {
            return e.strDevID.CompareNoCase(id) == 0 && e.nMaxAmount >= 0 && e.nAlertPercent >= 0;
        },
        [&](const tagVideoStore &e) {
            maxAmount = e.nMaxAmount;
            alertPercent = e.nAlertPercent;
            return 1;
        },
        0);
}

int CVideoDevMgr::GetSwitchEntryBYSrcID(const char *id)
{
    return FirstWhere(
        *_Impl, _Impl->m_Src, [id](const tagVideoSrc &e) { return e.strDevID == id; },
        [](const tagVideoSrc &e) { return e.nEntry; }, -1);
}

int CVideoDevMgr::GetVideoSrcCount()
{
    return CountOf(*_Impl, _Impl->m_Src);
}

int CVideoDevMgr::GetVideoRecCount()
{
    return CountOf(*_Impl, _Impl->m_Rec);
}

int CVideoDevMgr::GetVideoAuxCount()
{
    return CountOf(*_Impl, _Impl->m_Aux);
}

int CVideoDevMgr::GetVideoStoreCount()
{
    return CountOf(*_Impl, _Impl->m_Store);
}

int CVideoDevMgr::GetVideoSwitchCount()
{
    return CountOf(*_Impl, _Impl->m_Switch);
}

CString CVideoDevMgr::GetDevNameByID(const char *id)
{
    std::lock_guard<CDataLock> lk(_Impl->m_lock);
    const tagVideoDev *head = _Impl->HeadOfLocked(id);
    return head ? head->strDevName : CString();
}

CString CVideoDevMgr::GetParentDevID(const char *id)
{
    std::lock_guard<CDataLock> lk(_Impl->m_lock);
    const tagVideoDev *head = _Impl->HeadOfLocked(id);
    return head ? head->strParentID : CString();
}

int CVideoDevMgr::GetParentDevID(const char *id, CStringArray &parents)
{
    parents.RemoveAll();
    CDeviceA *device = GetVideoDev(id, 1, nullptr);
    if (!device) return 0;
    CStringArray embedded;
    if (device->GetEmbenddedDev(embedded)) {
        for (const CString &member : embedded) parents.Add(GetParentDevID(member));
    } else {
        parents.Add(GetParentDevID(id));
    }
    return parents.GetSize();
}

int CVideoDevMgr::SetDevLastOpenTime(const char *id, uint32_t tick)
{
    std::lock_guard<CDataLock> lk(_Impl->m_lock);
    if (tagVideoDev *head = _Impl->HeadOfLocked(id)) head->dwLastOpen = tick;
    return 1;
}

int CVideoDevMgr::SetDevStatusByID(const char *id, const tagDevStatus &status)
{
    return _Impl->SetDevStatusByID(id, status);
}

int CVideoDevMgr::GetDevStatusByID(const char *id, tagDevStatus &status)
{
    std::lock_guard<CDataLock> lk(_Impl->m_lock);
    const tagVideoDev *head = _Impl->HeadOfLocked(id);
    if (!head) return 0;
    status = head->status;
    return 1;
}

int CVideoDevMgr::AddDevChkTask(const char *id, uint32_t interval, int32_t force)
{
    _Impl->AddCheck(id, interval, force != 0);
    return 1;
}

int CVideoDevMgr::RemoveDevChkTask(const char *id)
{
    _Impl->RemoveCheck(id);
    return 1;
}

int CVideoDevMgr::RemoveAllDevChkTask()
{
    _Impl->RemoveAllChecks();
    return 1;
}

int CVideoDevMgr::CheckNextDevice()
{
    return _Impl->CheckNextDevice();
}
