// The serial sharing service (service id 35, instance "SerialShareServ"), run by every process
// that takes part in sharing serial lines. In the process that owns a line it opens the local
// port for a remote client, forwards the client's writes, reads, flushes and heartbeats, and
// sends what the line receives back to the client; a client silent for more than 30 s loses
// its port at the next open. In the process that uses a line of another, its setting ("Shared")
// names the local port numbers that are such lines (CSerial_Net ports) and where they are, and
// it hands the bytes the serving process sends to those ports.
#pragma once

#include "KestLib20/buffer_t.h"
#include "KestLib20/tagURL.h"
#include "devext/Devext20Api.h"
#include "devext/device/CNetServerA.h"
#include "devext/device/NetAddr.h"

#include <cstdint>
#include <memory>

class CSerialDevA;

// One port opened for a remote client.
struct tagServDev {
    CSerialDevA *pPort = nullptr; // owned by the service, released with Suicide
    tagNetAddr clientAddr;        // the requesting process, as the request's head gave it
    int32_t nClientPort = 0;      // the port number under which the client knows the line
    uint32_t dwLastHeard = 0;     // tick of the open or of the latest heartbeat
};

// One local port number that is a line of another process.
struct tagCltDev {
    tagURL server;           // the serving process
    int32_t nLocalPort = 0;  // "Com"
    int32_t nRemotePort = 2; // "COM" of the server URL's query: the port number there
};

class DEVEXT20_API CSerialShareServ : public CNetServerA {
    DECLARE_KEST_CLASS(CSerialShareServ)

    static constexpr const char *kInstanceName = "SerialShareServ";
    // A served port whose client has not been heard for longer is closed at the next open.
    static constexpr uint32_t kSilenceMs = 30000;
    // "Com" of a "Shared" entry must lie in this range.
    static constexpr int kFirstSharedPort = 1;
    static constexpr int kLastSharedPort = 128;

    CSerialShareServ();
    // Stops serving, then closes and releases every served port.
    ~CSerialShareServ() override;
    CSerialShareServ(const CSerialShareServ &) = delete;
    CSerialShareServ &operator=(const CSerialShareServ &) = delete;

    // The server's initialisation, then the "Shared" list of the setting; 1.
    int32_t OnInitInstance() override;

    // A copy of the served record of port number `port`: 1, else 0.
    int LookupServStruByPort(int port, tagServDev &served);
    // A copy of the "Shared" entry of local port number `port`: 1, else 0.
    int LookupCltStruByPort(int port, tagCltDev &client);
    // Stops serving port number `port` and releases its port object; 1.
    int CloseSharedSerialPort(int port);
    // Stops serving every port whose client has been silent for more than kSilenceMs; 1.
    int CloseAllInvalidDev();

    // The message handlers. A request whose values cannot all be read gets no reply.
    int OnSerialOpen(int messageId, CPacket &request);
    int OnSerialClose(int messageId, CPacket &request);
    int OnSerialWrite(int messageId, CPacket &request);
    int OnSerialRead(int messageId, CPacket &request);
    int OnSerialDoInt(int messageId, CPacket &request);
    int OnSerialFlush(int messageId, CPacket &request);
    int OnSerialHeartBeat(int messageId, CPacket &request);

    // The interrupt handler of every served port: sends the bytes to the port's client; 1,
    // or 0 when the port is not served.
    int OnRecvSerialData(int port, pointer_t &data);

private:
    struct Impl;
    class ServedUse;

    void ReadSharedList();
    // Removes, under the lock, the first served record that `match` picks; its port object,
    // or null when none matched.
    template <class Match> CSerialDevA *TakeServed(Match match);
    // Closes and releases a port taken off the list, once no use of it is in progress.
    void ReleaseServed(CSerialDevA *port);

    std::unique_ptr<Impl> m_pImpl;
};
