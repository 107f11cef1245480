// The serial switch driver template on a router written the way a model is: its options
// decide how the device opens (the own line, a check that fails the open, a line shared with
// another device), which port key it reads, how its takes and presets go and what the base
// keeps; a command that does not go out leaves the base's entries; the take lines go to the
// model's log type, and none when the device does not even activate.
#include "tests/switchers/SwitcherTestKit.h"

#include "drivers/switchers/CVideoSwitchSerialA.h"

#include <functional>
#include <string>
#include <vector>

using namespace devtest;
using namespace swtest;

namespace {

constexpr int kLinePort = 150;
constexpr const char *kLogType = "LOG_TEMPLATE_ROUTER";
using Options = CVideoSwitchSerialA::Options;
using Open = CVideoSwitchSerialA::Open;
using Preset = CVideoSwitchSerialA::Preset;

// A router of 16 inputs on 2 outputs: a route is 'R' channel entry, a preset 'P' channel
// entry; it is never answered.
class CSerialIO_TemplateRouter : public CSerialSwitchIO {
public:
    CSerialIO_TemplateRouter()
        : CSerialSwitchIO({kLinePort, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, nullptr})
    {
    }
    ~CSerialIO_TemplateRouter() override { Retire(); }
};

class TemplateRouter : public CVideoSwitchSerial<CSerialIO_TemplateRouter> {
public:
    explicit TemplateRouter(const Options &options) : CVideoSwitchSerial(options) {}

    bool passCheck = true;
    int checks = 0;

protected:
    int SendRoute(CSerialIO_TemplateRouter &port, int channel, int entry) override
    {
        return port.WriteFrame({'R', static_cast<uint8_t>(channel), static_cast<uint8_t>(entry)});
    }
    int SendPreset(CSerialIO_TemplateRouter &port, int channel, int entry) override
    {
        return port.WriteFrame({'P', static_cast<uint8_t>(channel), static_cast<uint8_t>(entry)});
    }
    bool CheckDevice() override
    {
        ++checks;
        return passCheck;
    }
};

Options RouterOptions(Open open = Open::Plain, Preset preset = Preset::Base)
{
    Options options{"LVSWITCH_TEMPLATE", "Template router", 16, 2};
    options.open = open;
    options.preset = preset;
    options.logType = kLogType;
    return options;
}

Options Unclamped()
{
    Options options = RouterOptions();
    options.clampEntry = false;
    return options;
}

Bytes Frame(char kind, int channel, int entry)
{
    return {static_cast<uint8_t>(kind), static_cast<uint8_t>(channel), static_cast<uint8_t>(entry)};
}

std::string RouterSetting(const char *name, int port, const char *key = "COM")
{
    return Section(name, {{key, std::to_string(port)}});
}

} // namespace

TEST(SwitchTemplate, TakesAndPresetsGoAsTheOptionsSay)
{
    struct Case {
        const char *what;
        Options options;
        std::function<int(TemplateRouter &)> command;
        Bytes sent; // empty: nothing goes out
        int channel;
        Entries entries; // of the channel, after the command
    };
    const auto presetAt = [](int entry) {
        return [entry](TemplateRouter &sw) {
            sw.CVideoSwitchA::DevPreset(1, entry);
            return sw.DevTake(1);
        };
    };
    const Case cases[] = {
        {"a direct take holds the entry to the sources",
         RouterOptions(),
         [](TemplateRouter &sw) { return sw.DevDirectTake(1, 20); },
         Frame('R', 1, 16),
         1,
         {0, 16}},
        {"entry 0 becomes entry 1",
         RouterOptions(),
         [](TemplateRouter &sw) { return sw.DevDirectTake(2, 0); },
         Frame('R', 2, 1),
         2,
         {0, 1}},
        {"without clamping the entry goes as given",
         Unclamped(),
         [](TemplateRouter &sw) { return sw.DevDirectTake(1, 20); },
         Frame('R', 1, 20),
         1,
         {0, 20}},
        {"the take routes the preset entry the base holds, not held to range",
         RouterOptions(),
         presetAt(40),
         Frame('R', 1, 40),
         1,
         {0, 40}},
        {"a sent preset",
         RouterOptions(Open::Plain, Preset::Sent),
         [](TemplateRouter &sw) { return sw.DevPreset(1, 30); },
         Frame('P', 1, 16),
         1,
         {16, 0}},
        {"a kept preset is only kept, held to the sources",
         RouterOptions(Open::Plain, Preset::Kept),
         [](TemplateRouter &sw) { return sw.DevPreset(1, 30); },
         {},
         1,
         {16, 0}},
        {"the base's preset keeps the entry as given",
         RouterOptions(),
         [](TemplateRouter &sw) { return sw.DevPreset(1, 30); },
         {},
         1,
         {30, 0}},
    };
    int port = 151;
    for (const Case &c : cases) {
        PlainLine line(plat::SerialPortKind::COM, port);
        MountedSettings settings(RouterSetting("TR", port));
        ++port;
        TemplateRouter sw(c.options);
        ASSERT_TRUE(Init(sw, "TR")) << c.what;
        ASSERT_EQ(sw.DevOpen(), 1) << c.what;
        EXPECT_EQ(c.command(sw), 1) << c.what;
        if (c.sent.empty())
            EXPECT_FALSE(line.Peer().WaitForBytes(1, 200)) << c.what << ": nothing goes out";
        else
            EXPECT_TRUE(line.Got(c.sent)) << c.what;
        EXPECT_EQ(BaseEntries(sw, c.channel), c.entries) << c.what;
    }
}

