// Switchers that send through the protocol object of another device on their line: when that
// device goes while a sharer's request waits for its answer, the request ends and nothing it
// uses is freed under it. Run under the sanitizers, a use after the free is reported.
#include "tests/sim/TallySim.h"
#include "tests/switchers/SwitcherTestKit.h"

#include "drivers/switchers/binary/CVideoSwitch_APS1602.h"
#include "drivers/switchers/tally/CVideoSwitch_VM3000.h"

#include <chrono>
#include <functional>
#include <future>
#include <memory>

using namespace devtest;
using namespace swtest;

namespace {

constexpr auto kSio = plat::SerialPortKind::SIO;

struct Case {
    const char *what;
    const char *setting;
    std::function<std::unique_ptr<CVideoSwitchA>(const char *setting)> make;
    kestsim::ScriptedPeer &peer;
    Bytes take; // what the sharer's DevDirectTake(1, 2) writes
};

template <class Device> std::unique_ptr<CVideoSwitchA> Made(const char *setting)
{
    auto device = std::make_unique<Device>();
    if (!Init(*device, setting)) device.reset();
    return device;
}

} // namespace

TEST(SharedLines, TheOwnersEndDuringASharersRequestFreesNothingTheRequestUses)
{
    Line aps(kSio, 44, kestsim::SwitcherSim::Model::Aps1602);
    kit::SimLine<kestsim::TallySim> vm(kSio, 45, kestsim::TallySim::Model::Vm3000);
    MountedSettings settings(Section("APS", {{"COM", "44"}}) + Section("VM", {{"Com", "45"}}));
    aps.Sim().SetFaults(Late(100));
    vm.Peer().SetFaults(Late(100));
    const Case cases[] = {
        {"APS1602", "APS", Made<CVideoSwitch_APS1602>, aps.Peer(), {0x55, 0x21, 0x10, 0x01, 0x13}},
        {"VM3000", "VM", Made<CVideoSwitch_VM3000>, vm.Peer(), kestsim::ToBytes("ZS001002\r")},
    };
    for (const Case &c : cases) {
        const auto sharer = c.make(c.setting);
        ASSERT_TRUE(sharer) << c.what;
        for (int round = 0; round < 5; ++round) {
            auto owner = c.make(c.setting);
            ASSERT_TRUE(owner && owner->DevOpen()) << c.what;
            c.peer.ClearReceived();
            auto take = std::async(std::launch::async, [&] { return sharer->DevDirectTake(1, 2); });
            ASSERT_TRUE(c.peer.WaitForContains(c.take, kSoonMs)) << c.what;
            owner.reset();
            ASSERT_EQ(take.wait_for(std::chrono::seconds(10)), std::future_status::ready) << c.what;
            take.get();
            // The answer the close cut off reaches the line before the next owner opens it
            // (and flushes it away).
            ASSERT_TRUE(c.peer.WaitSent(kSoonMs)) << c.what;
        }
    }
}
