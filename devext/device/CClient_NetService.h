// The asking side of the management service (service id 2): finds processes and their
// services on a host, asks about another process's run-time classes and instances, measures
// request-to-reply times and reads another process's clocks. Replies are awaited for 1500 ms;
// calls return the reply's result, or 0 when no reply came. Times are file times (100 ns
// units since 1601, universal time).
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CNetClientA.h"
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/TimeConvert.h"

#include <cstdint>

class DEVEXT20_API CClient_NetService : public CNetClientA {
public:
    static constexpr int kReplyTimeout = 1500;

    CClient_NetService();
    explicit CClient_NetService(const tagNetAddr &destination);

    // The net name of the dispatcher at the connected address.
    int CMD_Get_DispName(CString &name);
    // Asks every management port of the connected host for the port of the process named
    // `name` (without case): 1 when one answered.
    int CMD_Get_DispPort(CString name, uint16_t &port);
    // Connects to `ip` and collects the names and ports of the dispatchers there, up to
    // `count` answers or the time-out: the number of names.
    int CMD_Get_DispNameList(uint32_t ip, uint16_t count, CStringArray &names, CDWordArray &ports);
    int CMD_Start_Server(uint16_t id);
    int CMD_Stop_Server(uint16_t id);
    // The mail box of that id in the other process.
    int CMD_Get_Svr_Info(uint16_t id, uint16_t &boxId, int32_t &found, CString &name);
    // The id of the mail box named `name` (0 when there is none).
    int CMD_Get_iSet(const char *name, uint16_t &id);
    // One-way: writes into the other process's log; the send's result.
    int CMD_Log(CString type, CString text, CString info);
    // A run-time class of the other process by its identity (0: the root class).
    int CMD_Query_Class_Info(int32_t classId, CString &name, int32_t &fatherId, int32_t &objectSize,
                             CDWordArray &sonIds);
    int CMD_Query_Instance_Count(int32_t classId, int32_t &count);
    int CMD_Query_Instance_Info(int32_t classId, int32_t index, CString &name);
    // Sends `size` bytes (at most 512) and takes them back; `elapsed` is the milliseconds
    // the call took.
    int CMD_Echo(uint32_t &elapsed, uint16_t size);
    // The other process's system time (`first`) and framework time (`second`); `roundTrip`
    // is the local framework time the call took (untouched on failure).
    int CMD_GetTime(int64_t &first, int64_t &second, int64_t &roundTrip);
    // The other process's framework time.
    int CMD_GetTimeAsUCFileTime(int64_t &time, int64_t &roundTrip);
    // The other process's framework time as a local calendar time.
    int CMD_GetTimeAsSystemtime(plat::SYSTEMTIME &time, int64_t &roundTrip);
};
