// The keyer base: key numbers by function, the main/backup mode, the key task interface and
// the base's take.
#include "tests/keyers/KeyerTestKit.h"

#include "drivers/model/DeviceCalls.h"
#include "drivers/switchers/keyers/CVideoKeyDriverA.h"
#include "drivers/tasks/IVideoBroTaskProcess.h"

#include <chrono>
#include <future>
#include <memory>

using namespace keytest;

namespace {

const char *kShareBus = "#OVRA_DEV_SHARE";

std::string KeyerSettings()
{
    return Settings(true, devtest::Section("KEYA", {{"class", "CStubKeyer"},
                                                    {"Keyer", "2"},
                                                    {"Logo", "3"},
                                                    {"Title", "4"},
                                                    {"Time", "5"},
                                                    {"Virtual", "TRUE"}}) +
                              devtest::Section("KEYB", {{"class", "CStubKeyer"},
                                                        {"Virtual", "TRUE"},
                                                        {"Exchange", "TRUE"}}));
}

class KeyerBaseTest : public KeyerTest {
protected:
    KeyerBaseTest() : KeyerTest(KeyerSettings()) {}

    // A keyer initialised from the setting `path`.
    static std::unique_ptr<CStubKeyer> Init(const char *path)
    {
        auto keyer = std::make_unique<CStubKeyer>();
        keyer->SetSettingInfo(path);
        EXPECT_EQ(keyer->OnInitInstance(), 1);
        return keyer;
    }

    static void PostVirtual(const char *value)
    {
        glReportLog(kShareBus, (std::string("<Virtual = \"") + value + "\">").c_str(), "");
    }

