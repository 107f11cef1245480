// The composite switcher: members and translation tables from the setting, takes fanned out
// on worker threads with a bounded wait (late results kept apart from the next take), members
// that are missing or refuse, presets and queries, the test's tries, and the open.
#include "SwShareTestKit.h"

#include "drivers/switchers/composite/CVideoSwitch_Mutil.h"
#include "tests/Kest20/FakeSettings.h"

using namespace swsharetest;
using namespace devtest;

namespace {

const char *const kPath = "/etc/tvx/MULTI";

class MutilTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.Set(kPath, "Dev", "A, B,,C");
        settings.Set(kPath, "A_I", "5,6,7");
        settings.Set(kPath, "A_O", "3");
    }
    bool Init() { return composite.InitInstance(kPath, "MULTI") != 0; }
    void StartMembers(std::initializer_list<CShareTestSwitch *> members)
    {
        const char *names[] = {"A", "B", "C"};
        int i = 0;
        for (CShareTestSwitch *m : members) ASSERT_TRUE(m->Start(names[i++]));
    }

    FakeSettings settings;
    CShareTestSwitch a, b, c;
    CVideoSwitch_Mutil composite;
    LogCapture log{CVideoSwitch_Mutil::kLogType};
};

} // namespace

TEST_F(MutilTest, MembersAndTheirTablesComeFromTheSetting)
{
    StartMembers({&a, &b, &c});
    ASSERT_TRUE(Init());
    CStringArray names;
    ASSERT_EQ(composite.GetEmbenddedDev(names), 3) << "blanks trimmed, the empty item dropped";
    EXPECT_EQ(names[0], CString("A"));
    EXPECT_EQ(names[1], CString("B"));
    EXPECT_EQ(names[2], CString("C"));
    EXPECT_EQ(composite.GetSources(), 32);
    EXPECT_EQ(composite.GetChannels(), 32);

    // A translates entry 2 to 6 and channel 1 to 3; B and C keep both numbers.
    EXPECT_EQ(composite.DevDirectTake(1, 2), 3);
    EXPECT_EQ(BaseEntries(a, 3).pgm, 6);
    EXPECT_EQ(BaseEntries(a, 1).pgm, 0);
    EXPECT_EQ(BaseEntries(b, 1).pgm, 2);
    EXPECT_EQ(BaseEntries(composite, 1).pgm, 2) << "the composite keeps the untranslated take";
    for (int outside : {4, 0}) {
        composite.DevDirectTake(2, outside);
        EXPECT_EQ(BaseEntries(a, 2).pgm, outside) << "beyond the table: unchanged";
    }
    EXPECT_TRUE(log.Has("DirectTakeThread DirectTake 序号:< 0 > 设备:< A >  入:< 6 >  出:< 3 >  "
                        "执行结果:< 成功 >"));
    EXPECT_TRUE(log.Has("DevDirectTake   入:< 2 >  出:< 1 >  执行结果:< 成功 >"));

    // Presets translate the same way; a take swaps on every member, entry 0 untranslated.
    EXPECT_EQ(composite.DevPreset(1, 1), 1);
    EXPECT_EQ(BaseEntries(a, 3).pst, 5);
    EXPECT_TRUE(
        log.Has("DevPreset  序号:< 2 >  设备:< C >  入:< 1 >  出:< 1 >  执行结果:< 成功 >"));
    EXPECT_EQ(composite.DevTake(1), 3);
    EXPECT_EQ(BaseEntries(a, 3), (Entries{6, 5}));
    EXPECT_EQ(BaseEntries(composite, 1), (Entries{2, 1}));
    EXPECT_TRUE(
        log.Has("TakeThread Take 序号:< 0 > 设备:< A >  入:< 0 >  出:< 3 >  执行结果:< 成功 >"));
    EXPECT_TRUE(log.Has("DevTake  出:< 1 >  执行结果:< 成功 >"));
}

TEST_F(MutilTest, ACompositeWithoutMembersDoesNotInitialise)
{
    settings.Set(kPath, "Dev", " , ");
    EXPECT_FALSE(Init());
    EXPECT_EQ(composite.DevGetPGMBUS(), -1);
}

