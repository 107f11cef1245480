// The component life cycle and the component base's own operations.
#include "tests/Kest20/TestComponents.h"

#include <gtest/gtest.h>

TEST(ComponentLifeCycle, FailedInitialisationStaysCreatedAndIsRetried)
{
    CHookedDevice d;
    EXPECT_EQ(d.GetObjectStatus(), OBJ_CREATED);
    d.initResult = 0;
    EXPECT_EQ(d.InitInstance("/etc/tvx/Dev", "Dev"), 0);
    EXPECT_EQ(d.GetObjectStatus(), OBJ_CREATED);
    EXPECT_EQ(d.ActiveInstance(), 0);
    EXPECT_EQ(d.inits, 2);
    EXPECT_EQ(d.actives, 0);

    d.initResult = 1;
    EXPECT_EQ(d.InitInstance(nullptr, nullptr), 1);
    EXPECT_EQ(d.GetObjectStatus(), OBJ_INITIALISED);
    EXPECT_STREQ(d.GetInstanceName(), "Dev") << "a null name keeps the old one";
    EXPECT_STREQ(d.GetSettingInfo(), "/etc/tvx/Dev");
    EXPECT_EQ(d.InitInstance("/other", "Other"), 1) << "initialised: nothing done";
    EXPECT_EQ(d.inits, 3);
    EXPECT_STREQ(d.GetInstanceName(), "Dev");
}

TEST(ComponentLifeCycle, FailedActivationFallsBackToInitialisedAndIsRetried)
{
    CHookedDevice d;
    d.activeResult = 0;
    EXPECT_EQ(d.ActiveInstance(), 0);
    EXPECT_EQ(d.GetObjectStatus(), OBJ_INITIALISED);
    d.activeResult = 1;
    EXPECT_EQ(d.ActiveInstance(), 1);
    EXPECT_EQ(d.GetObjectStatus(), OBJ_ACTIVE);
    EXPECT_EQ(d.ActiveInstance(), 1) << "already active";
    EXPECT_EQ(d.actives, 2);
    EXPECT_EQ(d.inits, 1);
}

TEST(ComponentLifeCycle, DeactivationWithoutKillCanBeUndoneWithKillCannot)
{
    CHookedDevice d;
    EXPECT_EQ(d.DeactiveInstance(1), 1) << "not active: nothing to do";
    EXPECT_EQ(d.deactives, 0);

    ASSERT_EQ(d.ActiveInstance(), 1);
    EXPECT_EQ(d.DeactiveInstance(0), 1);
    EXPECT_EQ(d.GetObjectStatus(), OBJ_INITIALISED);
    EXPECT_EQ(d.kills, 0);
    ASSERT_EQ(d.ActiveInstance(), 1);

    d.deactiveResult = 0;
    EXPECT_EQ(d.DeactiveInstance(1), 0);
    EXPECT_EQ(d.GetObjectStatus(), OBJ_ACTIVE) << "a refused deactivation keeps it active";
    EXPECT_EQ(d.kills, 0);

    d.deactiveResult = 1;
    EXPECT_EQ(d.DeactiveInstance(1), 1);
    EXPECT_EQ(d.GetObjectStatus(), OBJ_KILLED);
    EXPECT_EQ(d.kills, 1);
    EXPECT_EQ(d.ActiveInstance(), 0) << "killed is neither initialised nor active";
    EXPECT_EQ(d.actives, 2);
}

TEST(Component, SettingPathDefaultsToTheInstanceName)
{
    CHookedDevice d;
    EXPECT_STREQ(d.GetSettingInfo(), "") << "no name, no path";
    EXPECT_EQ(d.SetInstanceName(nullptr), 0);
    EXPECT_EQ(d.SetSettingInfo(nullptr), 1);
    EXPECT_STREQ(d.GetSettingInfo(), "");

    const char *before = d.GetInstanceName();
    EXPECT_EQ(d.SetInstanceName("Src1"), 1);
    EXPECT_STREQ(before, "") << "an earlier text stays readable";
    EXPECT_STREQ(d.GetSettingInfo(), "/etc/tvx/Src1");
    EXPECT_EQ(d.SetInstanceName("Src2"), 1);
    EXPECT_STREQ(d.GetSettingInfo(), "/etc/tvx/Src1") << "a path, once there, stays";
    EXPECT_EQ(d.SetSettingInfo("/etc/dev/Src2"), 1);
    EXPECT_STREQ(d.GetSettingInfo(), "/etc/dev/Src2");

    CHookedDevice e;
    e.InitInstance(nullptr, "Named");
    EXPECT_STREQ(e.GetSettingInfo(), "/etc/tvx/Named");
}

