// What the Leitch line tests share: a port bound to a pseudo-terminal with a simulated Leitch
// device at the far end, and a port number whose plain COM line can never open.
#pragma once

#include "tests/kit/SimLine.h"
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

using SimLine = kit::SimLine<kestsim::LeitchSim>;

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
