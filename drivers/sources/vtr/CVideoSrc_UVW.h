// The video source of a UVW VTR driven by a write-only one-byte protocol with no position
// feedback. Its play list cues the tape at the first and second cue times, starts each task
// with a pre-roll and puts the machine away only when the next task is more than a minute off.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoSrcA.h"
#include "drivers/sources/CSourceVirtualMode.h"
#include "drivers/sources/vtr/CSerialUVW.h"
#include "drivers/sources/vtr/VtrSource.h"

// The UVW source's device operations, which CVideoSrc_UVW guards for virtual mode.
class KSOVRA20_API CVideoSrc_UVWDevice : public CVtrSourceA {
public:
    // While virtual the open keeps only its books; the clip size (what a tape is taken to
    // hold) and the compatibility told from it are the same in either mode.
    static constexpr tagVirtualAnswers kVirtualAnswers{.open = VirtualAnswer::Own,
                                                       .getClipSize = VirtualAnswer::Device,
                                                       .checkCompatible = VirtualAnswer::Device};

    CVideoSrc_UVWDevice(const CVideoSrc_UVWDevice &) = delete;
    CVideoSrc_UVWDevice &operator=(const CVideoSrc_UVWDevice &) = delete;
    // Stops the play list before the port goes.
    ~CVideoSrc_UVWDevice() override;

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
    int DevGetClipSize(const char *clip, timecode_t &size) override;
    int DevCheckCompatible(const char *type, const char *clip) override;

    int OnTaskStartNewTask() override;
    int OnTaskCheckNextTask() override;
    int OnTaskTracePgmTask() override;
    int OnTaskStopCurrentTask() override;

    CSerialUVW &GetLine() { return m_Line; }

protected:
    CVideoSrc_UVWDevice();

private:
    // Opens the device and tells whether it is open (the transport operations' first step).
    bool Ready();
    // A transport command with its trace line.
    int Command(int (CSerialUVW::*command)(), const char *line);

    CSerialUVW m_Line;
};

class KSOVRA20_API CVideoSrc_UVW : public CSourceVirtualMode<CVideoSrc_UVWDevice> {
    DECLARE_KEST_CLASS(CVideoSrc_UVW)
};
