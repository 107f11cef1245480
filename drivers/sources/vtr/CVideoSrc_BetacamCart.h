// A Betacam VTR that sits in a tape robot: before cueing it has the robot load the wanted
// cassette into its bay, after ejecting it has the robot take the cassette away, and it
// answers clip questions from the robot's inventory. It finds the robot by device id through
// the device manager. WorkMode 1 means no robot: it is then a plain CVideoSrc_BetaCamX.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/sources/vtr/CVideoSrc_BetaCamX.h"
#include "drivers/sources/robot/IVideoCartCtrl.h"

#include <algorithm>
#include <memory>
#include <mutex>

// The cart's device operations over the Betacam source, which CVideoSrc_BetacamCart guards for
// virtual mode.
class KSOVRA20_API CVideoSrc_BetacamCartDevice : public CVideoSrc_BetaCamX {
public:
    static constexpr int32_t kMaxAddr = 16;
    static constexpr int32_t kMinTimeOut = 10000;
    static constexpr int32_t kNoRobot = 1;

    // The open needs the robot in either mode; the clip size and the compatibility come from
    // its inventory (the Betacam source below answers for the VTR).
    static constexpr tagVirtualAnswers kVirtualAnswers{.open = VirtualAnswer::Device,
                                                       .getClipSize = VirtualAnswer::Device,
                                                       .checkCompatible = VirtualAnswer::Device};

    // Withdraws itself from its background loads, waiting for a report in progress.
    ~CVideoSrc_BetacamCartDevice() override;

    int32_t OnInitInstance() override;

    int DevOpen() override;
    int DevCue(const char *clip, timecode_t som, timecode_t dur) override;
    int DevCueEx(const char *clip, timecode_t som, timecode_t dur, tagCallBack *callback) override;
    int DevEject() override;
    int DevGetClipSize(const char *clip, timecode_t &size) override;
    int DevCheckCompatible(const char *type, const char *clip) override;

    int32_t GetAddr() const { return m_nAddr; }
    int32_t GetTimeOut() const { return m_nTimeOut; }

protected:
    CVideoSrc_BetacamCartDevice();

private:
    // The robot's interface through the device manager; null when it cannot be had.
    IVideoCartCtrl *FindRobot();
    bool UsesRobot() const { return m_nWorkMode != kNoRobot; }
    int32_t OwnBay() const { return cartcell::Make(cartcell::kBay, m_nAddr); }
    // Command 7 into the own bay for `clip`, its reports going to `progress` with `user`.
    tagCartCommand LoadCommand(const CString &clip, CartProgress progress, void *user) const;
    // Remembers the cue request that goes to the robot.
    void Remember(const CString &clip, timecode_t som, timecode_t dur);
    // The robot's report of a background load (`user` is the source's load ticket): state 4
    // for the remembered clip cues it.
    static void OnBackgroundLoad(void *user, const char *clip, int32_t state, int32_t step);

    // What the background loads' reports reach: the source until it goes. The robot holds
    // it with each load, so a report that comes after the source has gone finds it empty.
    struct LoadTicket {
        explicit LoadTicket(CVideoSrc_BetacamCartDevice *of) : source(of) {}
        std::mutex lock; // held while a report runs in the source
        CVideoSrc_BetacamCartDevice *source;
    };
    const std::shared_ptr<LoadTicket> m_pTicket;

    CString m_strCart;
    int32_t m_nAddr = 0;
    int32_t m_nTimeOut = 30000;
    int32_t m_nWaitDuration = 10000;
    int32_t m_nWorkMode = 2;

    std::mutex m_CueLock; // the remembered cue request
    CString m_strCueClip;
    timecode_t m_CueSom = 0;
    timecode_t m_CueDur = 0;
};

class KSOVRA20_API CVideoSrc_BetacamCart : public CSourceVirtualMode<CVideoSrc_BetacamCartDevice> {
    DECLARE_KEST_CLASS(CVideoSrc_BetacamCart)
};
