// The switcher sharing server (service id 32, instance "SwitchShareServ"): lends the switchers
// of this process's device manager to other processes. Each request names the switcher by
// device id; the server calls the matching switcher operation and replies with its result and
// values. It keeps no state of its own.
#pragma once

#include "devext/device/CNetServerA.h"
#include "drivers/KsOvra20Api.h"

class KSOVRA20_API CVideoSwitchShareServ : public CNetServerA {
    DECLARE_KEST_CLASS(CVideoSwitchShareServ)

    static constexpr const char *kInstanceName = "SwitchShareServ";

    explicit CVideoSwitchShareServ(const char *name = kInstanceName);
    // Stops serving before the handlers' object goes.
    ~CVideoSwitchShareServ() override;
    CVideoSwitchShareServ(const CVideoSwitchShareServ &) = delete;
    CVideoSwitchShareServ &operator=(const CVideoSwitchShareServ &) = delete;

    // The handlers: 1 when they replied, 0 when the request was too short to read (no reply).
    int OnDevOpen(int messageId, CPacket &request);
    int OnDevClose(int messageId, CPacket &request);
    int OnDevIsOpen(int messageId, CPacket &request);
    int OnDevTest(int messageId, CPacket &request);
    int OnDevSetTransType(int messageId, CPacket &request);
    int OnDevSetTransRate(int messageId, CPacket &request);
    int OnDevDirectTake(int messageId, CPacket &request);
    int OnDevPreset(int messageId, CPacket &request);
    int OnDevTake(int messageId, CPacket &request);
    int OnDevQueryPgmEntry(int messageId, CPacket &request);
    int OnDevQueryPstEntry(int messageId, CPacket &request);
    int OnDevQueryTransMode(int messageId, CPacket &request);
};
