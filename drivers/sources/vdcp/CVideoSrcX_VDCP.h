// One decoder channel of a VDCP video server as a play-out source of the task engine's
// process unit: the shared task side of the play-out sources on VDCP commands, sent through
// the port object of whichever source holds the serial port open. Preview runs on the same
// channel.
#pragma once

#include "drivers/sources/vdcp/CSerialIO_VDCP_SHARED.h"
#include "drivers/sources/line/CVideoSrcX.h"

#include <atomic>
#include <memory>
#include <mutex>

class CVideoSrcX_VDCP : public CVideoSrcX {
    DECLARE_KEST_CLASS(CVideoSrcX_VDCP)

    static constexpr int32_t kCueWaitMs = 6000;

    CVideoSrcX_VDCP();
    ~CVideoSrcX_VDCP() override;

    // CVideoSrcA's keys, then "Com", "Decoder" and "ComTimeout".
    int32_t OnInitInstance() override;

    // Opens (or finds open) the port and claims the decoder channel on it.
    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;
    // Asks the status and posts it on "#OVRA_STATUSDEV".
    int DevTest(const char *argument) override;

    int DevCueEx(const char *clip, timecode_t som, timecode_t dur, tagCallBack *callback) override;
    int DevCue(const char *clip, timecode_t som, timecode_t dur) override;
    int DevPlay(const int64_t *at) override;
    int DevStop() override;
    int DevPause() override;
    int DevContinue() override;
    int DevJog(int frames) override;
    int DevShuttle(double speed) override;
    int DevEject() override;
    int DevIDReq(const char *clip, int &present) override;
    int DevGetPosition(int mode, timecode_t &position) override;
    // The clip's duration in frames when the server knows it; 0 on any failure.
    int DevGetClipSize(const char *clip, timecode_t &size) override;
    int DevCheckCompatible(const char *type, const char *clip) override;

    int PreviewCue(const char *clip, int32_t som, int32_t dur, int32_t position) override;
    int PreviewGoto(int32_t frame) override;
    int PreviewJog(int32_t frames) override;
    // `stop` is the caller's plat::Event that ends the play.
    int PreviewPlay(double speed, void *stop) override;
    int PreviewStill() override;
    int PreviewStop() override;
    int PreviewGetPosition(int32_t *frames) override;

    // The channel stills.
    int32_t DevTaskPause(IVideoBroTaskMgr *mgr, int32_t reserved) override;
    // Stills a cued trigger task on its first frame when asked through the attached object.
    int32_t DevTaskTrace(IVideoBroTaskMgr *mgr, int32_t reserved) override;

protected:
    // The route of every device operation (null: no port to be had). When the own port of a
    // claimed channel has closed (its line hung up), or the own port has taken the line
    // from the source whose port this one shared, the next operation opens the port and
    // claims the channel anew, as the device's open does.
    std::shared_ptr<CSerialIO_VDCP_SHARED> Route();
    // The id request and, for a clip the server has, its size.
    ClipAnswer AskClip(const char *clip, timecode_t &size) override;
    // The source's own port object, whether or not it holds the port.
    CSerialIO_VDCP_SHARED &OwnPort() { return m_Port; }
    void ForgetClips();
    // What this source believes cued on its channel.
    tagVdcpClip GetCued();
    void SetCued(const tagVdcpClip &clip);

private:
    // The preview range [start, end] of the port object.
    bool PreviewRange(int32_t &start, int32_t &end);

    CSerialIO_VDCP_SHARED m_Port;
    int32_t m_nDecoder = 1;
    std::atomic<bool> m_bOpened{false};
    std::atomic<bool> m_bOwnClaim{false};  // the channel was claimed on the own port
    std::atomic<bool> m_bClaimLost{false}; // the own port closed under the claimed channel

    std::mutex m_clipLock; // guards the two records below
    tagVdcpClip m_cued;    // what this source last cued and believes still cued
    tagVdcpClip m_current;
};
