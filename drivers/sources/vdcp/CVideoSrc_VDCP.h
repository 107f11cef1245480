// The playback channel of a VDCP video server for a source that runs its own play list (the
// list's thread checks, cues and starts the preset and watches the task on air) and for
// preview. It sends through its protocol engine, or through the open engine of another device
// on the same port. The five further kinds differ only in command set, engine options, how
// far a cue runs and how preview cues; a virtual (backup) source sends nothing.
#pragma once

#include "drivers/model/CVideoSrcA.h"
#include "drivers/sources/CSourceVirtualMode.h"
#include "drivers/sources/vdcp/VdcpEngineRoute.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// The VDCP source's device operations, which CVideoSrc_VDCP guards for virtual mode.
class KSOVRA20_API CVideoSrc_VDCPDevice : public CVideoSrcA {
public:
    // A server without an EE mode refuses it in either mode.
    static constexpr tagVirtualAnswers kVirtualAnswers{.eeMode = VirtualAnswer::Own};

    // How far the cue of DevCueEx runs.
    enum class CueLength : int32_t {
        ToClipEnd,     // from SOM to the end of the clip, whatever DUR was asked
        WithinClip,    // DUR as asked, cut at the end of the clip
        WholeWhenUnset // DUR as asked; below 1 the whole clip
    };
    // What tells the kinds apart.
    struct tagKind {
        const char *pszCommandSet; // "BASIC" or "NEW"
        int32_t nOptions;          // engine options
        CueLength cue;
        bool bPreviewCuesWithData; // preview cues the window itself, without play and still
    };
    // Engine option: preview cues without a play before its still.
    static constexpr int32_t kOptionNoPlayBeforeStill = 0x04;
    static constexpr int32_t kCueWaitMs = 6000;
    static constexpr int32_t kCueWindowAlways = 16777215; // s
    // Preview frames that stand for the window's first and last frame.
    static constexpr int32_t kPreviewFirst = -10;
    static constexpr int32_t kPreviewLast = -9;

    ~CVideoSrc_VDCPDevice() override;

    // CVideoSrcA's keys, then "Com", "Decoder", "ServerType", "diskpreroll", "Duplex",
    // "EModeType" and the reply wait "ComTimeout".
    int32_t OnInitInstance() override;

    // The engine to send through (own, or another device's by its share mode) with its
    // access kind (7 own or fully shared, 6 shared for its channel); null when none.
    virtual std::shared_ptr<ISerialVDCP> GetVDCP(int32_t *kind);
    // DevOpen, then the engine when it answers; else status 3 and null.
    std::shared_ptr<ISerialVDCP> OpenVDCP();

    // Claims the decoder channel; always 1, the device status tells the outcome.
    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;
    int DevTest(const char *argument) override;
    int DevEEMode(int mode) override;
    // The cue of this kind's length; 0 for a clip the server does not know.
    int DevCueEx(const char *clip, timecode_t som, timecode_t dur, tagCallBack *callback) override;
    // Cues unless the channel still holds this very cue.
    int DevCue(const char *clip, timecode_t som, timecode_t dur) override;
    int DevPlay(const int64_t *at) override;
    int DevStop() override;
    int DevPause() override;
    int DevContinue() override;
    int DevStep() override;
    int DevJog(int frames) override;
    int DevShuttle(double speed) override;
    int DevEject() override;
    int DevGoto(int32_t frames) override;
    int DevIDReq(const char *clip, int &present) override;
    int DevGetPosition(int mode, timecode_t &position) override;
    // The clip's duration in frames; 0 on failure.
    int DevGetClipSize(const char *clip, timecode_t &size) override;
    int DevCheckCompatible(const char *type, const char *clip) override;

    // At most every 1.5 s: device and clip check of the preset, and its cue.
    int OnTaskCheckNextTask() override;
    // At most every 2 s: when the channel no longer plays the task on air, the list takes it
    // off air (and cues what is left of it again).
    int OnTaskTracePgmTask() override;

