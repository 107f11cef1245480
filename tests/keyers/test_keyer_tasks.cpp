// Key tasks driving each serial keyer end to end: the key task unit finds the keyer through
// the device manager (which creates it from its setting and opens its line), and at the task's
// time the keyer's command reaches the simulated keyer; keyers of several channels each get
// their own tasks, also from a list that comes late.
#include "tests/keyers/KeyerDriverKit.h"
#include "tests/keyers/KeyerTestKit.h"

#include "drivers/tasks/CVideoKeyTaskTMU.h"
#include "drivers/tasks/CVideoKeyTaskTPU.h"

#include <deque>
#include <string>
#include <vector>

using namespace devtest;
using namespace keydrv;
using Model = kestsim::KeyerSim::Model;

namespace {

// A ShiHui keyer on board port `port` whose logo, caption and clock are keys 3, 4 and 5.
std::string ShiHui(const char *name, int port)
{
    return Section(name, {{"class", "CVideoAux_ShiHui"},
                          {"DeviceTypeId", "LVAUX_KEYER"},
                          {"COM", std::to_string(port)},
                          {"Logo", "3"},
                          {"Title", "4"},
                          {"Time", "5"}});
}

int KeyOf(int32_t functype)
{
    return static_cast<int>(functype - KEYTASK_FUNC_LOGO + 3);
}

} // namespace

TEST(KeyerTasks, AKeyTaskReachesEachKeyerAtItsTime)
{
    struct Case {
        const char *keyerClass;
        plat::SerialPortKind kind;
        int port;
        Model model;
        const char *keys; // the keyer's settings beside class, type and port
        int32_t functype;
        kestsim::KeyerSim::Command command;
        const char *report; // "#OVRA_KEY", or none
    };
    const std::vector<Case> cases{
        {"CVideoAux_DSK50D",
         kCom,
         27,
         Model::Dsk50d,
         "KeyArray=4,6\r\nTitle=2\r\nnRetryTime=1\r\n",
         KEYTASK_FUNC_TITLE,
         {6, true},
         nullptr},
        {"CVideoAux_ShiHui",
         kSio,
         47,
         Model::ShiHui,
         "Title=7\r\n",
         KEYTASK_FUNC_TITLE,
         {7, true},
         "STATUS = \"1\",FUNCTYPE =\"257\""},
        {"CVideoAux_TrikKey",
         kSio,
         48,
         Model::TrikKey,
         "",
         KEYTASK_FUNC_TITLE,
         {3, true},
         "STATUS = \"1\",FUNCTYPE =\"257\""},
    };
    for (const Case &c : cases) {
        ManualTime time;
        DebugOn debug;
        KeyerLine line(c.kind, c.port, c.model);
        const std::string port = std::to_string(c.port);
        keytest::PrivateSettings settings(
            Section("DevMgr", {{"VideoAux", R"({"KEY1"})"}}) +
            Section("KEY1",
                    {{"class", c.keyerClass}, {"DeviceTypeId", "LVAUX_KEYER"}, {"COM", port}}) +
            c.keys);
        LogCapture keyLog("#OVRA_KEY");
        CVideoDevMgr devMgr;
        devMgr.Initlization("/etc/tvx/DevMgr");
        DeleteDevices cleanup({"KEY1"});

        CVideoKeyTaskTMU tmu;
        const int64_t start = ManualTime::Now() + 3 * kSecond;
        ASSERT_EQ(tmu->AddTask(keytest::KeyTask(1, "KEY1", start, c.functype, "AUTO", 3, 1)), 1)
            << c.keyerClass;
        ASSERT_TRUE(AdvanceUntil([&] { return !line.Sim().Commands().empty(); })) << c.keyerClass;
        // The wait to the start counts whole milliseconds of the tick clock.
        EXPECT_GE(ManualTime::Now() + kMs, start) << c.keyerClass;
        EXPECT_EQ(line.Sim().Commands().front(), c.command) << c.keyerClass;
        ASSERT_TRUE(AdvanceUntil([&] { return tmu->GetTPU()->IsRunning() == 0; })) << c.keyerClass;
        EXPECT_EQ(tmu->GetTaskCount(), 0) << c.keyerClass;
        if (c.report)
            EXPECT_EQ(keyLog.Lines(), std::vector<std::string>{c.report}) << c.keyerClass;
        else
            EXPECT_EQ(keyLog.Count(), 0u) << c.keyerClass;
    }
}

