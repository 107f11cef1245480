// One task of a source's play list, and an array of them. A task carries its status callback:
// a member operation of a receiver object, called with (task id, status, extra) when the
// receiver and the operation are both set.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>

// The base of every object that receives play-task status callbacks.
class KSOVRA20_API CVideoPlayTaskReceiver {
protected:
    ~CVideoPlayTaskReceiver() = default;
};

using PLAYTASK_CALLBACK = int (CVideoPlayTaskReceiver::*)(int32_t taskId, int32_t status,
                                                          int32_t extra);

enum PlayTaskStatus : int32_t {
    PLAYTASK_WAITING = 1,
    PLAYTASK_CUED = 10,
    PLAYTASK_ON_AIR = 11,
    PLAYTASK_STOPPED = 13,
    PLAYTASK_ERR_NOTIFY = 32, // the callback's status for changed error flags
};

class KSOVRA20_API CVideoPlayTask {
public:
    static constexpr int kNameSize = 32;
    static constexpr int64_t kUnitsPerFrame = 400000; // 100 ns units at 25 frames a second

    int32_t m_nTaskID = 0; // 0: no task
    char m_szName[kNameSize] = {};
    int64_t m_nStart = 0; // framework time, 100 ns units
    CString m_strClipID;
    CString m_strText;
    int32_t m_nSOM = 0; // frames
    int32_t m_nDUR = 0; // frames
    int32_t m_nStatus = PLAYTASK_WAITING;
    int32_t m_nFlags = 0;    // error bits of the source
    int32_t m_nOption = 0;   // bit 0: due for its first cue at once
    int32_t m_nStopOnly = 0; // carried with the task
    CVideoPlayTaskReceiver *m_pUserData = nullptr;
    PLAYTASK_CALLBACK m_pfnCallBack = nullptr;

    // The callback: `callback` of `receiver`.
    template <class T> void SetCallBack(T *receiver, int (T::*callback)(int32_t, int32_t, int32_t))
    {
        m_pUserData = receiver;
        m_pfnCallBack = static_cast<PLAYTASK_CALLBACK>(callback);
    }
    // Calls the callback when both parts are set; its result, else 0.
    int CallBack(int32_t status, int32_t extra) const;

    int64_t GetEnd() const { return m_nStart + m_nDUR * kUnitsPerFrame; }
    // The clip id, or "nil" for no task.
    const char *ClipOrNil() const { return m_nTaskID ? m_strClipID.GetString() : "nil"; }
};

class KSOVRA20_API CVideoPlayTaskArray : public CArray<CVideoPlayTask> {};
