// The video source of a Betacam-class VTR on an RS-422 line, driven over the Sony 9-pin
// protocol by a CSerialVTR of its own. Its play list cues the tape for the next task, starts
// it with a pre-roll, follows it on air and puts the machine away afterwards.
// CVideoSrc_BetaCam is the same device under another name; CVideoSrc_BetaCamRec waits for
// the VTR to report each cue complete.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoSrcA.h"
#include "drivers/sources/CSourceVirtualMode.h"
#include "drivers/sources/vtr/VtrProtocol.h"
#include "drivers/sources/vtr/VtrSource.h"

// The Betacam source's device operations, which CVideoSrc_BetaCamX guards for virtual mode.
class KSOVRA20_API CVideoSrc_BetaCamXDevice : public CVtrSourceA {
public:
    // While virtual the open keeps only its books, and the compatibility is told from the
    // clip size as in either mode.
    static constexpr tagVirtualAnswers kVirtualAnswers{.open = VirtualAnswer::Own,
                                                       .checkCompatible = VirtualAnswer::Device};

    CVideoSrc_BetaCamXDevice(const CVideoSrc_BetaCamXDevice &) = delete;
    CVideoSrc_BetaCamXDevice &operator=(const CVideoSrc_BetaCamXDevice &) = delete;
    // Stops the play list before the VTR object goes.
    ~CVideoSrc_BetaCamXDevice() override;

    int32_t OnInitInstance() override;

    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;
    int DevTest(const char *argument) override;
    int DevSetMode(int mode) override;
    int DevCue(const char *clip, timecode_t som, timecode_t dur) override;
    int DevCueEx(const char *clip, timecode_t som, timecode_t dur, tagCallBack *callback) override;
    int DevGoto(int32_t frames) override;
    int DevPlay(const int64_t *at) override;
    int DevStop() override;
    int DevPause() override;
    int DevContinue() override;
    int DevEject() override;
    int DevShuttle(double speed) override;
    int DevJog(int frames) override;
    int DevJogEx(int mode, int frames) override;
    int DevGetPosition(int mode, timecode_t &position) override;
    int DevGetPosition2(int mode, timecode_t &position) override;
    int DevGetClipSize(const char *clip, timecode_t &size) override;
    int DevCheckCompatible(const char *type, const char *clip) override;

    int OnTaskStartNewTask() override;
    int OnTaskCheckNextTask() override;
    int OnTaskTracePgmTask() override;
    int OnTaskStopCurrentTask() override;

    ISerialVTR *GetVTR() const { return m_pVTR; }

protected:
    // `confirmedCue`: DevCueEx waits for the VTR to report the cue complete.
    explicit CVideoSrc_BetaCamXDevice(bool confirmedCue = false);

    // Opens the device and tells whether it is open (the transport operations' first step).
    bool Ready();
    // The VTR's time mode for cueing and reading positions.
    int32_t CueTimeMode() const;
    // Sets the cue time mode and reads the position before a cue: the target, brought into
    // the day, and whether the tape already stands on it.
    bool AtTarget(int32_t target, int32_t &position, bool settle);
    // Counts a failed command of the cue step for `task`; true while it may be one missed
    // answer, so the step tries again on its next pass.
    bool MayRetry(const CVideoPlayTask &task);
    // Reads the position for `mode` (0 current, 1 time code, 2 timer).
    int ReadPosition(int mode, timecode_t &position, int useCache);

    CSerialVTR *m_pVTR;
    int32_t m_nVtrOverOptStillDur = 0; // ms
    int32_t m_nVtrOverOptDelayDur = 0; // ms
    int32_t m_nSimpleCue = 1;
    int32_t m_nEjectStillDur = 5000;  // ms
    int32_t m_nStandByOnTime = 20000; // ms

private:
    // The cue of DevCueEx that polls until the VTR reports it complete or the tape stops
    // moving, from the position read before it.
    int ConfirmedCue(int32_t target, int32_t last);
    // The first and second cue of OnTaskCheckNextTask; false to end the step with 0.
    bool FirstCue(CVideoPlayTask &task, int32_t target);
    bool SecondCue(CVideoPlayTask &task, int32_t target);
    // When the preset is taken to go on air: a tape that stands away from its cue point
    // flags it as a failed cue.
    void CheckCued(CVideoPlayTask &task);
    // Sleeps, cut short when the device closes. False when cut short.
    bool Pause(int64_t ms);

    const bool m_bConfirmedCue;
    // Passes of the cue step in a row whose command failed, refused or unanswered, and the
    // task they were for (the play list's thread only).
    int32_t m_nCueFailures = 0;
    int32_t m_nCueFailTask = 0;
};

class KSOVRA20_API CVideoSrc_BetaCamX : public CSourceVirtualMode<CVideoSrc_BetaCamXDevice> {
    DECLARE_KEST_CLASS(CVideoSrc_BetaCamX)

    CVideoSrc_BetaCamX() = default;

protected:
    explicit CVideoSrc_BetaCamX(bool confirmedCue) : CSourceVirtualMode(confirmedCue) {}
};

class KSOVRA20_API CVideoSrc_BetaCam : public CVideoSrc_BetaCamX {
    DECLARE_KEST_CLASS(CVideoSrc_BetaCam)
};

// Cues, then polls until the VTR reports the cue complete or the tape stops moving.
class KSOVRA20_API CVideoSrc_BetaCamRec : public CVideoSrc_BetaCamX {
    DECLARE_KEST_CLASS(CVideoSrc_BetaCamRec)

    CVideoSrc_BetaCamRec() : CVideoSrc_BetaCamX(true) {}
};
