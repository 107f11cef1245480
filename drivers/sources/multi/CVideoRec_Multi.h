// A recorder that drives several recorders as one, so that one record task records the same
// clip on every member (a main and a backup encoder, say). It holds no connection: every
// operation looks the members up by device id through the device manager and forwards the
// call. The members start recording in parallel, and the caller waits for them at most 10 s.
#pragma once

#include "drivers/model/CVideoRecA.h"
#include "platform/Collections.h"

#include <cstdint>

class KSOVRA20_API CVideoRec_Multi : public CVideoRecA {
    DECLARE_KEST_CLASS(CVideoRec_Multi)

    // How long DevRecord waits for the members to start.
    static constexpr uint32_t kRecordWaitMs = 10000;

    CVideoRec_Multi();

    // The base's keys (RecBeforeTime 1 and PrepareTime 3000 unless set), then the Dev list.
    int32_t OnInitInstance() override;

    // Looks every member up, so that each is made and opened. 1.
    int DevOpen() override;
    // 1; the members stay open.
    int DevClose() override;
    // 1 when every member is there and open (passes the test); 0 at the first that is not.
    int DevIsOpen() override;
    int DevTest(const char *argument) override;
    int GetEmbenddedDev(CStringArray &names) override;

    // Forwarded to every member found; 1 when every member was found and succeeded.
    int DevRecInit(const char *clip, timecode_t dur, int flag) override;
    // Every member's DevRecord on a thread of its own; 1 when all have started within
    // kRecordWaitMs. A member still starting after that goes on by itself.
    int DevRecord(const int64_t *at) override;
    int DevStop() override;
    int DevDeleteClipID(const char *clip) override;
    // The length from the first member that answers (1); 0 when none does.
    int DevGetClipSize(const char *clip, timecode_t &size) override;

private:
    CStringArray m_Devs;
};
