// A time source that reads the framework time of another process of the station (its time
// server, found by URL or by group through the distributed-system kernel) from that
// process's management service, and corrects the counter reading by half the round trip.
#pragma once

#include "KestLib20/tagURL.h"
#include "devext/device/CClient_NetService.h"
#include "devext/device/CTimeSourceA.h"
#include "devext/Devext20Api.h"
#include "platform/String.h"

#include <cstdint>
#include <mutex>

class DEVEXT20_API CTimeSource_Net : public CTimeSourceA {
    DECLARE_KEST_CLASS(CTimeSource_Net)

    static constexpr const char *kDefaultGroup = "Kest;TimeServ";
    static constexpr const char *kServerPath = "TimeServ";
    // Processes asked of the kernel for the group, and the longest host name taken.
    static constexpr int32_t kGroupProcesses = 4;
    static constexpr int kMaxHostName = 64;
    // 100 ns units taken off the counter reading beside half the round trip.
    static constexpr int64_t kCounterAllowance = 10;

    // Null: the framework clock.
    explicit CTimeSource_Net(CClock *clock = nullptr);
    // Stops the adjust task before the client goes.
    ~CTimeSource_Net() override;

    // Reads "Timer Server", clears the ready flag, then the base keys.
    int32_t OnInitInstance() override;
    // Finds the time server (`server` replaces the server text when given; without a server
    // text, the first process of the "Group" setting's group filter) and connects the client
    // to it: 1 when connected.
    int SetTimerServer(const char *server);
    // The server's framework time, asked twice, with the counter reading corrected by half
    // the second round trip: 1; 0 (the server is found again next time) when a call failed.
    int GetStandardTime(DYNAMIC_TIME &t) override;

    bool IsReady() const;
    CString GetServerText() const;
    tagNetAddr GetServerAddr() const { return m_Client.GetDestination(); }

private:
    int SetTimerServerLocked(const char *server);

    mutable std::mutex m_lock; // one reading or server change at a time
    CClient_NetService m_Client;
    tagURL m_Url;
    CString m_strServer;
    int m_bReady = 0;
};