TEST(Component, ActivePointerSeesTheObjectGo)
{
    auto *d = new CHookedDevice;
    IClassA **slot = d->GetActivePtr();
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(*slot, d);
    EXPECT_EQ(d->GetActivePtr(), slot);
    EXPECT_EQ(d->Suicide(), 1);
    EXPECT_EQ(*slot, nullptr);
}

TEST(Component, SuicideDeactivatesWithKillThenDeletesThroughTheRecord)
{
    auto *d = new CJournaled;
    d->SetInstanceName("J");
    ASSERT_EQ(d->ActiveInstance(), 1);
    CJournaled::Journal().clear();
    iRtc *rtc = CJournaled::GetClassID();
    EXPECT_EQ(rtc->GetInstanceCount(), 1);
    EXPECT_EQ(d->Suicide(), 1);
    EXPECT_EQ(CJournaled::Journal(), (std::vector<std::string>{"deactivate J", "delete J"}));
    EXPECT_EQ(rtc->GetInstanceCount(), 0);

    CClassA plain; // the root record deletes nothing
    EXPECT_EQ(plain.Suicide(), 0);
}

TEST(Component, CopiesAreObjectsOfTheirOwn)
{
    CHookedDevice original;
    original.InitInstance("/etc/dev/Orig", "Orig");
    {
        CHookedDevice copy(original);
        EXPECT_STREQ(copy.GetInstanceName(), "Orig");
        EXPECT_EQ(copy.GetObjectStatus(), OBJ_INITIALISED);
        EXPECT_EQ(CHookedDevice::GetClassID()->GetInstanceCount(), 2);
        EXPECT_EQ(copy.IsValid(), 1) << "listed as a live object";
        copy.SetInstanceName("Copy");
        EXPECT_STREQ(original.GetInstanceName(), "Orig");
        EXPECT_NE(copy.GetActivePtr(), original.GetActivePtr());
    }
    EXPECT_EQ(CHookedDevice::GetClassID()->GetInstanceCount(), 1);
    EXPECT_EQ(original.IsValid(), 1);
}

TEST(Component, KestnutAndItsClassesHangBelowTheRoot)
{
    iRtc *root = glGetKestRootRtc();
    ASSERT_EQ(root, CClassA::GetClassID());
    EXPECT_STREQ(root->GetClassInfoA()->lpszRegisteredName, "Kest20.ClassA");
    EXPECT_EQ(root->GetRtcMgr(), glGetKestRuntimeClassMgr());
    EXPECT_EQ(root->FindByNames("ckestnut"), CKestnut::GetClassID());
    EXPECT_EQ(root->FindByNames("CKestnut.CHookedDevice.Test.Source"), nullptr)
        << "a registered name is no path component";
    EXPECT_EQ(root->FindByNames("Test.Source"), CTestSource::GetClassID());
    EXPECT_EQ(CTestSource::GetClassID()->GetRtcMgr(), glGetKestRuntimeClassMgr())
        << "records of this program use libKest20's manager";
    EXPECT_EQ(iRtc::vFindByNames("CHookedDevice.CTestSource"), CTestSource::GetClassID());

    CTestSource s;
    EXPECT_TRUE(s.IsKindOf(CKestnut::GetClassID()));
    EXPECT_FALSE(s.IsKindOf(CTestSwitcher::GetClassID()));
    bool listed = false;
    for (int32_t i = 0; void *o = CKestnut::GetClassID()->GetInstance(i); ++i)
        listed = listed || o == static_cast<IClassA *>(&s);
    EXPECT_TRUE(listed) << "listed by CKestnut's record too";
}
