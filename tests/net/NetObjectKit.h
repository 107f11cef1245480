// The network object of the test program, set up from test settings, and a client of its
// management service. The program is set up by tests/sim/program. Everything stays on
// 127.0.0.1.
#pragma once

#include "devext/device/CClient_NetService.h"
#include "devext/device/CNet.h"
#include "tests/sim/RawUdpProcess.h"

#include <map>
#include <string>

namespace nettest {

// The net name every network object of these tests takes: the name a time server has.
inline constexpr const char *kNetName = "TimeServ";

using Keys = std::map<std::string, std::string>;

using kestsim::FreePort;

// A network object made from the keys of "/etc/tvx/Network" given (beside "Net Name"), and
// activated. Without a "Default Port" key its dispatcher listens on a port that was free, so
// that parallel test processes do not crowd the range the management client asks; "0" puts
// it on the first free port of that range.
class ActiveNet {
public:
    explicit ActiveNet(const Keys &keys = {});
    ~ActiveNet();
    ActiveNet(const ActiveNet &) = delete;
    ActiveNet &operator=(const ActiveNet &) = delete;

    CNet *operator->() { return &net; }
    tagNetAddr Addr();

    CNet net;
};

} // namespace nettest