TEST(KeyerTasks, TasksOfTwoKeyersAtTheSameTimeEachGoOnAir)
{
    const int32_t keys[] = {KEYTASK_FUNC_LOGO, KEYTASK_FUNC_TITLE, KEYTASK_FUNC_TIME};
    for (const int32_t functype : keys) {
        ManualTime time;
        DebugOn debug;
        KeyerLine first(kSio, 51, Model::ShiHui);
        KeyerLine second(kSio, 52, Model::ShiHui);
        keytest::PrivateSettings settings(Section("DevMgr", {{"VideoAux", R"({"KEY1","KEY2"})"}}) +
                                          ShiHui("KEY1", 51) + ShiHui("KEY2", 52));
        CVideoDevMgr devMgr;
        devMgr.Initlization("/etc/tvx/DevMgr");
        DeleteDevices cleanup({"KEY1", "KEY2"});

        CVideoKeyTaskTMU tmu;
        const int64_t start = ManualTime::Now() + 3 * kSecond;
        ASSERT_EQ(tmu->AddTask(keytest::KeyTask(1, "KEY1", start, functype, "AUTO", 1, 1)), 1);
        ASSERT_EQ(tmu->AddTask(keytest::KeyTask(2, "KEY2", start, functype, "AUTO", 1, 1)), 1);
        ASSERT_TRUE(AdvanceUntil([&] {
            return !first.Sim().Commands().empty() && !second.Sim().Commands().empty();
        })) << "functype "
            << functype;
        const kestsim::KeyerSim::Command on{KeyOf(functype), true};
        EXPECT_EQ(first.Sim().Commands(), std::vector<kestsim::KeyerSim::Command>{on});
        EXPECT_EQ(second.Sim().Commands(), std::vector<kestsim::KeyerSim::Command>{on});
        ASSERT_TRUE(AdvanceUntil([&] { return tmu->GetTPU()->IsRunning() == 0; }));

        // On one keyer the rule stands: an automatic task no later than the last one it was
        // handed is skipped.
        ASSERT_EQ(tmu->AddTask(keytest::KeyTask(3, "KEY1", start, functype, "AUTO", 1, 0)), 1);
        ASSERT_TRUE(AdvanceUntil([&] { return tmu->GetTPU()->IsRunning() == 0; }));
        EXPECT_EQ(tmu->GetTaskCount(), 0);
        EXPECT_EQ(first.Sim().Commands().size(), 1u) << "functype " << functype;
    }
}

TEST(KeyerTasks, AListThatComesLateKeepsTheLatestPastTaskOfEachKeyer)
{
    const int32_t keys[] = {KEYTASK_FUNC_LOGO, KEYTASK_FUNC_TITLE, KEYTASK_FUNC_TIME};
    for (const int32_t functype : keys) {
        ManualTime time;
        DebugOn debug;
        const int ports[] = {28, 29, 30};
        std::deque<KeyerLine> lines;
        std::string aux, keyers;
        for (const int port : ports) {
            lines.emplace_back(kSio, port, Model::ShiHui);
            const std::string name = "KEY" + std::to_string(port);
            aux += (aux.empty() ? "{\"" : ",\"") + name + "\"";
            keyers += ShiHui(name.c_str(), port);
        }
        keytest::PrivateSettings settings(Section("DevMgr", {{"VideoAux", aux + "}"}}) + keyers);
        CVideoDevMgr devMgr;
        devMgr.Initlization("/etc/tvx/DevMgr");
        DeleteDevices cleanup({"KEY28", "KEY29", "KEY30"});

        // Each channel's key went off 20 s ago and on again 10 s ago: only the last counts.
        const int64_t now = ManualTime::Now();
        std::vector<tagVideoKeyTask> tasks;
        for (const int port : ports) {
            const std::string name = "KEY" + std::to_string(port);
            tasks.push_back(
                keytest::KeyTask(port, name.c_str(), now - 20 * kSecond, functype, "", 1, 0));
            tasks.push_back(
                keytest::KeyTask(port + 100, name.c_str(), now - 10 * kSecond, functype, "", 1, 1));
        }
        std::vector<tagVideoKeyTask *> list;
        for (tagVideoKeyTask &task : tasks) list.push_back(&task);
        list.push_back(nullptr);
        CVideoKeyTaskTMU tmu;
        ASSERT_EQ(tmu->SubmitTaskList(list.data(), "AUTO"), 6);
        ASSERT_TRUE(AdvanceUntil([&] {
            return tmu->GetTaskCount() == 0 && tmu->GetTPU()->IsRunning() == 0;
        })) << "functype "
            << functype;
        const std::vector<kestsim::KeyerSim::Command> on{{KeyOf(functype), true}};
        for (KeyerLine &line : lines)
            EXPECT_EQ(line.Sim().Commands(), on) << "functype " << functype;
    }
}
