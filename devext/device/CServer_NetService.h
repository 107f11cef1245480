// The management service of a process (service id 2, mail box "Serv_Dispacher"): lets other
// processes find this process and its services (net name, dispatcher port, mail box ids), ask
// about its run-time classes and instances, measure request-to-reply times, read its clocks
// and write into its log. Requests it does not answer run into the asking client's time-out.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CNetServerA.h"

#include <cstdint>

class iRtc;

class DEVEXT20_API CServer_NetService : public CNetServerA {
    DECLARE_KEST_CLASS(CServer_NetService)

    static constexpr const char *kDefaultName = "Serv_Dispacher";

    CServer_NetService();
    // Stops serving, so that no handler runs on a half-destroyed object.
    ~CServer_NetService() override;
    CServer_NetService(const CServer_NetService &) = delete;
    CServer_NetService &operator=(const CServer_NetService &) = delete;

    // The handlers, one per message.
    int On_Get_DispName(int messageId, CPacket &request);
    int On_Get_DispPort(int messageId, CPacket &request);
    int On_Start_Server(int messageId, CPacket &request);
    int On_Stop_Server(int messageId, CPacket &request);
    int On_Get_Svr_Info(int messageId, CPacket &request);
    int On_Get_iSet(int messageId, CPacket &request);
    int On_Log(int messageId, CPacket &request);
    int On_Query_Class_Info(int messageId, CPacket &request);
    int On_Query_Instance_Count(int messageId, CPacket &request);
    int On_Query_Instance_Info(int messageId, CPacket &request);
    int On_Echo(int messageId, CPacket &request);
    int On_Get_Time(int messageId, CPacket &request);
    int On_ResourceRequest(int messageId, CPacket &request);

    // The 32-bit identity of a run-time class record under the root class CClassA (0 for the
    // root itself), handed out on first sight and kept for the life of the process; the
    // record of an identity, null when there is none or it has gone.
    static uint32_t GetClassIdentity(iRtc *rtc);
    static iRtc *FindClassByIdentity(uint32_t id);
};
