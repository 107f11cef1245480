// The base of recorders. Every operation has a simulated default that succeeds: record init
// and record move a position counter, so a recorder configured without hardware behaves as a
// simulated device and a driver overrides only what its device does.
#pragma once

#include "KestLib20/timecode_t.h"
#include "devext/device/CDeviceA.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/CPlayCounter.h"
#include "platform/Sync.h"

#include <cstdint>

class KSOVRA20_API CVideoRecA : public CDeviceA {
    DECLARE_KEST_CLASS(CVideoRecA)

    // The status of a recorder's initial clip, filled by a driver's DevGetInitClip; the base
    // never reads it.
    struct tagClipStatus {
        CString strName;
        int32_t nDuration = 0; // frames
        int32_t nValue[3] = {};
    };

    explicit CVideoRecA(const char *typeId = kUnknownType);
    // Copies the settings and the position; the copy has a cancel event of its own.
    CVideoRecA(const CVideoRecA &other);
    CVideoRecA &operator=(const CVideoRecA &other);
    ~CVideoRecA() override;

    // Reads "Switch Entry", PrepareTime and RecBeforeTime after the device part.
    int32_t OnInitInstance() override;

    // Status 0, position 0, stopped: 1. Close is the device base's (0).
    int DevOpen() override;
    int DevIsOpen() override;
    int DevTest(const char *argument) override;

    virtual int DevRecInit(const char *clip, timecode_t dur, int flag);
    // With a start time (framework time): sleeps until then, runs at real speed, then sleeps
    // RecBeforeTime ms; without one it runs at once. A DevStop meanwhile cancels a start that
    // has not come yet (0).
    virtual int DevRecord(const int64_t *at);
    virtual int DevStop();
    virtual int DevIDReq(const char *clip, int &present);
    virtual int DevDeleteClipID(const char *clip);
    // 180000 frames for every clip.
    virtual int DevGetClipSize(const char *clip, timecode_t &size);
    virtual int DevCopyFileTo(const char *clip, int first, int second);
    virtual int DevEEMode(int mode);
    virtual int DevGetInitClip(tagClipStatus &status);

protected:
    int32_t m_nSwitchEntry = 0;      // the recorder's input on its switcher
    int32_t m_nRecBeforeTime = 1000; // ms
    int32_t m_nPrepareTime = 2000;   // ms
    CPlayCounter m_Counter;

private:
    // Auto-reset: a stop cancels the record start it finds waiting.
    plat::Event m_evStop{false, false};
};
