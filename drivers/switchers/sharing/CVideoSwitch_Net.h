// The network switcher: a switcher of another process, borrowed through that process's
// switcher sharing server. Every operation becomes a remote call on the switcher the server
// knows as "Dev"; takes go to the remote channel "PGM", presets to "PST". The device is open
// while it holds the server's address ("Server", resolved at the open).
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoSwitchA.h"
#include "drivers/switchers/sharing/CVideoSwitchShareClt.h"

#include <atomic>
#include <mutex>

class KSOVRA20_API CVideoSwitch_Net : public CVideoSwitchA {
    DECLARE_KEST_CLASS(CVideoSwitch_Net)

    CVideoSwitch_Net();
    ~CVideoSwitch_Net() override;

    // The base's keys, then "Server", "Dev", "PGM" and "PST". 1.
    int32_t OnInitInstance() override;
    // Forgets the server's address; nothing is sent. 1.
    int DevClose() override;
    // Resolves "Server" when no address is held (status 4 when it cannot), then opens the
    // remote switcher and takes its size (status 5 and the address forgotten when that fails).
    int DevOpen() override;
    // Whether a server address is held.
    int DevIsOpen() override;
    // Asks the remote program entry of channel 1 (status 4 when that fails).
    int DevTest(const char *text) override;
    int DevSetTransType(int type) override;
    int DevSetTransRate(int rate) override;
    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;
    // The local value first, then the remote one when a reply comes.
    int DevQueryPgmEntry(int channel, int &entry) override;
    int DevQueryPstEntry(int channel, int &entry) override;
    int DevQueryTransMode(int &type, int &rate) override;

    CVideoSwitchShareClt &Client() { return m_Client; }

private:
    CString GetServer() const;

    mutable std::mutex m_serverLock;
    CString m_strServer;
    CVideoSwitchShareClt m_Client;
    std::atomic<int32_t> m_nPgmChannel{1};
    std::atomic<int32_t> m_nPstChannel{2};
};
