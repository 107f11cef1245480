// What the keyer driver tests share beside the production switcher tests' kit: a line whose
// far end is a simulated keyer, a key task group, a protocol object of another device, and
// the "#OVRA_KEY" texts.
#pragma once

#include "tests/keyers/KeyerTestKit.h"
#include "tests/kit/SimLine.h"
#include "tests/sim/KeyerSim.h"
#include "tests/switchers/ProductionTestKit.h"

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

// A line whose far end is a simulated keyer.
using KeyerLine = kit::SimLine<kestsim::KeyerSim>;

// A key task of no keyer in particular.
inline tagVideoKeyTask Task(int32_t functype, int32_t key, int32_t op, int64_t at = 0,
                            const char *source = "AUTO")
{
    return keytest::KeyTask(0, "", at, functype, source, key, op);
}

inline CVideoKeyTaskArray Group(const std::vector<tagVideoKeyTask> &tasks)
{
    CVideoKeyTaskArray group;
    for (const tagVideoKeyTask &task : tasks) group->Add(task);
    return group;
}

// The "#OVRA_KEY" text of an operation and a function type.
inline std::string KeyText(int op, int functype)
{
    return "STATUS = \"" + std::to_string(op) + "\",FUNCTYPE =\"" + std::to_string(functype) + "\"";
}

// A protocol object of some other device, holding a line of the port class `portClass`.
class OtherProtocol : public CSerialSwitchIO {
public:
    OtherProtocol(uint16_t port, iRtc *portClass)
        : CSerialSwitchIO({port, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, portClass})
    {
    }
    ~OtherProtocol() override { Retire(); }
};

using prodtest::Refusing;
using prodtest::Silent;
using swtest::DebugOn;
using swtest::Init;

} // namespace keydrv