TEST(SwitchTemplate, ACommandThatDoesNotGoOutLeavesTheEntriesAndIsLogged)
{
    PlainLine line(plat::SerialPortKind::COM, 160);
    MountedSettings settings(RouterSetting("TR", 160));
    DebugOn debug;
    LogCapture log(kLogType);
    TemplateRouter sw(RouterOptions(Open::Plain, Preset::Sent));
    ASSERT_TRUE(Init(sw, "TR"));

    EXPECT_EQ(sw.DevDirectTake(3, 5), 0) << "a channel the base does not keep";
    EXPECT_EQ(sw.DevPreset(3, 5), 0);
    EXPECT_EQ(sw.DevTake(3), 0);
    EXPECT_FALSE(line.Peer().WaitForBytes(1, 200)) << "refused before anything went out";
    EXPECT_EQ(sw.DevIsOpen(), 0) << "not even the port opened for them";
    EXPECT_EQ(log.Count(), 0u) << "nothing was tried, nothing logged";

    EXPECT_EQ(sw.DevDirectTake(1, 5), 1);
    EXPECT_TRUE(line.Got(Frame('R', 1, 5)));
    const std::string name = sw.GetInstanceName();
    EXPECT_TRUE(log.Has("(" + std::string(8 - name.size(), ' ') + name + ") DirectTake(OK)"))
        << name;

    line.Peer().HangUp();
    log.Clear();
    ASSERT_EQ(sw.CVideoSwitchA::DevPreset(1, 9), 1);
    EXPECT_EQ(sw.DevDirectTake(1, 7), 0);
    EXPECT_EQ(sw.DevPreset(1, 8), 0);
    EXPECT_EQ(sw.DevTake(1), 0);
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{9, 5})) << "the base is told of none of them";
    const std::string head = "(" + std::string(8 - name.size(), ' ') + name + ") ";
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{head + "DirectTake(failed)", head + "Preset(Failed)",
                                        head + "Take(Failed)"}));
}