TEST_F(MutilTest, MissingOrRefusingMembersCountAsFailedTakes)
{
    settings.Set(kPath, "Dev", "A,GHOST");
    StartMembers({&a});
    ASSERT_TRUE(Init());
    EXPECT_EQ(composite.DevDirectTake(1, 4), 1);
    EXPECT_EQ(BaseEntries(composite, 1).pgm, 4);
    EXPECT_TRUE(log.Has("DirectTakeThread 无法找到设备 序号:< 1 >  设备列表的长度:< 2 >"));

    a.refuse = true;
    EXPECT_EQ(composite.DevDirectTake(1, 9), 0);
    EXPECT_EQ(BaseEntries(composite, 1).pgm, 4) << "a take no member took is not recorded";
    EXPECT_TRUE(log.Has("DevDirectTake   入:< 9 >  出:< 1 >  执行结果:< 失败 >"));
    EXPECT_EQ(composite.DevPreset(1, 2), 0);
    EXPECT_EQ(BaseEntries(composite, 1).pst, 0);

    // Presets and transitions skip a member whose status is not normal; queries do not.
    a.refuse = false;
    a.SetDevStatus(DEVSTATUS_RUN_FAILED, "down");
    EXPECT_EQ(composite.DevPreset(1, 2), 0);
    EXPECT_EQ(composite.DevSetTransType(3), 0);
    int entry = -1;
    EXPECT_EQ(composite.DevQueryPgmEntry(1, entry), 1);
    EXPECT_EQ(entry, 4) << "the composite's own record answers";
    EXPECT_EQ(composite.DevGetPGMBUS(), 40) << "the first member's answer";
}

TEST_F(MutilTest, AFastMemberCompletesATakeWhileASlowOneIsLateAndCountsApart)
{
    settings.Set(kPath, "Dev", "A,B");
    // A wait of 2 s: ample for the fast member on a busy machine, while the held one waits for
    // the test to release it.
    settings.Set(kPath, "CheckTime", "200");
    settings.Set(kPath, "CheckInterval", "10");
    StartMembers({&a, &b});
    ASSERT_TRUE(Init());
    b.holdNextTake = true;
    EXPECT_EQ(composite.DevDirectTake(1, 3), 1) << "only A within the wait";
    EXPECT_EQ(BaseEntries(composite, 1).pgm, 3);

    // B ends its late take now; the next take counts only its own results.
    b.release.Set();
    ASSERT_TRUE(Eventually([&] { return BaseEntries(b, 1).pgm == 3; }));
    EXPECT_EQ(composite.DevDirectTake(1, 5), 2);

    a.holdNextTake = true;
    b.holdNextTake = true;
    a.release.Reset();
    b.release.Reset();
    EXPECT_EQ(composite.DevDirectTake(1, 8), 0) << "nobody within the wait";
    EXPECT_EQ(BaseEntries(composite, 1).pgm, 5);
    a.release.Set();
    b.release.Set();
    EXPECT_TRUE(
        Eventually([&] { return BaseEntries(a, 3).pgm == 8 && BaseEntries(b, 1).pgm == 8; }));
}

TEST_F(MutilTest, TheTestTriesEachMemberSevenTimes)
{
    ManualTime time;
    settings.Set(kPath, "Dev", "A,GHOST,B");
    StartMembers({&a, &b});
    ASSERT_TRUE(Init());
    b.testFailures = 6;
    EXPECT_EQ(RunAdvancing([&] { return composite.DevTest("x"); }), 1);
    EXPECT_EQ(b.testFailures, 0);

    b.testFailures = 7;
    EXPECT_EQ(RunAdvancing([&] { return composite.DevTest("x"); }), 0);
    EXPECT_EQ(composite.GetDevStatus().nCode, DEVSTATUS_RUN_FAILED);
    EXPECT_EQ(composite.GetDevStatus().GetText(), CString("member down"));
}

TEST_F(MutilTest, OpenNeedsOneMemberAndDeactivationWaitsForTheMembers)
{
    settings.Set(kPath, "Dev", "A,GHOST");
    StartMembers({&a});
    ASSERT_TRUE(Init());
    a.failOpen = true;
    EXPECT_EQ(composite.DevOpen(), 0);
    EXPECT_EQ(composite.GetDevStatus().nCode, DEVSTATUS_RUN_FAILED);
    a.failOpen = false;
    EXPECT_EQ(composite.ActiveInstance(), 1);
    EXPECT_EQ(composite.GetDevStatus().nCode, DEVSTATUS_NORMAL);
    EXPECT_EQ(composite.DevIsOpen(), 1);

    // Stays active while a member works normally, so the member is not closed under others.
    const int closes = a.closes;
    EXPECT_EQ(composite.DeactiveInstance(0), 0);
    EXPECT_EQ(a.closes, closes);
    a.SetDevStatus(DEVSTATUS_RUN_FAILED);
    EXPECT_EQ(composite.DeactiveInstance(0), 1);
    EXPECT_EQ(a.closes, closes + 1);
}

TEST_F(MutilTest, ACompositeThatListsItselfLeavesItselfAlone)
{
    settings.Set(kPath, "Dev", "A,MULTI");
    StartMembers({&a});
    ASSERT_TRUE(Init());
    ASSERT_EQ(composite.ActiveInstance(), 1);
    EXPECT_EQ(composite.DevDirectTake(1, 2), 1);
    EXPECT_EQ(composite.DevOpen(), 1);
    EXPECT_TRUE(log.Has("DirectTakeThread 无法找到设备 序号:< 1 >  设备列表的长度:< 2 >"));
}
