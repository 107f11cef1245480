// What the Leitch line tests share: a port bound to a pseudo-terminal with a simulated Leitch
// device at the far end, and a port number whose plain COM line can never open.
#pragma once

#include "tests/sim/LeitchSim.h"
#include "tests/switchers/SwitcherTestKit.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace leitchtest {

using Model = kestsim::LeitchSim::Model;
using kestsim::Bytes;
using kestsim::ToBytes;

struct SimLine {
    SimLine(plat::SerialPortKind kind, int port, Model model)
    {
        pty.Bind(kind, port);
        sim = std::make_unique<kestsim::LeitchSim>(pty, model);
    }
    kestsim::ScriptedPeer &Peer() { return sim->Peer(); }
    // Waits until `text` has come, then whether it is exactly what came; clears it.
    bool Got(const std::string &text)
    {
        const Bytes bytes = ToBytes(text);
        const bool ok =
            Peer().WaitForBytes(bytes.size(), swtest::kSoonMs) && Peer().Received() == bytes;
        Peer().ClearReceived();
        return ok;
    }

    kestsim::PtyPair pty;
    std::unique_ptr<kestsim::LeitchSim> sim;
};

// KEST_COM<n> names a device that does not exist for the object's life, so that a port of
// any kind on number n can only open as a board port.
class NoComPort {
public:
    explicit NoComPort(int n) : m_name("KEST_COM" + std::to_string(n))
    {
        if (const char *old = std::getenv(m_name.c_str())) m_old = old;
        setenv(m_name.c_str(), "/nonexistent/kest-no-port", 1);
    }
    ~NoComPort()
    {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

} // namespace leitchtest
