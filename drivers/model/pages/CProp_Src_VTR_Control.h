// The VTR control panel: a setting page of the Betacam VTR sources that drives the VTR by
// hand. A poll thread finds the VTR through the first device manager every 100 ms and shows
// its time readings, time-code kind and status bits; the buttons act on the VTR it found.
//
// The poll thread touches only state it shares with the page: it reaches the page's controls
// through a link that the page cuts, under the shared lock, before its window goes, so a
// thread given up at the stop never touches a page that is no longer there.
#pragma once

#include "devext/device/CObjectSettingDlg.h"
#include "drivers/KsOvra20Api.h"
#include "platform/Thread.h"

#include <memory>

class CVideoSrc_BetaCamX;

class KSOVRA20_API CProp_Src_VTR_Control : public CObjectSettingDlg {
    DECLARE_DYNCREATE(CProp_Src_VTR_Control)

    static constexpr UINT IDD = 20165;
    static constexpr int IDC_EJECT = 1005;
    static constexpr int IDC_CHECK_OPEN = 1006;
    static constexpr int IDC_PLAY = 1009;
    static constexpr int IDC_STOP = 1010;
    static constexpr int IDC_REWIND = 1012;
    static constexpr int IDC_TIMECODE_2 = 1013;
    static constexpr int IDC_INPUT = 1014;
    static constexpr int IDC_GOTO = 1015;
    static constexpr int IDC_FAST_FORWARD = 1016;
    static constexpr int IDC_TIMECODE_1 = 1017;
    static constexpr int IDC_STANDBY_OFF = 1018;
    static constexpr int IDC_TIME_KIND = 1020;
    static constexpr int IDC_STATUS = 5039;
    static constexpr int IDC_REFRESH = 5040;
    static constexpr int IDC_RECOVER = 5041;
    static constexpr int IDC_JOG = 5042;

    static constexpr uint32_t kFirstPollMs = 300;
    static constexpr uint32_t kPollMs = 100;
    static constexpr uint32_t kStopWaitMs = 200;
    static constexpr uint32_t kRecoverPauseMs = 1000;

    CProp_Src_VTR_Control();
    ~CProp_Src_VTR_Control() override;

    // Starts the poll thread for the VTR named by the page's object name.
    BOOL OnInitDialog() override;
    void OnCancel() override;

    struct Shared;

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnDestroy() override;

private:
    // Tells the poll thread to end, cuts its link to the page, waits 200 ms, then gives it up.
    void StopPolling();
    // The VTR the poll found last; null when none is held.
    CVideoSrc_BetaCamX *HeldVtr() const;
    void Recover(CVideoSrc_BetaCamX &vtr);

    std::shared_ptr<Shared> m_pShared;
    plat::Thread m_Poll;
};
