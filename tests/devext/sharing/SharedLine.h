// One program on both ends of a shared line: it serves COM kServedPort, a pseudo-terminal
// with a scripted device, and uses that line as its local port kLocalPort through the
// network port kind. Requests leave through the first dispatcher and reach the second, under
// whose name the serving process is known; data comes back to the first.
#pragma once

#include "SharingTestKit.h"
#include "tests/kit/SimLine.h"

namespace sharetest {

struct SharedLine {
    static constexpr int kServedPort = 61;
    static constexpr int kLocalPort = 120;
    static constexpr const char *kServerName = "ShareServerProcess";
    // Shared numbers that do not open: the serving process is unknown, or it has no device
    // on the number it is asked for (kMissingDevice).
    static constexpr int kUnknownServerPort = 122;
    static constexpr int kNoDevicePort = 123;
    static constexpr int kMissingDevice = 63;

    SharedLine() { ResolveTo(kServerName, serverDisp.Port()); }
    static std::string ServerUrl(int port)
    {
        return std::string("kest://any/") + kServerName + "?COM=" + std::to_string(port);
    }
    size_t Logged(const std::string &text) const { return Count(log, text); }

    kit::SimLine<kestsim::ScriptedPeer> farEnd{plat::SerialPortKind::COM, kServedPort};
    kestsim::PtyPair &pty = farEnd.Pty();
    kestsim::ScriptedPeer &device = farEnd.Peer();
    ActiveDisp clientDisp{"ShareClientDisp"}; // first: the process's dispatcher
    ActiveDisp serverDisp{"ShareServerDisp"};
    ActiveService service{SharedList({
        {kLocalPort, ServerUrl(kServedPort)},
        {kUnknownServerPort, "kest://any/NoSuchProcess?COM=61"},
        {kNoDevicePort, ServerUrl(kMissingDevice)},
    })};
    LogProbe log{"LOG_ERROR", LOG_MODE_EXACT};
    TestProtocol protocol{kLocalPort};
};

} // namespace sharetest
