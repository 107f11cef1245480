// The shared switcher: forwarding to its target and keeping its own record, refusals and a
// missing target, virtual mode from the setting and from the main/backup message (closing the
// target, reopening it with pauses), and a target that is the switcher itself.
#include "SwShareTestKit.h"

#include "Kest20/KestLog.h"
#include "drivers/switchers/composite/CVideoSwitch_Shared.h"
#include "tests/Kest20/FakeSettings.h"

using namespace swsharetest;
using namespace devtest;

namespace {

const char *const kPath = "/etc/tvx/SHARED";

class SharedSwitchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.Set(kPath, "Dev", "T");
        ASSERT_TRUE(target.Start("T"));
    }
    bool Init() { return shared.InitInstance(kPath, "SHARED") == 1; }
    static void PostVirtual(const char *value)
    {
        glReportLog("#OVRA_DEV_SHARE", (std::string("<Virtual = \"") + value + "\">").c_str(), "");
    }

    FakeSettings settings;
    CShareTestSwitch target;
    CVideoSwitch_Shared shared;
};

} // namespace

TEST_F(SharedSwitchTest, ForwardsToTheTargetAndKeepsItsOwnRecord)
{
    ASSERT_TRUE(Init());
    EXPECT_EQ(shared.ActiveInstance(), 1);
    EXPECT_EQ(shared.DevDirectTake(1, 7), 1);
    EXPECT_EQ(BaseEntries(target, 1).pgm, 7);
    EXPECT_EQ(BaseEntries(shared, 1).pgm, 7);
    EXPECT_EQ(shared.DevPreset(1, 3), 1);
    EXPECT_EQ(shared.DevTake(1), 1);
    EXPECT_EQ(BaseEntries(target, 1), (Entries{7, 3}));
    EXPECT_EQ(BaseEntries(shared, 1), (Entries{7, 3}));

    target.refuse = true;
    EXPECT_EQ(shared.DevDirectTake(1, 9), 0);
    EXPECT_EQ(BaseEntries(shared, 1).pgm, 3) << "a refused take leaves the record";
}

TEST_F(SharedSwitchTest, WithoutATargetNothingIsForwardedOrRecorded)
{
    settings.Set(kPath, "Dev", "");
    EXPECT_FALSE(Init()) << "a shared switcher must name its target";

    CVideoSwitch_Shared ghost;
    settings.Set("/etc/tvx/GHOSTLY", "Dev", "NOPE");
    ASSERT_EQ(ghost.InitInstance("/etc/tvx/GHOSTLY", "GHOSTLY"), 1);
    EXPECT_EQ(ghost.DevOpen(), 0);
    EXPECT_EQ(ghost.DevDirectTake(1, 4), 0);
    EXPECT_EQ(BaseEntries(ghost, 1).pgm, 0);
    EXPECT_EQ(ghost.DevIsOpen(), 0);
    EXPECT_EQ(ghost.DevTest(""), 0);

    // A target that is the switcher itself is not followed (it would call itself for ever).
    CVideoSwitch_Shared self;
    settings.Set("/etc/tvx/SELFISH", "Dev", "SELFISH");
    ASSERT_EQ(self.InitInstance("/etc/tvx/SELFISH", "SELFISH"), 1);
    EXPECT_EQ(self.DevDirectTake(1, 4), 0);
    EXPECT_EQ(self.DevOpen(), 0);
}

TEST_F(SharedSwitchTest, VirtualModeKeepsOnlyTheRecord)
{
    settings.Set(kPath, "Dev", "NOPE");
    settings.Set(kPath, "Virtual", "TRUE");
    ASSERT_TRUE(Init());
    EXPECT_TRUE(shared.GetVirtualMode());
    EXPECT_EQ(shared.DevOpen(), 1);
    EXPECT_EQ(shared.DevDirectTake(1, 6), 1);
    int entry = 0;
    EXPECT_EQ(shared.DevQueryPgmEntry(1, entry), 1);
    EXPECT_EQ(entry, 6);
}

TEST_F(SharedSwitchTest, TheMainBackupMessageClosesAndReopensTheTarget)
{
    ASSERT_TRUE(Init());
    PostVirtual("TRUE");
    ASSERT_TRUE(Eventually([&] { return shared.GetVirtualMode(); }));
    EXPECT_EQ(target.closes, 1);
    const int takes = target.takes;
    EXPECT_EQ(shared.DevDirectTake(1, 2), 1);
    EXPECT_EQ(target.takes, takes) << "the target is left alone";

    ExpectStrayShareMessagesIgnored([&] { return shared.GetVirtualMode(); }, {}, 10000);
    PostVirtual("TRUE");
    PostVirtual("FALSE");
    ASSERT_TRUE(Eventually([&] { return !shared.GetVirtualMode(); }, 4000));
    EXPECT_EQ(target.closes, 1) << "the same value again does nothing";
    EXPECT_EQ(shared.DevDirectTake(1, 5), 1);
    EXPECT_EQ(BaseEntries(target, 1).pgm, 5);
}

TEST_F(SharedSwitchTest, LeavingVirtualModeTriesThreeTimesAndThenTakesTheFlag)
{
    ManualTime time;
    settings.Set(kPath, "Dev", "NOPE");
    settings.Set(kPath, "Virtual", "TRUE");
    ASSERT_TRUE(Init());
    const uint32_t start = plat::GetTickCount();
    RunAdvancing([&] {
        shared.SetVirtualMode(false);
        return 0;
    });
    EXPECT_GE(plat::TickDiff(plat::GetTickCount(), start), 3 * (500 + 1000));
    EXPECT_FALSE(shared.GetVirtualMode());
    EXPECT_EQ(shared.GetDevStatus().nCode, DEVSTATUS_BAD_SETTING) << "why the target did not open";
}
