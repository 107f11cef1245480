// The main/backup guard over the switcher models: while virtual nothing reaches the line,
// whatever is asked, and every operation gives the variant's answer: the EX variants succeed
// and keep the base's entries (DLKDEx and the XPR Ex only succeed, the XPR keeping its
// presets), the M2100 answers its open as the device base does and keeps entries held to
// its matrix.
#include "tests/switchers/SwitcherTestKit.h"

#include "drivers/switchers/binary/CVideoSwitch_BDS1602CP.h"
#include "drivers/switchers/leitch/CVideoSwitch_LeitchXpr.h"
#include "drivers/switchers/production/CVideoSwitch_M2100.h"
#include "drivers/switchers/tally/CVideoSwitch_VM3000.h"
#include "drivers/switchers/text/CVideoSwitch_DLKD7200.h"

#include <functional>
#include <memory>
#include <string>

using namespace devtest;
using namespace swtest;

namespace {

constexpr auto kSio = plat::SerialPortKind::SIO;
constexpr auto kCom = plat::SerialPortKind::COM;

// What a virtual device answers: its open, open state, test and close; the entries of
// channel 1 after a direct take of 20 and a preset of 0 (each as given), then after a take
// on channel `takeChannel`; and the transition it keeps.
struct Answers {
    int open, isOpen, test, close;
    Entries afterCommands;
    Entries afterTake;
    int transType;
};

struct Case {
    const char *what;
    plat::SerialPortKind kind;
    int port;
    std::string extra; // more keys of the setting
    std::function<std::unique_ptr<CVideoSwitchA>()> make;
    int takeChannel;
    Answers answers;
};

template <class Device> std::function<std::unique_ptr<CVideoSwitchA>()> Make()
{
    return [] { return std::make_unique<Device>(); };
}

} // namespace

TEST(SwitchVirtualGuard, WhileVirtualNothingReachesTheLineAndEachVariantAnswersItsOwnWay)
{
    const Case cases[] = {
        {"BDS1602 EX",
         kSio,
         171,
         "",
         Make<CVideoSwitch_BDS1602CPEX>(),
         1,
         {1, 1, 1, 1, {0, 20}, {20, 0}, 4}},
        {"VM3000 EX",
         kSio,
         172,
         "",
         Make<CVideoSwitch_VM3000EX>(),
         1,
         {1, 1, 1, 1, {0, 20}, {20, 0}, 4}},
        {"DLKDEx: the entries do not follow",
         kCom,
         173,
         "",
         Make<CVideoSwitch_DLKDEx>(),
         1,
         {1, 1, 1, 1, {0, 0}, {0, 0}, 4}},
        {"XPR Ex: only its presets are kept",
         kSio,
         174,
         "",
         Make<CVideoSwitch_LeitchXprEx>(),
         1,
         {1, 1, 1, 1, {1, 0}, {1, 0}, 4}},
        {"M2100: the device base's open, entries held to the matrix",
         kSio,
         175,
         "Exchange=TRUE\r\n",
         Make<CVideoSwitch_M2100>(),
         5,
         {0, 0, 1, 0, {1, 20}, {20, 1}, 4}},
    };
    for (const Case &c : cases) {
        PlainLine line(c.kind, c.port);
        const std::string port = std::to_string(c.port);
        MountedSettings settings(
            Section("VX", {{"COM", port}, {"Com", port}, {"Virtual", "TRUE"}}) + c.extra);
        const auto sw = c.make();
        ASSERT_TRUE(Init(*sw, "VX")) << c.what;
        const Answers &a = c.answers;
        EXPECT_EQ(sw->DevOpen(), a.open) << c.what;
        EXPECT_EQ(sw->DevIsOpen(), a.isOpen) << c.what;
        EXPECT_EQ(sw->DevTest(""), a.test) << c.what;
        EXPECT_EQ(sw->DevDirectTake(1, 20), 1) << c.what;
        EXPECT_EQ(sw->DevPreset(1, 0), 1) << c.what;
        EXPECT_EQ(BaseEntries(*sw, 1), a.afterCommands) << c.what;
        EXPECT_EQ(sw->DevTake(c.takeChannel), 1) << c.what;
        EXPECT_EQ(BaseEntries(*sw, 1), a.afterTake) << c.what;
        EXPECT_EQ(sw->DevSetTransType(4), 1) << c.what;
        EXPECT_EQ(sw->DevSetTransRate(2), 1) << c.what;
        int type = 0, rate = 0;
        sw->CVideoSwitchA::DevQueryTransMode(type, rate);
        EXPECT_EQ(type, a.transType) << c.what << ": the base keeps the transition";
        EXPECT_EQ(rate, 2) << c.what;
        EXPECT_EQ(sw->DevClose(), a.close) << c.what;
        EXPECT_FALSE(line.Peer().WaitForBytes(1, 100)) << c.what << ": nothing reached the line";
    }
}
