// What the switcher line tests share: a line of a chosen kind whose far end is a scripted peer
// or a simulated switch, byte waits that hold under load, and a device made from a setting.
#pragma once

#include "tests/kit/SimLine.h"
#include "tests/model/DeviceTestKit.h"
#include "tests/sim/SwitcherSim.h"

#include "Kest20/KestLog.h"
#include "drivers/model/CVideoSwitchA.h"

#include <future>
#include <memory>
#include <string>
#include <vector>

namespace swtest {

using kestsim::Bytes;
constexpr uint32_t kSoonMs = 5000;

// A line whose far end is a simulated switch, and one with a plain peer that only records.
using Line = kit::SimLine<kestsim::SwitcherSim>;
using PlainLine = kit::SimLine<kestsim::ScriptedPeer>;

// A COM line with a plain peer.
inline std::unique_ptr<PlainLine> ComLine(int port)
{
    return std::make_unique<PlainLine>(plat::SerialPortKind::COM, port);
}

// The debug log on for the test's life.
class DebugOn {
public:
    DebugOn() : m_previous(glSetDebugFlag(1)) {}
    ~DebugOn() { glSetDebugFlag(m_previous); }

private:
    int m_previous;
};

// Initialises `device` from the section `name` of the mounted settings.
template <class Device> bool Init(Device &device, const std::string &name)
{
    return device.InitInstance(("/etc/tvx/" + name).c_str(), name.c_str()) == 1;
}

struct Entries {
    int pst = -1;
    int pgm = -1;
    bool operator==(const Entries &) const = default;
};

// Answers that come `ms` late: a request waits for them that long.
inline kestsim::Faults Late(uint32_t ms)
{
    kestsim::Faults faults;
    faults.delayMs = ms;
    return faults;
}

// Replies that come in pieces 20 ms apart, or after a stray byte: `stray` (one that starts no
// reply) or `strayHead` (one that looks like the start of a reply), the latter in pieces too.
struct StreamCase {
    const char *what;
    kestsim::Faults faults;
};
inline std::vector<StreamCase> SplitAndStrayReplies(uint8_t stray, uint8_t strayHead)
{
    const auto shaped = [](Bytes garbage, size_t chunkSize) {
        kestsim::Faults faults;
        faults.garbage = std::move(garbage);
        faults.chunkSize = chunkSize;
        faults.gapMs = 20;
        return faults;
    };
    return {{"a reply in one-byte pieces", shaped({}, 1)},
            {"a stray byte first", shaped({stray}, 0)},
            {"a stray head first, in pieces", shaped({strayHead}, 2)}};
}

// Advances the manual clock until a call started on another thread has returned (a board
// port paces its writes on it): the call's result.
inline int Settle(std::future<int> &call)
{
    EXPECT_TRUE(devtest::AdvanceUntil(
        [&] { return call.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
        50, 600000));
    return call.get();
}

inline Entries BaseEntries(CVideoSwitchA &sw, int channel)
{
    Entries e;
    sw.CVideoSwitchA::DevQueryPstEntry(channel, e.pst);
    sw.CVideoSwitchA::DevQueryPgmEntry(channel, e.pgm);
    return e;
}

} // namespace swtest
