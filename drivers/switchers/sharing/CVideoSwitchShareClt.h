// The client of the switcher sharing server: each operation is one remote call of a switcher
// operation on the switcher that the server's device manager knows under the remote device
// id. A call returns the remote result, or 0 when no reply came within the reply time-out;
// out values are written only from a reply.
#pragma once

#include "devext/device/CNetClientA.h"
#include "drivers/KsOvra20Api.h"
#include "platform/String.h"

#include <initializer_list>
#include <mutex>

class KSOVRA20_API CVideoSwitchShareClt : public CNetClientA {
public:
    CVideoSwitchShareClt();
    CVideoSwitchShareClt(const CVideoSwitchShareClt &) = delete;
    CVideoSwitchShareClt &operator=(const CVideoSwitchShareClt &) = delete;

    void SetRemoteDevId(const char *id);
    CString GetRemoteDevId() const;

    int CMD_DevOpen(int &channels, int &sources);
    int CMD_DevClose();
    int CMD_DevIsOpen();
    int CMD_DevTest(const char *text);
    int CMD_DevSetTransType(int type);
    int CMD_DevSetTransRate(int rate);
    int CMD_DevDirectTake(int channel, int entry);
    int CMD_DevPreset(int channel, int entry);
    int CMD_DevTake(int channel);
    int CMD_DevQueryPgmEntry(int channel, int &entry);
    int CMD_DevQueryPstEntry(int channel, int &entry);
    int CMD_DevQueryTransMode(int &type, int &rate);

private:
    // Sends message `id` with the remote device id followed by `values`; the reply's values
    // go into `reply`.
    int Call(int id, std::initializer_list<tagArgItem> values,
             std::initializer_list<tagArgItem> reply = {});

    mutable std::mutex m_idLock;
    CString m_strRemoteDev;
};
