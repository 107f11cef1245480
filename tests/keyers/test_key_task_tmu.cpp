// The key task management unit and its process unit: keyer assignment, configuration, order,
// the outdated-caption rules, the hand-out window and the worker that serves the keyers.
#include "tests/keyers/KeyerTestKit.h"

#include "drivers/tasks/CVideoKeyTaskTMU.h"
#include "drivers/tasks/CVideoKeyTaskTPU.h"

#include "KestLib20/CFileTime.h"

#include <gmock/gmock.h>

#include <optional>

using namespace keytest;

namespace {

std::string TimeText(int64_t time)
{
    char text[CFileTime::kDateTimeTextSize];
    return CFileTime(time / kMs * kMs).GetAsString(text);
}

bool HasLine(devtest::LogCapture &log, const std::string &line)
{
    return log.Has(line);
}

class KeyTaskTest : public KeyerTest {
protected:
    explicit KeyTaskTest(const std::string &settings = Settings()) : KeyerTest(settings) {}

    // A unit whose worker never runs, so that the test hands the tasks out itself.
    static CVideoKeyTaskTMU StepOnly()
    {
        CVideoKeyTaskTMU tmu;
        tmu->GetTPU()->ShutDown();
        return tmu;
    }
    static std::vector<tagVideoKeyTask> Tasks(CVideoKeyTaskTMU &tmu)
    {
        std::vector<tagVideoKeyTask> tasks(static_cast<size_t>(tmu->GetTaskCount()));
        for (size_t i = 0; i < tasks.size(); ++i) tmu->GetTaskAt(static_cast<int32_t>(i), tasks[i]);
        return tasks;
    }
    static std::vector<int32_t> Ids(IVideoKeyTaskArray &tasks)
    {
        std::vector<int32_t> ids;
        for (int32_t i = 0; i < tasks.GetCount(); ++i) ids.push_back(tasks.GetPtrAt(i)->TaskID);
        return ids;
    }
    static std::vector<int32_t> Ids(CVideoKeyTaskTMU &tmu)
    {
        std::vector<int32_t> ids;
        for (const tagVideoKeyTask &task : Tasks(tmu)) ids.push_back(task.TaskID);
        return ids;
    }

