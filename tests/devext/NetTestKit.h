// Packet dispatchers for the network tests, each listening on a port of its own (taken free
// from the system), and a plain POSIX UDP peer that shares nothing with the code under test.
// Everything stays on 127.0.0.1.
#pragma once

#include "LoopbackPeer.h"

#include "KestLib20/CPacket.h"
#include "devext/device/CNetDisp.h"
#include "devext/device/NetAddr.h"

#include <cstdint>
#include <string>

namespace nettest {

constexpr int kWaitMs = 3000;

// A UDP port that was free a moment ago.
uint16_t FreeUdpPort();
tagNetAddr Loopback(uint16_t port);

// A dispatcher named `name`, initialised with "Default Port" = `port` (0: none) and, when
// given, "Net Name" = `netName`, and active.
class ActiveDisp {
public:
    explicit ActiveDisp(const char *name, uint16_t port = FreeUdpPort(),
                        const char *netName = nullptr);
    ~ActiveDisp();
    ActiveDisp(const ActiveDisp &) = delete;
    ActiveDisp &operator=(const ActiveDisp &) = delete;

    CNetDisp *operator->() { return &disp; }
    uint16_t Port() const { return static_cast<uint16_t>(disp.GetPort()); }
    tagNetAddr Addr() const { return Loopback(Port()); }

    CNetDisp disp;
};

// The next datagram on `fd` within `timeoutMs`; empty when none came.
std::string ReceiveDatagram(int fd, int timeoutMs);
// The packet's head and data bytes.
std::string BytesOf(const CPacket &packet);
std::string DataOf(const CPacket &packet);

} // namespace nettest
