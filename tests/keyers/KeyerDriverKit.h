// What the keyer driver tests share: a line whose far end is a simulated keyer or production
// switcher, a key task group, a device initialised from a setting, and the "#OVRA_KEY" texts.
#pragma once

#include "tests/model/DeviceTestKit.h"
#include "tests/sim/KeyerSim.h"
#include "tests/sim/ProductionSwitcherSim.h"

#include "Kest20/KestLog.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"

#include <memory>
#include <string>
#include <vector>

namespace keydrv {

using kestsim::Bytes;
constexpr uint32_t kSoonMs = 5000;
constexpr auto kSio = plat::SerialPortKind::SIO;
constexpr auto kCom = plat::SerialPortKind::COM;

// Port `port` of `kind` bound to a fresh pseudo-terminal with a simulated keyer at its end.
struct KeyerLine {
    KeyerLine(plat::SerialPortKind kind, int port, kestsim::KeyerSim::Model model)
    {
        pty.Bind(kind, port);
        sim = std::make_unique<kestsim::KeyerSim>(pty, model);
    }
    kestsim::ScriptedPeer &Peer() { return sim->Peer(); }
    // Waits until `bytes` have come, then whether they are exactly what came; clears them.
    bool Got(const Bytes &bytes)
    {
        const bool ok = Peer().WaitForBytes(bytes.size(), kSoonMs) && Peer().Received() == bytes;
        Peer().ClearReceived();
        return ok;
    }

    kestsim::PtyPair pty;
    std::unique_ptr<kestsim::KeyerSim> sim;
};

// A board port with a simulated production switcher at its end.
struct SwitcherLine {
    SwitcherLine(int port, kestsim::ProductionSwitcherSim::Model model)
    {
        pty.Bind(kSio, port);
        sim = std::make_unique<kestsim::ProductionSwitcherSim>(pty, model);
    }
    kestsim::PtyPair pty;
    std::unique_ptr<kestsim::ProductionSwitcherSim> sim;
};

// A plain key task.
inline tagVideoKeyTask Task(int32_t functype, int32_t key, int32_t op, int64_t at = 0,
                            const char *source = "AUTO")
{
    tagVideoKeyTask task;
    task.functype = functype;
    task.nKey = key;
    task.nop = op;
    task.StartTime = at;
    task.Source = source;
    return task;
}

inline CVideoKeyTaskArray Group(const std::vector<tagVideoKeyTask> &tasks)
{
    CVideoKeyTaskArray group;
    for (const tagVideoKeyTask &task : tasks) group->Add(task);
    return group;
}

// Initialises `device` from the section `name` of the mounted settings.
template <class Device> bool Init(Device &device, const std::string &name)
{
    return device.InitInstance(("/etc/tvx/" + name).c_str(), name.c_str()) == 1;
}

// The "#OVRA_KEY" text of an operation and a function type.
inline std::string KeyText(int op, int functype)
{
    return "STATUS = \"" + std::to_string(op) + "\",FUNCTYPE =\"" + std::to_string(functype) + "\"";
}

// The debug log on for the test's life.
class DebugOn {
public:
    DebugOn() : m_previous(glSetDebugFlag(1)) {}
    ~DebugOn() { glSetDebugFlag(m_previous); }

private:
    int m_previous;
};

// A protocol object of some other device, holding a line of the port class `portClass`.
class OtherProtocol : public CSerialSwitchIO {
public:
    OtherProtocol(uint16_t port, iRtc *portClass)
        : CSerialSwitchIO({port, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, portClass})
    {
    }
    ~OtherProtocol() override { DevClose(); }
};

// Faults of a simulated device.
inline kestsim::Faults Refusing()
{
    kestsim::Faults faults;
    faults.nak = true;
    return faults;
}

inline kestsim::Faults Silent()
{
    kestsim::Faults faults;
    faults.silent = true;
    return faults;
}

} // namespace keydrv
