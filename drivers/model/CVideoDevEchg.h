// Changeover switches: the device that chooses whether the main or the backup play-out chain
// goes to air. A mode set through IVideoDevEchg travels as a log message on the switch's own
// channel "#LOG_DEV_PLAT<n>" (so any part of the process may post one), and the switch applies
// it when the message arrives: it sets its hardware and announces on "#OVRA_DEV_SHARE" that
// the devices with Exchange go virtual (backup on air) or leave virtual mode (main on air).
// The drivers switch over an RS-422 line, an RS-485 line, or leave the hardware to others.
// A switch-over (its Delay pause, a silent switch's tries) runs on a thread of the switch's
// own, one after the other in the order the modes came, so the log thread that delivers the
// modes goes on delivering to every other reader meanwhile.
#pragma once

#include "Kest20/CLogReader.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoAuxA.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

class CSerialEchg;

// What the device manager hands out of a changeover switch (GetVideoDevEchg).
class KSOVRA20_API IVideoDevEchg {
public:
    // {5C80D4FE-025F-4717-A326-8456BAC6C558}
    static constexpr IID kIID = {
        0x5C80D4FE, 0x025F, 0x4717, {0xA3, 0x26, 0x84, 0x56, 0xBA, 0xC6, 0xC5, 0x58}};

    // 1 for the main chain, any other value for the backup chain. Returns once the mode is
    // posted on the switch's channel; the switching follows on the switch's own thread.
    virtual int32_t DevSetMode(int mode) = 0;
    // The mode last applied.
    virtual int32_t DevGetMode() = 0;

protected:
    ~IVideoDevEchg() = default;
};

class KSOVRA20_API CVideoDevEchg : public CVideoAuxA, public IVideoDevEchg {
    DECLARE_KEST_CLASS(CVideoDevEchg)

    static constexpr const char *kTypeId = "LVAUX_ECHG";

    // Takes the next channel "#LOG_DEV_PLAT<n>" of the process (the first switch gets 1) and
    // listens on it.
    explicit CVideoDevEchg(const char *typeId = kTypeId);
    CVideoDevEchg(const CVideoDevEchg &) = delete;
    CVideoDevEchg &operator=(const CVideoDevEchg &) = delete;
    ~CVideoDevEchg() override;

    // The IVideoDevEchg part for its identifier (1); null for any other (0). No reference is
    // counted.
    HRESULT QueryInterface(const GUID *iid, void **object) override;
    // Reads the drivers' "Delay": 1.
    int32_t OnInitInstance() override;
    int DevOpen() override;
    // Stops the switch-over thread: a switch-over under way ends its waits at once and sends
    // nothing more, those still queued are dropped. A mode that comes later starts it again.
    int DevClose() override;

    // Posts <Mode="mode"> on the channel: 1.
    int32_t DevSetMode(int mode) override;
    int32_t DevGetMode() override { return m_nMode.load(); }

    // Applies a mode (on the switch-over thread); here it is remembered and announced on the
    // share bus (1).
    virtual int OnSetMode(int mode);

    const CString &GetChannelName() const { return m_strChannel; }

protected:
    // How long a stop waits for a switch-over under way, whose waits end at once.
    static constexpr uint32_t kSwitchOverStopMs = 3000;

    // Ends the channel subscription, then stops the switch-over thread (see DevClose). A
    // driver calls it first in its destructor, while its OnSetMode may still run.
    void StopModeChannel();
    void RememberMode(int mode);
    // <Virtual = "FALSE"> for mode 1, else <Virtual = "TRUE">, on "#OVRA_DEV_SHARE".
    static void PostShareBus(int mode);
    // Pauses Delay ms; cut short when the switch-over thread is stopped.
    void PauseDelay();
    // The serial drivers' switching, under the device lock: every enabled switch of the
    // setting "Dev" is sent the position for `mode` on its own port through `port`, then,
    // after the Delay pause for the main chain, the share bus is told. A stop closes `port`
    // (ending a reply wait) and the switches left are not sent. Closes `port`: 0.
    int SwitchOver(int mode, const std::shared_ptr<CSerialEchg> &port);
    // The same through a port object of kind `Port`, made for this switching only.
    template <class Port> int SwitchOver(int mode)
    {
        return SwitchOver(mode, std::make_shared<Port>());
    }

    std::atomic<int32_t> m_nDelay{1000}; // ms, the drivers' pause before announcing main

private:
    // On the log thread: a message of the own channel with a Mode is queued.
    int OnModeMessage(const char *type, const char *text, const char *info);
    // Appends `mode` for the switch-over thread, starting the thread when it does not run.
    void QueueSwitchOver(int mode);
    // The switch-over thread: OnSetMode for each queued mode in turn; ends when none is left.
    uint32_t RunSwitchOvers();
    void StopSwitchOvers();

    CString m_strChannel;
    plat::Event m_evStop{true, false}; // set while the switch-over thread is being stopped
    std::unique_ptr<CLogReader> m_pModeReader;
    // Guards the queue, the thread's state and handle, and the port of a switch-over.
    std::mutex m_switchLock;
    std::deque<int> m_modes;
    bool m_bSwitching = false; // the switch-over thread runs
    bool m_bStopping = false;
    plat::Thread m_switchThread;
    std::shared_ptr<CSerialEchg> m_pSwitchPort; // the port of the serial switching under way
    std::atomic<int32_t> m_nMode{0};
    std::atomic<uint32_t> m_dwModeTick{0}; // when the mode last changed
};

// Switches sent over an RS-422 line.
class KSOVRA20_API CVideoDevEchg_422 : public CVideoDevEchg {
    DECLARE_KEST_CLASS(CVideoDevEchg_422)

    CVideoDevEchg_422();
    ~CVideoDevEchg_422() override;
    int OnSetMode(int mode) override;
};

// Switches sent over an RS-485 line, each command acknowledged.
class KSOVRA20_API CVideoDevEchg_485 : public CVideoDevEchg {
    DECLARE_KEST_CLASS(CVideoDevEchg_485)

    CVideoDevEchg_485();
    ~CVideoDevEchg_485() override;
    int OnSetMode(int mode) override;
};

// A switch controlled over the network by other means: only the share bus is told.
class KSOVRA20_API CVideoDevEchg_NPort : public CVideoDevEchg {
    DECLARE_KEST_CLASS(CVideoDevEchg_NPort)

    CVideoDevEchg_NPort();
    ~CVideoDevEchg_NPort() override;
    // Announces the mode, for the main chain after the Delay pause: 0.
    int OnSetMode(int mode) override;
};
