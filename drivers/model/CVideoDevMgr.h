// The device manager: knows every configured broadcast device of the process by its id, keeps
// one entry per device with its settings and last status, finds or creates the device object
// on demand (one open attempt per device in 5000 ms), and runs a check thread that tests the
// devices of its check list in turn and posts their status on "#OVRA_DEV".
//
// One lock guards the entries, the id map, the defaults and the check list; it is never held
// while a device is created, opened, tested or closed, nor while a status is posted. Devices
// of one id are opened one at a time.
#pragma once

#include "devext/device/CDeviceA.h"
#include "devext/device/tagDevStatus.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/VideoDevEntries.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>
#include <memory>

class CVideoSrcA;
class CVideoRecA;
class CVideoAuxA;
class CVideoStoreA;
class CVideoSwitchA;
class IVideoDevEchg;
class CVideoDevMgr_Impl;

class KSOVRA20_API CVideoDevMgr {
public:
    // The first manager constructed in the process; null when none lives.
    static CVideoDevMgr *m_pVideoDevMgr;

    CVideoDevMgr();
    // Stops the check thread.
    ~CVideoDevMgr();
    CVideoDevMgr(const CVideoDevMgr &) = delete;
    CVideoDevMgr &operator=(const CVideoDevMgr &) = delete;

    // Loads the configuration at `path`, makes the entries and starts checking the devices of
    // CheckDevList; no device object is created. 1.
    int Initlization(const char *path);
    // Stops the check thread, empties the manager and closes (does not release) the devices
    // that exist; recorders are stopped first. 1.
    int Finalization();
    // The first manager's Finalization; 0 when there is none.
    static int sFinalization();

    // 1 and a copy of the entry when `id` is configured as that kind (a null id: the kind's
    // default), else 0.
    int GetVideoSrc(const char *id, tagVideoSrc &entry);
    int GetVideoRec(const char *id, tagVideoRec &entry);
    int GetVideoAux(const char *id, tagVideoAux &entry);
    int GetVideoStore(const char *id, tagVideoStore &entry);
    int GetVideoSwitch(const char *id, tagVideoSwitch &entry);

    // The device of `id` (null or empty: the kind's default) when configured as that kind:
    // the live one, or with `open` one created by class name and opened, at most one attempt
    // per device in 5000 ms. Null otherwise, with the reason in `status` when given (left
    // untouched for an id not configured as that kind).
    CVideoSrcA *GetVideoSrcDev(const char *id, int open = 1, tagDevStatus *status = nullptr);
    CVideoRecA *GetVideoRecDev(const char *id, int open = 1, tagDevStatus *status = nullptr);
    CVideoAuxA *GetVideoAuxDev(const char *id, int open = 1, tagDevStatus *status = nullptr);
    CVideoStoreA *GetVideoStoreDev(const char *id, int open = 1, tagDevStatus *status = nullptr);
    CVideoSwitchA *GetVideoSwitchDev(const char *id, int open = 1, tagDevStatus *status = nullptr);
    // The device of `id` whatever its kind; null for an id not configured.
    CDeviceA *GetVideoDev(const char *id, int open = 1, tagDevStatus *status = nullptr);
    // The first auxiliary whose device type id begins with `typePrefix` (exact bytes; an
    // empty or null prefix matches nothing).
    CVideoAuxA *GetVideoAuxDevByType(const char *typePrefix, int open = 1);
    // The changeover switch's interface of the first "LVAUX_ECHG" auxiliary; null when there
    // is none or it does not answer it.
    IVideoDevEchg *GetVideoDevEchg(int open = 1);

    // Every id of the kind in configuration order (mode and text are not used); the count.
    int GetVideoSrcIDList(CStringArray &ids, int mode = 0, const char *text = nullptr);
    int GetVideoRecIDList(CStringArray &ids, int mode = 0, const char *text = nullptr);
    int GetVideoSwitchIDList(CStringArray &ids, int mode = 0, const char *text = nullptr);
    // Mode 0 every auxiliary, mode 2 those whose type id begins with `text`; other modes
    // leave `ids` as it is. Its size.
    int GetVideoAuxIDList(CStringArray &ids, int mode = 0, const char *text = nullptr);
    // Mode 0 every store; mode 1 one slot per store, each store's id in the slot of its
    // nLocation (held to the slots; a later store wins). Other modes leave `ids`. Its size.
    int GetVideoStoreIDList(CStringArray &ids, int mode = 0, const char *text = nullptr);
    // Slot Entry-1 holds the source of that Entry; the size.
    int GetVideoSrcByEntry(CStringArray &ids);
    // The sources whose type id begins with `prefix`, without case; the count.
    int GetVideoSrcByDevType(CStringArray &ids, const char *prefix);
    // nLocation of the source / store (id without case); -1 when not configured.
    int GetVideoSrcLocation(const char *id);
    int GetVideoStoreLocation(const char *id);
    // The first store at `location`; "" when none.
    CString GetVideoStoreIDByLocation(int location);
    // nLocation of the first store whose nStore is 1 / 2; -1 when none.
    int FindVideoStoreL2Location();
    int FindVideoStoreL3Location();
    // 1 with both values for a store that has both set (0 or more); else 0 with both -1.
    int GetVideoStoreAmount(const char *id, int &maxAmount, int &alertPercent);
    // The Entry of the source whose id equals `id` exactly (case-sensitive); -1 when none.
    int GetSwitchEntryBYSrcID(const char *id);
    int GetVideoSrcCount();
    int GetVideoRecCount();
    int GetVideoAuxCount();
    int GetVideoStoreCount();
    int GetVideoSwitchCount();

    // The device name / parent id; "" for an id not configured.
    CString GetDevNameByID(const char *id);
    CString GetParentDevID(const char *id);
    // The parents of the devices the device of `id` embeds (or of itself when it embeds
    // none); 0 when the device cannot be had. Their count.
    int GetParentDevID(const char *id, CStringArray &parents);

    int SetDevLastOpenTime(const char *id, uint32_t tick);
    // Stores the status (0 for an id not configured) and in any case posts it on
    // "#OVRA_DEV" as <DEV="id" ID="code" MSG="name text ">.
    int SetDevStatusByID(const char *id, const tagDevStatus &status);
    // 1 and the stored status; 0 for an id not configured.
    int GetDevStatusByID(const char *id, tagDevStatus &status);

    // Lists `id` for checking every `interval` ms (when forced, or when it is in
    // CheckDevList) and starts the check thread.
    int AddDevChkTask(const char *id, uint32_t interval, int32_t force);
    // Removes the first check of `id` (without case).
    int RemoveDevChkTask(const char *id);
    // Empties the check list; the check thread then ends.
    int RemoveAllDevChkTask();
    // One step of the check thread: tests the next device that is due and posts its status.
    // 1 when a device was tested, 0 when none was due.
    int CheckNextDevice();

private:
    std::shared_ptr<CVideoDevMgr_Impl> _Impl; // shared with the check thread
};