    // Preview within the window [start, start + length - 1] of the previewed clip.
    int PreviewGoto(int32_t frame) override;
    int PreviewCue(const char *clip, int32_t som, int32_t dur, int32_t frame) override;
    int PreviewJog(int32_t frames) override;
    int PreviewPlay(double speed, void *context) override;
    int PreviewStill() override;
    int PreviewStop() override;
    int PreviewGetPosition(int32_t *frames) override;
    // Starts the stop thread when a moving preview reaches the end of its window within 2 s
    // and the server would not stop there itself; 1 when started.
    int OnPreviewPlayStop(int32_t frame) override;
    // Milliseconds (50 early) until the moving preview reaches the bound it moves to, from
    // `frame`; that bound in `stopFrame`.
    int32_t CalcPreviewStopTime(int32_t frame, int32_t *stopFrame);

protected:
    explicit CVideoSrc_VDCPDevice(const tagKind &kind);
    // The EE mode of a virtual source (the guard's): 0 without an EE mode, else the base's.
    int VirtualEEMode(int mode);

private:
    // The previewed clip and its window.
    struct tagPreview {
        CString strName;
        int32_t nStart = 0;
        int32_t nLength = 0;
        int32_t nClipSize = 0;
    };
    struct StopRun;

    std::shared_ptr<ISerialVDCP> Engine() { return GetVDCP(nullptr); }
    // The engine's answer to `op`, 0 without an engine.
    template <class Op> int Send(Op op)
    {
        const std::shared_ptr<ISerialVDCP> engine = Engine();
        return engine ? op(*engine) : 0;
    }
    tagPreview Preview();
    // The window [start, end].
    void Window(int32_t &start, int32_t &end);
    int32_t ClampToWindow(int32_t frame);
    int PreviewCueStandard(ISerialVDCP &engine, const char *clip, int32_t som, int32_t dur,
                           int32_t frame);
    int PreviewCueWithData(ISerialVDCP &engine, const char *clip, int32_t som, int32_t dur);
    // The stop thread's work: waits `ms` in 100 ms steps, then holds the preview at
    // `stopFrame` unless it stopped moving meanwhile.
    static void PreviewStopThread(const std::shared_ptr<CVDCP> &engine,
                                  const std::shared_ptr<StopRun> &run, int32_t stopFrame,
                                  uint32_t ms);
    // Asks the stop thread to end and waits for it; one that does not end is given up.
    void EndStopThread();

    const tagKind m_kind;
    VdcpEngineRoute m_Route;
    int32_t m_nDecoder = 1;
    int32_t m_nServerType = 1;
    int32_t m_nDiskPreroll = 0;
    int32_t m_nEEModeType = -1; // 0 Leitch, 1 GVG, -1 none

    std::mutex m_lock; // guards the records and the stop thread's handle below
    tagVdcpClip m_cued;
    tagVdcpClip m_current;
    tagPreview m_preview;
    plat::Thread m_StopThread;
    std::shared_ptr<StopRun> m_pStopRun;
    // Speed x 1000 of the moving preview, 0 while it stands; read by the stop thread.
    std::shared_ptr<std::atomic<int32_t>> m_pSpeed;
};

class KSOVRA20_API CVideoSrc_VDCP : public CSourceVirtualMode<CVideoSrc_VDCPDevice> {
    DECLARE_KEST_CLASS(CVideoSrc_VDCP)

    CVideoSrc_VDCP();

protected:
    explicit CVideoSrc_VDCP(const tagKind &kind) : CSourceVirtualMode(kind) {}
};

class CVideoSrc_VDCPX : public CVideoSrc_VDCP {
    DECLARE_KEST_CLASS(CVideoSrc_VDCPX)
    CVideoSrc_VDCPX();
};

class CVideoSrc_Leitch : public CVideoSrc_VDCP {
    DECLARE_KEST_CLASS(CVideoSrc_Leitch)
    CVideoSrc_Leitch();
};

class CVideoSrc_Pinnacle : public CVideoSrc_VDCP {
    DECLARE_KEST_CLASS(CVideoSrc_Pinnacle)
    CVideoSrc_Pinnacle();
};

class CVideoSrc_Dayang : public CVideoSrc_VDCP {
    DECLARE_KEST_CLASS(CVideoSrc_Dayang)
    CVideoSrc_Dayang();
};

class CVideoSrc_VDCP_OMNEON : public CVideoSrc_VDCP {
    DECLARE_KEST_CLASS(CVideoSrc_VDCP_OMNEON)
    CVideoSrc_VDCP_OMNEON();
};