    kit::LogCapture titleLog{"Log_Title", LOG_MODE_PATTERN};
};

TEST_F(KeyTaskTest, AssignsTheFirstKeyerOfTheFunctionsExactTypeThenFillsFromConfiguration)
{
    CVideoKeyTaskTMU tmu = StepOnly();
    const int64_t at = Now() + 60 * kSecond;
    EXPECT_EQ(tmu->AddTask(KeyTask(1, "", at, KEYTASK_FUNC_TITLE)), 1);
    EXPECT_EQ(tmu->AddTask(KeyTask(2, "", at + kSecond, KEYTASK_FUNC_TIME)), 1);
    EXPECT_EQ(tmu->AddTask(KeyTask(3, "KEY1", at + 2 * kSecond, KEYTASK_FUNC_LOGO, "", 200)), 1);
    EXPECT_EQ(tmu->AddTask(KeyTask(4, "KEY1", at + 3 * kSecond, KEYTASK_FUNC_LOGO, "", 3)), 1);
    EXPECT_EQ(tmu->AddTask(KeyTask(5, "KEY1", at + 4 * kSecond, 0, "", 200)), 1);

    const auto tasks = Tasks(tmu);
    ASSERT_EQ(tasks.size(), 5u);
    EXPECT_STREQ(tasks[0].DevID, "TITLE1") << "not TITLEX, whose type only begins alike";
    EXPECT_STREQ(tasks[1].DevID, "KEY1") << "no clock inserter: the first plain keyer";
    EXPECT_STREQ(tasks[2].DevID, "KEY2") << "key 200 is taken from the LOGO entry";
    EXPECT_EQ(tasks[2].nKey, 7);
    EXPECT_STREQ(tasks[3].DevID, "KEY1");
    EXPECT_EQ(tasks[3].nKey, 3);
    EXPECT_STREQ(tasks[4].DevID, "KEY1") << "no entry for plain keyer tasks";
    EXPECT_EQ(tasks[4].nKey, 200);
    for (const tagVideoKeyTask &task : tasks) EXPECT_EQ(task.Status, KEYTASK_BEGIN);
}

class NoTitleKeyerTest : public KeyTaskTest {
protected:
    NoTitleKeyerTest() : KeyTaskTest(Settings(false)) {}
};

TEST_F(NoTitleKeyerTest, ACaptionWithoutCaptionDevicesFallsBackToTheFirstKeyer)
{
    CVideoKeyTaskTMU tmu = StepOnly();
    EXPECT_EQ(tmu->AddTask(KeyTask(1, "", Now() + 60 * kSecond, KEYTASK_FUNC_TITLE)), 1);
    EXPECT_STREQ(Tasks(tmu).at(0).DevID, "KEY1");
}

class NoKeyerTest : public KeyTaskTest {
protected:
    NoKeyerTest() : KeyTaskTest(devtest::Section("DevMgr", {{"VideoSwitch", R"({"SW1"})"}})) {}
};

TEST_F(NoKeyerTest, ATaskWithoutAnyKeyerIsNotAdded)
{
    CVideoKeyTaskTMU tmu = StepOnly();
    EXPECT_EQ(tmu->AddTask(KeyTask(1, "", Now() + 60 * kSecond, KEYTASK_FUNC_TITLE)), 0);
    tagVideoKeyTask withDev = KeyTask(2, "KEYZ", Now() + 60 * kSecond, KEYTASK_FUNC_TITLE);
    tagVideoKeyTask *list[] = {&withDev, &withDev, nullptr};
    withDev.DevID = "";
    EXPECT_EQ(tmu->SubmitTaskList(list, "AUTO"), 0);
    EXPECT_EQ(tmu->GetTaskCount(), 0);
}

TEST_F(KeyTaskTest, SortsByMillisecondThenKeyerAndHandsOutOneKeyerAndTimeAtOnce)
{
    CVideoKeyTaskTMU tmu = StepOnly();
    const int64_t at = (Now() + 2 * kSecond) / kMs * kMs;
    tmu->AddTask(KeyTask(1, "KEY2", at + 9999, KEYTASK_FUNC_TITLE)); // same millisecond
    tmu->AddTask(KeyTask(2, "KEY1", at + 5000, 0));
    tmu->AddTask(KeyTask(3, "KEY2", at, KEYTASK_FUNC_TITLE));
    tmu->AddTask(KeyTask(4, "KEY1", at + kSecond, 0));
    const auto ids = Ids(tmu);
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_EQ(ids[0], 2) << "KEY1 before KEY2 in the same millisecond";
    EXPECT_EQ(ids[3], 4);
    EXPECT_EQ(Tasks(tmu)[1].StartTime, at) << "cut to whole milliseconds";

    CVideoKeyTaskArray out;
    ASSERT_EQ(tmu->GetPgmTask(out.Get()), 1);
    EXPECT_EQ(Ids(*out.Get()), std::vector<int32_t>{2});
    ASSERT_EQ(tmu->GetPgmTask(out.Get()), 1);
    EXPECT_THAT(Ids(*out.Get()), ::testing::UnorderedElementsAre(1, 3)) << "two captions, one call";
    ASSERT_EQ(tmu->GetPgmTask(out.Get()), 1);
    EXPECT_EQ(Ids(*out.Get()), std::vector<int32_t>{4});
    EXPECT_EQ(tmu->GetPgmTask(out.Get()), 0);
    EXPECT_EQ(out->GetCount(), 0);
}

TEST_F(KeyTaskTest, HandsOutATaskLessThanFiveWholeSecondsAhead)
{
    CVideoKeyTaskTMU tmu = StepOnly();
    tmu->AddTask(KeyTask(1, "KEY1", Now() + 5 * kSecond + kMs, 0));
    CVideoKeyTaskArray out;
    EXPECT_EQ(tmu->GetPgmTask(out.Get()), 0);
    EXPECT_EQ(tmu->GetTaskCount(), 1);
    plat::TestClock::Advance(100);
    ASSERT_EQ(tmu->GetPgmTask(out.Get()), 1) << "4.9 s ahead";
    EXPECT_EQ(Ids(*out.Get()), std::vector<int32_t>{1});
    EXPECT_EQ(tmu->GetTaskCount(), 0);
}

TEST_F(KeyTaskTest, SkipsACaptionOlderThanTheLastHandedOutUnlessTheOperatorMadeIt)
{
    CVideoKeyTaskTMU tmu = StepOnly();
    const int64_t at = Now() + kSecond;
    CVideoKeyTaskArray out;
    tmu->AddTask(KeyTask(1, "KEY1", at, KEYTASK_FUNC_TITLE));
    ASSERT_EQ(tmu->GetPgmTask(out.Get()), 1);

    tmu->AddTask(KeyTask(2, "KEY1", at - kSecond, KEYTASK_FUNC_TITLE, "GUI"));
    tmu->AddTask(KeyTask(3, "KEY1", at - 2 * kSecond, KEYTASK_FUNC_TITLE, "AUTO"));
    tmu->AddTask(KeyTask(4, "KEY1", at, KEYTASK_FUNC_LOGO, "AUTO"));
    ASSERT_EQ(tmu->GetPgmTask(out.Get()), 1);
    EXPECT_EQ(Ids(*out.Get()), std::vector<int32_t>{2}) << "3 skipped, the GUI task kept";
    ASSERT_EQ(tmu->GetPgmTask(out.Get()), 1);
    EXPECT_EQ(Ids(*out.Get()), std::vector<int32_t>{4}) << "another function has its own time";
    EXPECT_TRUE(Eventually([&] {
        return HasLine(titleLog, "GetPgmTask Auto skip Title task, starttime = " +
                                     TimeText(at - 2 * kSecond) + ",functype=257");
    })) << ::testing::PrintToString(titleLog.Lines());

    // A GUI task handed out sets no time: an automatic one just after it still goes.
    tmu->AddTask(KeyTask(5, "KEY1", at + kSecond, KEYTASK_FUNC_TIME, "GUI"));
    tmu->AddTask(KeyTask(6, "KEY2", at + kSecond, KEYTASK_FUNC_TIME, "AUTO"));
    ASSERT_EQ(tmu->GetPgmTask(out.Get()), 1);
    ASSERT_EQ(tmu->GetPgmTask(out.Get()), 1);
    EXPECT_EQ(Ids(*out.Get()), std::vector<int32_t>{6});
}

TEST_F(KeyTaskTest, SubmittingKeepsOnlyTheLatestPastCaptionOfEachFunction)
{
    CVideoKeyTaskTMU tmu = StepOnly();
    const int64_t now = Now();
    tmu->AddTask(KeyTask(9, "KEY1", now + 60 * kSecond, 0, "OTHER"));
    tmu->AddTask(KeyTask(8, "KEY1", now + 60 * kSecond, 0, "AUTO"));
    std::vector<tagVideoKeyTask> tasks = {
        KeyTask(1, "KEY1", now - 30 * kSecond, KEYTASK_FUNC_TITLE),
        KeyTask(2, "KEY1", now - 10 * kSecond, KEYTASK_FUNC_TITLE),
        KeyTask(3, "KEY1", now - 20 * kSecond, KEYTASK_FUNC_TITLE),
        KeyTask(4, "KEY1", now - 40 * kSecond, KEYTASK_FUNC_LOGO),
        KeyTask(5, "KEY1", now - 50 * kSecond, KEYTASK_FUNC_LOGO),
        KeyTask(6, "KEY1", now + 30 * kSecond, KEYTASK_FUNC_TITLE),
        KeyTask(7, "KEY1", now - 60 * kSecond, 300),
    };
    std::vector<tagVideoKeyTask *> list;
    for (tagVideoKeyTask &task : tasks) list.push_back(&task);
    list.push_back(nullptr);
    EXPECT_EQ(tmu->SubmitTaskList(list.data(), "AUTO"), 7);

    EXPECT_EQ(Ids(tmu), (std::vector<int32_t>{7, 4, 2, 6, 9})) << "task 8 of AUTO replaced";
    for (const tagVideoKeyTask &task : Tasks(tmu))
        if (task.TaskID != 9) {
            EXPECT_STREQ(task.Source, "AUTO");
        }
    EXPECT_TRUE(Eventually([&] {
        return HasLine(titleLog,
                       "_FilterOutdatedTaskAndKeep1 Auto Remove Title task, starttime = " +
                           TimeText(now - 30 * kSecond) + ",functype=257");
    })) << ::testing::PrintToString(titleLog.Lines());

    // The operator's past captions all stay; they are submitted under "GUI".
    tmu->BeginTaskList();
    tmu->AddToTaskList(KeyTask(11, "KEY1", now - 30 * kSecond, KEYTASK_FUNC_TITLE));
    tmu->AddToTaskList(KeyTask(12, "KEY1", now - 20 * kSecond, KEYTASK_FUNC_TITLE));
    EXPECT_EQ(tmu->SubmitTaskList("GUI"), 2);
    tmu->EndTaskList();
    EXPECT_EQ(tmu->GetTaskCount(), 7);

    EXPECT_EQ(tmu->RemoveBySource("AUTO"), 4);
    EXPECT_EQ(tmu->RemoveBySource(""), 3);
}

TEST_F(KeyTaskTest, RegistersAsMainUntilItGoesAndLeavesASuccessorRegistered)
{
    EXPECT_EQ(GetVideoKeyTaskTMU(nullptr), nullptr);
    std::optional<CVideoKeyTaskTMU> first;
    first.emplace();
    EXPECT_EQ(GetVideoKeyTaskTMU(""), first->Get());
    EXPECT_EQ(GetVideoKeyTaskTMU("Main"), first->Get());
    EXPECT_EQ(GetVideoKeyTaskTMU("main"), nullptr);
    {
        CVideoKeyTaskTMU second;
        EXPECT_EQ(GetVideoKeyTaskTMU("Main"), second.Get());
        first.reset();
        EXPECT_EQ(GetVideoKeyTaskTMU("Main"), second.Get());
        EXPECT_EQ(SetVideoKeyTaskTMU("Other", second.Get()), 1);
        EXPECT_EQ(SetVideoKeyTaskTMU("Other", nullptr), 1);
        EXPECT_EQ(GetVideoKeyTaskTMU("Other"), nullptr);
    }
    EXPECT_EQ(GetVideoKeyTaskTMU(nullptr), nullptr);
}

TEST_F(KeyTaskTest, TheWorkerServesEachGroupAtItsTimeAndEndsWhenTheListIsEmpty)
{
    CVideoKeyTaskTMU tmu;
    const int64_t at = Now() + 8 * kSecond;
    tmu->AddTask(KeyTask(1, "", at, KEYTASK_FUNC_LOGO, "AUTO", 200));
    tmu->AddTask(KeyTask(2, "GHOST", at, 0));
    CStubKeyer &keyer = Keyer("KEY2");
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return keyer.Groups().size() == 1; }));
    EXPECT_GE(Now(), at - 57) << "the framework clock's sleep ends up to 57 units early";
    EXPECT_EQ(keyer.Groups()[0].size(), 1u);
    EXPECT_EQ(keyer.Groups()[0][0].nKey, 7);
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return tmu->GetTPU()->IsRunning() == 0; }));
    EXPECT_EQ(tmu->GetTaskCount(), 0) << "the group without a keyer is dropped";
    EXPECT_EQ(tmu->GetTPU()->GetState(), KEYTPU_IDLE);

    tmu->AddTask(KeyTask(3, "KEY2", Now() + kSecond, 0));
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return keyer.Groups().size() == 2; }));
}

TEST_F(KeyTaskTest, ReleasingTheUnitWhileAKeyerWaitsGivesTheWorkerUpSafely)
{
    std::optional<CVideoKeyTaskTMU> tmu;
    tmu.emplace();
    const int64_t at = Now() + 4 * kSecond;
    tmu->Get()->AddTask(KeyTask(1, "KEY1", at, 0));
    CStubKeyer &keyer = Keyer("KEY1");
    ASSERT_TRUE(
        devtest::AdvanceUntil([&] { return (*tmu)->GetTPU()->GetState() == KEYTPU_CALLING; }));
    devtest::RunAdvancing([&] {
        tmu.reset();
        return 0;
    });
    EXPECT_LT(Now(), at) << "not held up until the keyer returned";
    EXPECT_EQ(GetVideoKeyTaskTMU("Main"), nullptr);
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return keyer.Groups().size() == 1; }));
}

} // namespace