    kit::LogCapture debugLog{"#Log_debug", LOG_MODE_PATTERN};
};

TEST_F(KeyerBaseTest, FunctionKeysComeFromSettingsAndPlainTasksKeepTheirOwn)
{
    auto keyer = Init("/etc/tvx/KEYA");
    EXPECT_EQ(keyer->GetKeyerKey(), 2);
    const tagVideoKeyTask logo = KeyTask(1, "", 0, KEYTASK_FUNC_LOGO, "", 99);
    const tagVideoKeyTask title = KeyTask(2, "", 0, KEYTASK_FUNC_TITLE, "", 99);
    const tagVideoKeyTask time = KeyTask(3, "", 0, KEYTASK_FUNC_TIME, "", 99);
    const tagVideoKeyTask plain = KeyTask(4, "", 0, 300, "", 99);
    EXPECT_EQ(keyer->GetKeyID(&logo), 3);
    EXPECT_EQ(keyer->GetKeyID(&title), 4);
    EXPECT_EQ(keyer->GetKeyID(&time), 5);
    EXPECT_EQ(keyer->GetKeyID(&plain), 99);

    auto defaults = Init("/etc/tvx/KEY1");
    EXPECT_EQ(defaults->GetKeyID(&logo), 1);
    EXPECT_EQ(defaults->GetKeyerKey(), 1);
}

TEST_F(KeyerBaseTest, WithoutExchangeTheShareBusIsIgnoredAndVirtualIsFalse)
{
    auto keyer = Init("/etc/tvx/KEYA");
    EXPECT_FALSE(keyer->IsVirtual()) << "Virtual=TRUE without Exchange";
    auto follower = Init("/etc/tvx/KEYB");
    EXPECT_TRUE(follower->IsVirtual());

    PostVirtual("FALSE");
    ASSERT_TRUE(Eventually([&] { return !follower->IsVirtual(); }));
    PostVirtual("TRUE");
    ASSERT_TRUE(Eventually([&] { return follower->IsVirtual(); }));
    EXPECT_FALSE(keyer->IsVirtual());
    EXPECT_EQ(keyer->virtualCalls, 0);
    EXPECT_EQ(follower->virtualCalls, 2) << "through the overridable slot";
    devtest::ExpectStrayShareMessagesIgnored([&] { return follower->IsVirtual(); });
    EXPECT_EQ(follower->virtualCalls, 2) << "stray messages reach no slot";
}

TEST_F(KeyerBaseTest, ACopyFollowsTheShareBusOnItsOwnAfterTheOriginalHasGone)
{
    auto original = Init("/etc/tvx/KEYB");
    auto copy = std::make_unique<CVideoKeyCtrlA>(*original);
    EXPECT_TRUE(copy->IsExchange());
    EXPECT_TRUE(copy->IsVirtual());
    original.reset();

    PostVirtual("FALSE");
    EXPECT_TRUE(Eventually([&] { return !copy->IsVirtual(); }));

    CVideoKeyCtrlA assigned;
    assigned = *copy;
    copy.reset();
    PostVirtual("TRUE");
    EXPECT_TRUE(Eventually([&] { return assigned.IsVirtual(); }));
}

TEST_F(KeyerBaseTest, AnswersTheKeyTaskInterfaceOnly)
{
    CVideoKeyCtrl_Example example;
    EXPECT_TRUE(example.IsKindOf(CVideoKeyCtrlA::GetClassID()));
    EXPECT_NE(example.GetObjectRtc(), CVideoKeyCtrlA::GetClassID());

    void *answer = nullptr;
    EXPECT_EQ(example.QueryInterface(&IID_IVideoKeyTaskProcess, &answer), S_OK);
    ASSERT_EQ(answer, static_cast<IVideoKeyTaskProcess *>(&example));
    CVideoKeyTaskArray tasks;
    auto *process = static_cast<IVideoKeyTaskProcess *>(answer);
    EXPECT_EQ(process->DevTaskTake(tasks.Get()), 1);
    EXPECT_EQ(process->DevTaskPreset(tasks.Get()), 1);

    answer = &example;
    example.QueryInterface(&IID_IVideoBroTaskProcess, &answer);
    EXPECT_EQ(answer, nullptr);
}

TEST_F(KeyerBaseTest, DirectTakeWaitsForTheFirstStartThenLogsKeyAndOperation)
{
    CVideoKeyCtrlA keyer;
    CVideoKeyTaskArray tasks;
    EXPECT_EQ(keyer.DevTaskDirectTake(tasks.Get()), 0);
    glReportLog("#Log_debug", "mark", "");
    ASSERT_TRUE(Eventually([&] { return debugLog.Has("mark"); }));
    EXPECT_EQ(debugLog.Count(), 1u) << "an empty group neither beeps nor logs";
    debugLog.Clear();

    const int64_t start = Now() + 2 * kSecond;
    tasks->Add(KeyTask(1, "KEY1", start, 0, "", 6, 1));
    tasks->Add(KeyTask(2, "KEY1", start + kSecond, 0, "", 8, 0));
    // The time the take returned, read on its own thread: the test's clock steps go on a little
    // after it has returned.
    int64_t returned = 0;
    EXPECT_EQ(devtest::RunAdvancing([&] {
                  const int result = keyer.DevTaskDirectTake(tasks.Get());
                  returned = Now();
                  return result;
              }),
              0);
    EXPECT_GE(returned, start);
    EXPECT_LT(returned, start + kSecond) << "waits for the first task only";
    ASSERT_TRUE(Eventually([&] { return debugLog.Count() == 1; }));
    EXPECT_EQ(debugLog.Lines(), std::vector<std::string>{"nkey= 6,nop=1"});

    // A start that has passed is taken at once: only the beep's length goes by.
    tasks->RemoveAll();
    tasks->Add(KeyTask(3, "KEY1", Now() - 60 * kSecond, 0, "", 2, 0));
    const int64_t before = Now();
    devtest::RunAdvancing([&] { return keyer.DevTaskDirectTake(tasks.Get()); });
    EXPECT_LT(Now() - before, 2 * kSecond) << "the beep's length, not a wait";
    EXPECT_TRUE(Eventually([&] { return debugLog.Has("nkey= 2,nop=0"); }));
}

// A keyer driver with its waits in reach.
class CWaitingKeyer : public CVideoKeyDriverA {
public:
    CWaitingKeyer() : CVideoKeyDriverA("LVAUX_KEYER", "") {}
    using CVideoKeyDriverA::Pause;
    using CVideoKeyDriverA::WaitForStart;
};

enum class KeyerWait { DirectTake, WaitForStart, Pause };
enum class WaitEnd { Close, Deactivation, UnitStop };

struct WaitEndCase {
    KeyerWait wait;
    WaitEnd end;
};

TEST_F(KeyerBaseTest, ACloseADeactivationOrTheUnitsStopEndsAWaitOfTheKeyerAtOnce)
{
    const WaitEndCase cases[] = {
        {KeyerWait::DirectTake, WaitEnd::Close},
        {KeyerWait::DirectTake, WaitEnd::Deactivation},
        {KeyerWait::DirectTake, WaitEnd::UnitStop},
        {KeyerWait::WaitForStart, WaitEnd::Close},
        {KeyerWait::WaitForStart, WaitEnd::UnitStop},
        {KeyerWait::Pause, WaitEnd::Close},
        {KeyerWait::Pause, WaitEnd::UnitStop},
    };
    for (const WaitEndCase &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.wait) * 10 + static_cast<int>(c.end));
        debugLog.Clear();
        CWaitingKeyer keyer;
        CCallingUnit unit;
        CVideoKeyTaskArray tasks;
        tasks->Add(KeyTask(1, "KEY1", Now() + 60 * kSecond, 0, "", 6, 1));
        // Whether the wait went by to its end; the clock stands meanwhile.
        auto waited = std::async(std::launch::async, [&] {
            CCallingUnit::Scope bound(&unit);
            switch (c.wait) {
            case KeyerWait::DirectTake:
                keyer.DevTaskDirectTake(tasks.Get());
                return debugLog.Has("nkey= 6,nop=1");
            case KeyerWait::WaitForStart:
                return keyer.WaitForStart(*tasks->GetPtrAt(0), 0);
            case KeyerWait::Pause:
                return keyer.Pause(60000);
            }
            return true;
        });
        // Ended until the wait returns: an end only reaches the waits already begun.
        const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (waited.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready &&
               std::chrono::steady_clock::now() < bound) {
            if (c.end == WaitEnd::Close) keyer.DevClose();
            if (c.end == WaitEnd::Deactivation) keyer.OnDeactiveInstance();
            if (c.end == WaitEnd::UnitStop) unit.AskStop();
        }
        const bool ended = waited.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        EXPECT_TRUE(ended) << "the wait went on with the clock standing";
        if (!ended)
            devtest::AdvanceUntil(
                [&] {
                    return waited.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
                },
                1000, 120000);
        EXPECT_FALSE(waited.get()) << "the take went on";
        devtest::PatternReadersCaughtUp();
        EXPECT_FALSE(debugLog.Has("nkey= 6,nop=1"));
    }
}

} // namespace