TEST(SwitchTemplate, OpensTheirLineAsTheOptionsSay)
{
    struct Case {
        const char *what;
        Open open;
        bool bound; // the line is there
        bool passCheck;
        int opened;
        int32_t status;
        const char *text; // "": the status's own text
        int checks;
        int openAfter;
    };
    const Case cases[] = {
        {"plain: the own port", Open::Plain, true, false, 1, DEVSTATUS_NORMAL, "", 0, 1},
        {"plain: a port that will not open", Open::Plain, false, true, 0, DEVSTATUS_COM_OPEN_FAILED,
         "", 0, 0},
        {"own: checked", Open::Own, true, true, 1, DEVSTATUS_NORMAL, "", 1, 1},
        {"own: a check that fails closes the port again", Open::Own, true, false, 0,
         DEVSTATUS_RUN_FAILED, "Open device failed", 1, 0},
        {"own: a port that will not open is not checked", Open::Own, false, true, 0,
         DEVSTATUS_COM_OPEN_FAILED, "", 0, 0},
        {"shared: the own line is checked", Open::Shared, true, false, 0, DEVSTATUS_RUN_FAILED,
         "Open device failed", 1, 0},
        {"shared: no line", Open::Shared, false, true, 0, DEVSTATUS_COM_OPEN_FAILED, "", 0, 0},
    };
    int port = 161;
    for (const Case &c : cases) {
        std::unique_ptr<PlainLine> line;
        if (c.bound) line = ComLine(port);
        MountedSettings settings(RouterSetting("TR", c.bound ? port : 199));
        ++port;
        TemplateRouter sw(RouterOptions(c.open));
        sw.passCheck = c.passCheck;
        ASSERT_TRUE(Init(sw, "TR")) << c.what;
        EXPECT_EQ(sw.DevOpen(), c.opened) << c.what;
        EXPECT_EQ(sw.GetDevStatus().nCode, c.status) << c.what;
        if (*c.text) {
            EXPECT_EQ(sw.GetDevStatus().GetText(), CString(c.text)) << c.what;
        }
        EXPECT_EQ(sw.checks, c.checks) << c.what;
        EXPECT_EQ(sw.Protocol().DevIsOpen(), c.openAfter) << c.what;
        if (c.open != Open::Plain && c.opened) {
            sw.SetDevStatus(DEVSTATUS_RUN_FAILED);
            EXPECT_EQ(sw.DevOpen(), 1) << c.what << ": open already";
            EXPECT_EQ(sw.checks, c.checks) << c.what << ": not checked again";
        }
    }
}

TEST(SwitchTemplate, DevicesOnOneLineShareTheOwnersProtocolObject)
{
    auto line = ComLine(170);
    MountedSettings settings(RouterSetting("TR", 170));
    for (const bool isOpenShares : {false, true}) {
        Options options = RouterOptions(Open::Shared);
        options.isOpenShares = isOpenShares;
        TemplateRouter owner(options), sharer(options);
        ASSERT_TRUE(Init(owner, "TR"));
        ASSERT_TRUE(Init(sharer, "TR"));
        ASSERT_EQ(owner.DevOpen(), 1);
        EXPECT_EQ(sharer.DevOpen(), 1) << "the owner's line is taken as it is";
        EXPECT_EQ(sharer.GetDevStatus().nCode, DEVSTATUS_NORMAL);
        EXPECT_EQ(owner.checks + sharer.checks, 1) << "only the owner's own port is checked";
        EXPECT_EQ(sharer.Protocol().DevIsOpen(), 0) << "the sharer's own port stays closed";
        EXPECT_EQ(sharer.DevIsOpen(), isOpenShares ? 1 : 0);

        EXPECT_EQ(sharer.DevDirectTake(2, 4), 1);
        EXPECT_TRUE(line->Got(Frame('R', 2, 4))) << "through the owner's object";
        EXPECT_EQ(BaseEntries(sharer, 2).pgm, 4);
        EXPECT_EQ(BaseEntries(owner, 2).pgm, 0) << "each device keeps its own entries";
        EXPECT_EQ(sharer.DevClose(), 1);
        EXPECT_EQ(owner.Protocol().DevIsOpen(), 1) << "a sharer's close leaves the line open";
    }
}

TEST(SwitchTemplate, PortKeysInTheModelsCase)
{
    struct Case {
        const char *what;
        const char *portKey;
        int portDefault;
        std::string setting;
        int port;
    };
    const Case cases[] = {
        {"\"COM\"", "COM", -1, Section("TR", {{"COM", "7"}}), 7},
        {"\"Com\"", "Com", -1, Section("TR", {{"Com", "8"}}), 8},
        {"a key in another case is the same key", "Com", -1, Section("TR", {{"COM", "9"}}), 9},
        {"a missing key keeps the line's port", "COM", -1, Section("TR", {{"Baud", "9"}}),
         kLinePort},
        {"a missing key gives the model's default", "COM", 2, Section("TR", {}), 2},
        {"a number that does not fit changes nothing", "COM", -1, Section("TR", {{"COM", "70000"}}),
         kLinePort},
    };
    for (const Case &c : cases) {
        MountedSettings settings(c.setting);
        Options options = RouterOptions();
        options.portKey = c.portKey;
        options.portDefault = c.portDefault;
        TemplateRouter sw(options);
        ASSERT_TRUE(Init(sw, "TR")) << c.what;
        EXPECT_EQ(sw.Protocol().GetPortNumber(), c.port) << c.what;
    }
}
