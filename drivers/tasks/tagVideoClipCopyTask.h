// One clip copy job: copy a clip from one video store to another in the background. Control
// programs fill the record and hand it to the clip copy manager, which reports the job's
// progress through the callback of a receiver object and keeps the job's state in its copy.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "platform/String.h"
#include "platform/Thread.h"

#include <cstdint>

// The base of every object that receives clip copy callbacks.
class KSOVRA20_API CVideoClipCopyTaskReceiver {
protected:
    ~CVideoClipCopyTaskReceiver() = default;
};

using CLIPCOPY_CALLBACK = int32_t (CVideoClipCopyTaskReceiver::*)(int32_t taskId, int32_t status,
                                                                  int32_t param);

// Job status values (see CVideoClipCopyTaskMgr::StatusToString for the operator texts).
enum ClipCopyStatus : int32_t {
    CLIPCOPY_WAITING = 0, // 1 reads the same
    CLIPCOPY_DEVCHKBEGIN = 2,
    CLIPCOPY_DEVCHKEND = 3,
    CLIPCOPY_COPYBEGIN = 4,
    CLIPCOPY_COPIED = 5,
    CLIPCOPY_COPYING = 6, // parameter: percentage done
    CLIPCOPY_FAILED = 16, // parameter: one of ClipCopyError
};

enum ClipCopyError : int32_t {
    CLIPCOPY_ERR_DEVICE = 1,
    CLIPCOPY_ERR_MODE = 2,
    CLIPCOPY_ERR_NOSOURCE = 4,
    CLIPCOPY_ERR_DESTEXISTS = 8,
    CLIPCOPY_ERR_COPY = 16,
};

struct KSOVRA20_API tagVideoClipCopyTask {
    int32_t nTaskID = 0; // 0 on add: the manager assigns one
    CString strSrcStore; // device id of the store that performs the copy
    CString strClipID;
    CString strDestStore;   // device id of the target store
    CString strCopyArg;     // handed to the store's far copy unchanged
    int64_t nQueueTime = 0; // framework time; orders the waiting jobs
    int32_t nStatus = CLIPCOPY_WAITING;
    int32_t nParam = 0;
    uint32_t dwLastChange = 0; // tick of the last status change; 0: none yet
    int32_t nFailures = 0;     // failed attempts so far
    CVideoClipCopyTaskReceiver *pUserObject = nullptr;
    CLIPCOPY_CALLBACK pfnCallBack = nullptr;
    plat::Thread hThread; // the job's thread while it runs

    // The callback: `callback` of `receiver`.
    template <class T>
    void SetCallBack(T *receiver, int32_t (T::*callback)(int32_t, int32_t, int32_t))
    {
        pUserObject = receiver;
        pfnCallBack = static_cast<CLIPCOPY_CALLBACK>(callback);
    }
    // Calls the callback when both parts are set; its result, else 0.
    int32_t CallBack(int32_t status, int32_t param) const;
};
