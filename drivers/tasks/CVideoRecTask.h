// One dubbing job of the record task list: record a clip from a source (as a rule a VTR
// playing a tape) onto a recorder, optionally after a router take, sequentially, at a planned
// time or on an operator's trigger. The list copies the record whole on submit and on every
// read, and reports progress through the callback of a receiver object.
#pragma once

#include "KestLib20/timecode_t.h"
#include "drivers/KsOvra20Api.h"
#include "platform/String.h"
#include "platform/Thread.h"

#include <cstdint>

// The base of every object that receives record task callbacks.
class KSOVRA20_API CVideoRecTaskReceiver {
protected:
    ~CVideoRecTaskReceiver() = default;
};

using RECTASK_CALLBACK = int32_t (CVideoRecTaskReceiver::*)(const char *taskId, int32_t status,
                                                            int32_t param);

enum RecTaskType : int32_t { RECTASK_SEQ = 1, RECTASK_TIME = 2, RECTASK_TRIGGER = 3 };

// The statuses of gTaskStatusEnum.
enum RecTaskStatus : int32_t {
    RECTASK_INVALIDATE = 1,
    RECTASK_BEGIN = 2,
    RECTASK_PREPARED = 3,
    RECTASK_SUBMIT = 4,
    RECTASK_ACTIVE = 5,
    RECTASK_DEVCHKBEGIN = 6,
    RECTASK_DEVCHKING = 7,
    RECTASK_DEVCHECKED = 8,
    RECTASK_BEGININIT = 9,
    RECTASK_INITING = 10,
    RECTASK_INITED = 11,
    RECTASK_BEGINREC = 12,
    RECTASK_RECORDING = 13,
    RECTASK_RECORDED = 14,
    RECTASK_STOPBEGIN = 15,
    RECTASK_STOPPING = 16,
    RECTASK_STOPPED = 17,
    RECTASK_EJECTBEGIN = 18,
    RECTASK_EJECTTING = 19,
    RECTASK_EJECTED = 20,
    RECTASK_ABORTING = 21,     // aborted while recording, the clip not kept
    RECTASK_REVERSEABORT = 22, // aborted while recording, the clip kept
    RECTASK_FINISHED = 23,
    RECTASK_ABORT = 24,
    RECTASK_ERROR = 256,   // callback only, the error bit as parameter
    RECTASK_WAITING = 512, // callback only: the trigger wait
};

// The error bits of gTaskErrorMsg.
enum RecTaskError : int32_t {
    RECTASK_ERR_REC = 0x1,
    RECTASK_ERR_SRC = 0x2,
    RECTASK_ERR_SWITCH = 0x4,
    RECTASK_ERR_TAPE = 0x8,
    RECTASK_ERR_CLIPEXISTS = 0x10,
    RECTASK_ERR_CUE = 0x20,
    RECTASK_ERR_RECINIT = 0x40,
    RECTASK_ERR_TAKE = 0x80,
    RECTASK_ERR_PLAY = 0x100,
    RECTASK_ERR_RECORD = 0x200,
    RECTASK_ERR_SRCSTOP = 0x400,
    RECTASK_ERR_RECSTOP = 0x800,
    RECTASK_ERR_AFTER = 0x1000,
};

class KSOVRA20_API CVideoRecTask {
public:
    static constexpr int64_t kUnitsPerFrame = 400000; // 100 ns units at 25 frames a second

    CString m_strTaskID;    // the key in the list, compared exactly
    CString m_strSrcDev;    // the player
    CString m_strRecDev;    // the encoder port
    CString m_strSwitchDev; // router connecting them; empty: no take
    int32_t m_nTaskType = 0;
    int32_t m_nTapeIDType = 0; // handed to the source's DevSetMode before the cue
    CString m_strTapeID;       // its last 8 characters name the tape
    CString m_strTapeType;     // containing "LVSRC_LINE": a line source that may be shared
    CString m_strClipID;
    int32_t m_nLength = 0; // frames
    timecode_t m_tsom;     // tape in-point
    int64_t m_nSpareTime = 0;
    int64_t m_nStart = 0; // framework time, 100 ns units
    int32_t m_nStatus = RECTASK_BEGIN;
    int32_t m_nError = 0;
    CVideoRecTaskReceiver *m_pUserObject = nullptr;
    RECTASK_CALLBACK m_pfnCallBack = nullptr;
    plat::Thread m_hThread; // the task's thread while it runs

    // The callback: `callback` of `receiver`.
    template <class T>
    void SetCallBack(T *receiver, int32_t (T::*callback)(const char *, int32_t, int32_t))
    {
        m_pUserObject = receiver;
        m_pfnCallBack = static_cast<RECTASK_CALLBACK>(callback);
    }
    // Calls the callback when both parts are set; its result, else 0.
    int32_t CallBack(int32_t status, int32_t param) const;

    // Start + length.
    int64_t GetEndTime() const { return m_nStart + m_nLength * kUnitsPerFrame; }
    // Start - now / now - start, on the framework clock.
    int64_t GetTimeToStart() const;
    int64_t GetTimeSinceStart() const;
    // Stores the status, then calls the callback.
    int32_t SetStatus(int32_t status, int32_t param);
    void AddError(int32_t bits);
    // The bits that remain.
    int32_t ClearError(int32_t bits);
    // The callback with RECTASK_ERROR and the bit.
    int32_t NotifyError(int32_t bit) const;
};
