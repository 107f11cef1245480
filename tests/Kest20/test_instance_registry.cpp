// The instance registry: components created by instance name from their settings, instances
// found by name, objects deleted in order, settings found by name, and concurrent creation.
#include "tests/Kest20/FakeSettings.h"
#include "tests/Kest20/TestComponents.h"

#include "Kest20/InstanceRegistry.h"
#include "platform/ConstructionScope.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// Deletes what a test created, whatever the test's outcome.
class Created {
public:
    ~Created() { glDeleteObjects(m_objects); }
    CClassA *operator()(CClassA *object)
    {
        if (object) m_objects.Add(object);
        return object;
    }

private:
    CPtrArray m_objects;
};

iRtc *Root()
{
    return CClassA::GetClassID();
}

} // namespace

TEST(CreateComponent, NameIsTrimmedAndTheSettingDefaultsToIt)
{
    FakeSettings settings;
    settings.Set("/etc/tvx/RegSrc1", "class", "CTestSource");
    Created created;
    CClassA *object = created(glCreateComponent("  RegSrc1 \t", nullptr, Root(), 1));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetObjectRtc(), CTestSource::GetClassID());
    EXPECT_STREQ(object->GetInstanceName(), "RegSrc1");
    EXPECT_STREQ(object->GetSettingInfo(), "/etc/tvx/RegSrc1");
    EXPECT_EQ(object->GetObjectStatus(), OBJ_ACTIVE);
}

TEST(CreateComponent, RelativeSettingsGoBelowTheDefaultRoot)
{
    FakeSettings settings;
    settings.Set("/etc/tvx/Dev/RegSrc2", "class", "Test.Source"); // a registered name
    settings.Set("/etc/other/RegSrc3", "class", "CKestnut.CHookedDevice.CTestSource");
    Created created;
    CClassA *relative = created(glCreateComponent("RegSrc2", " Dev/RegSrc2 ", Root(), 0));
    ASSERT_NE(relative, nullptr);
    EXPECT_STREQ(relative->GetSettingInfo(), "/etc/tvx/Dev/RegSrc2");
    EXPECT_EQ(relative->GetObjectStatus(), OBJ_CREATED) << "not initialised without activation";
    CClassA *absolute = created(glCreateComponent("RegSrc3", "/etc/other/RegSrc3", Root(), 0));
    ASSERT_NE(absolute, nullptr);
    EXPECT_STREQ(absolute->GetSettingInfo(), "/etc/other/RegSrc3");
}

TEST(CreateComponent, AnExistingNameInAnyCaseIsReturnedAndActivatedAgain)
{
    FakeSettings settings;
    settings.Set("/etc/tvx/RegAgain", "class", "CTestSource");
    Created created;
    auto *first =
        static_cast<CTestSource *>(created(glCreateComponent("RegAgain", nullptr, Root(), 0)));
    ASSERT_NE(first, nullptr);
    first->activeResult = 0;
    EXPECT_EQ(glCreateComponent("REGAGAIN", nullptr, Root(), 1), first);
    EXPECT_EQ(first->GetObjectStatus(), OBJ_INITIALISED) << "a failed activation returns it too";
    first->activeResult = 1;
    EXPECT_EQ(glCreateComponent("regagain", nullptr, CHookedDevice::GetClassID(), 1), first);
    EXPECT_EQ(first->GetObjectStatus(), OBJ_ACTIVE) << "the next call retries";
    EXPECT_EQ(glCreateComponent("RegAgain", nullptr, Root(), 1), first);
    EXPECT_EQ(first->actives, 2) << "activating an active object is a no-op";
    EXPECT_EQ(first->inits, 1);
}

TEST(CreateComponent, ClassMustExistAndLieBelowTheBase)
{
    FakeSettings settings;
    settings.Set("/etc/tvx/RegBad1", "class", "CTestSource");
    settings.Set("/etc/tvx/RegBad2", "class", "CNoSuchClass");
    settings.Set("/etc/tvx/RegBad3", "class", "CClassA"); // exists, has no factory
    Created created;
    EXPECT_EQ(glCreateComponent("RegBad1", nullptr, CTestSwitcher::GetClassID(), 1), nullptr);
    EXPECT_EQ(glCreateComponent("RegBad2", nullptr, Root(), 1), nullptr);
    EXPECT_EQ(glCreateComponent("RegBad3", nullptr, Root(), 1), nullptr);
    EXPECT_EQ(glCreateComponent("RegNoKey", nullptr, Root(), 1), nullptr);
    EXPECT_EQ(glCreateComponent("   ", nullptr, Root(), 1), nullptr);
    EXPECT_EQ(glCreateComponent(nullptr, nullptr, Root(), 1), nullptr);
    EXPECT_EQ(glCreateComponent("RegBad1", nullptr, nullptr, 1), nullptr);

    CKestRtc foreign(nullptr, nullptr, "CForeign", "CForeign", "CForeign", 0, 0, nullptr, nullptr,
                     nullptr);
    EXPECT_EQ(glCreateComponent("RegBad1", nullptr, &foreign, 1), nullptr)
        << "the base must lie below CClassA";
    EXPECT_EQ(glGetInstanceByName(&foreign, "RegBad1"), nullptr);
}

TEST(InstanceByName, FoundWithoutCaseThroughItsClassAndEveryRegisteringBase)
{
    CTestSource source;
    source.SetInstanceName("RegFind");
    CTestSwitcher other;
    other.SetInstanceName("RegFind");
    EXPECT_EQ(glGetInstanceByName(CTestSource::GetClassID(), "regfind"), &source);
    EXPECT_EQ(glGetInstanceByName(CHookedDevice::GetClassID(), "REGFIND"), &source);
    EXPECT_EQ(glGetInstanceByName(CTestSwitcher::GetClassID(), "RegFind"), &other);
    EXPECT_NE(glGetInstanceByName(Root(), "RegFind"), nullptr);
    EXPECT_EQ(glGetInstanceByName(CTestSource::GetClassID(), "RegFin"), nullptr);
    EXPECT_EQ(glGetInstanceByName(nullptr, "RegFind"), nullptr);
}

TEST(InstanceByName, LookupsFollowObjectsThatComeGoAndAreRenamed)
{
    auto *a = new CTestSource;
    auto *b = new CTestSwitcher;
    auto *c = new CTestSwitcher;
    auto named = [](CClassA *o, const char *name) { o->SetInstanceName(name); };
    // Each step changes the objects, then every name is looked up below the root.
    const struct {
        const char *what;
        std::function<void()> step;
        CClassA *idxA, *idxB, *idxC;
    } steps[] = {
        {"named", [&] { named(a, "IdxA"), named(b, "IdxB"), named(c, "IdxC"); }, a, b, c},
        {"renamed", [&] { named(a, "idxd"); }, nullptr, b, c},
        {"renamed back in another case", [&] { named(a, "IDXA"); }, a, b, c},
        {"two of one name: the first listed", [&] { *b = *c; }, a, nullptr, b},
        {"the first of them deleted", [&] { delete b; }, a, nullptr, c},
        {"deleted", [&] { delete c; }, a, nullptr, nullptr},
        {"renamed to a free name", [&] { named(a, "IdxC"); }, nullptr, nullptr, a},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.what);
        s.step();
        EXPECT_EQ(glGetInstanceByName(Root(), "idxa"), s.idxA);
        EXPECT_EQ(glGetInstanceByName(Root(), "IdxB"), s.idxB);
        EXPECT_EQ(glGetInstanceByName(Root(), "IDXC"), s.idxC);
    }
    EXPECT_EQ(glGetInstanceByName(CTestSwitcher::GetClassID(), "IdxC"), nullptr)
        << "the one left of that name is no switcher";
    delete a;
    EXPECT_EQ(glGetInstanceByName(Root(), "IdxC"), nullptr);
}

TEST(InstanceByName, ManyLiveObjectsEachFoundByItsNameUntilDeleted)
{
    std::vector<std::unique_ptr<CTestSource>> objects(300);
    for (size_t i = 0; i < objects.size(); ++i) {
        objects[i] = std::make_unique<CTestSource>();
        objects[i]->SetInstanceName(("IdxMany" + std::to_string(i)).c_str());
    }
    for (size_t i = 0; i < objects.size(); i += 2) objects[i].reset();
    for (size_t i = 0; i < objects.size(); ++i) {
        const std::string name = "idxmany" + std::to_string(i);
        EXPECT_EQ(glGetInstanceByName(CHookedDevice::GetClassID(), name.c_str()), objects[i].get())
            << name;
    }
}

TEST(InstanceByName, AnObjectMadeInAConstructionScopeIsFoundOnlyOnceTheScopeEnds)
{
    std::unique_ptr<CTestSource> object;
    {
        plat::ConstructionScope making;
        object = std::make_unique<CTestSource>();
        object->SetInstanceName("IdxScoped");
        EXPECT_EQ(glGetInstanceByName(Root(), "IdxScoped"), nullptr);
    }
    EXPECT_EQ(glGetInstanceByName(Root(), "IdxScoped"), object.get());
}

TEST(DeleteObjects, DeactivatesAllLastToFirstThenDeletesLastToFirst)
{
    CPtrArray list;
    for (const char *name : {"A", "B", "C"}) {
        auto *j = new CJournaled;
        j->SetInstanceName(name);
        ASSERT_EQ(j->ActiveInstance(), 1);
        list.Add(static_cast<CClassA *>(j));
    }
    int notAnObject = 0;
    list.InsertAt(1, &notAnObject); // skipped, never touched
    CJournaled::Journal().clear();
    EXPECT_EQ(glDeleteObjects(list), 1);
    EXPECT_EQ(CJournaled::Journal(),
              (std::vector<std::string>{"deactivate C", "deactivate B", "deactivate A", "delete C",
                                        "delete B", "delete A"}));
}

TEST(FindObjectInResource, RootsComeFromEtcAndTheClassMustLieBelowTheBase)
{
    FakeSettings settings;
    settings.SetSubEntries("/etc", {"tvx", "dev"});
    settings.Set("/etc/tvx/RegRes", "class", "CTestSwitcher");
    settings.Set("/etc/dev/RegRes", "class", "CTestSource");
    CString setting;
    CStringArray roots;
    EXPECT_EQ(glFindObjectInResource(setting, "RegRes", CHookedDevice::GetClassID(), roots), 1);
    EXPECT_STREQ(setting, "/etc/dev/RegRes");
    EXPECT_EQ(settings.lastPattern, "*");
    // Every folder under "/etc": those of this test's provider, and those the framework's own
    // providers are mounted at when an earlier test of the process has started it.
    std::set<std::string> folders;
    for (const CString &root : roots) folders.insert(static_cast<const char *>(root));
    EXPECT_TRUE(folders.count("/etc/tvx") && folders.count("/etc/dev"));
    EXPECT_TRUE(std::all_of(folders.begin(), folders.end(),
                            [](const std::string &root) { return root.starts_with("/etc/"); }));

    CStringArray given;
    given.Add("  ");
    given.Add(" /etc/tvx/ ");
    EXPECT_EQ(glFindObjectInResource(setting, "RegRes", Root(), given), 1);
    EXPECT_STREQ(setting, "/etc/tvx/RegRes");
    EXPECT_EQ(glFindObjectInResource(setting, "RegNone", Root(), given), 0);
}

TEST(FindObjectInResource, FallsBackToALiveInstancesSetting)
{
    FakeSettings settings;
    CTestSource live;
    live.InitInstance("/etc/elsewhere/RegLive", "RegLive");
    CString setting;
    CStringArray roots;
    roots.Add("/etc/tvx");
    EXPECT_EQ(glFindObjectInResource(setting, "reglive", CHookedDevice::GetClassID(), roots), 1);
    EXPECT_STREQ(setting, "/etc/elsewhere/RegLive");
    EXPECT_EQ(glFindObjectInResource(setting, "reglive", CTestSwitcher::GetClassID(), roots), 0);
}

namespace {
// Slow to construct and to activate, so that concurrent creators overlap.
class CSlowStarter : public CKestnut {
    DECLARE_KEST_CLASS(CSlowStarter)

    CSlowStarter()
    {
        ++constructed;
        plat::Sleep(5);
    }
    int32_t OnActiveInstance() override
    {
        ++activated;
        plat::Sleep(20);
        return 1;
    }
    static std::atomic<int> constructed, activated;
};
std::atomic<int> CSlowStarter::constructed{0}, CSlowStarter::activated{0};
} // namespace
IMPLEMENT_KEST_CLASS(CSlowStarter, CKestnut)

TEST(CreateComponent, ConcurrentCreatorsOfOneNameGetOneActiveObject)
{
    FakeSettings settings;
    settings.Set("/etc/tvx/RegShared", "class", "CSlowStarter");
    for (int i = 0; i < 4; ++i)
        settings.Set("/etc/tvx/RegOwn" + std::to_string(i), "class", "CSlowStarter");
    Created created;
    const int kThreads = 12;
    std::vector<CClassA *> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            // Case differs between threads; every fourth creates a name of its own as well,
            // and looks names up while others are being named.
            const char *name = t % 2 ? "regshared" : "RegShared";
            results[static_cast<size_t>(t)] = glCreateComponent(name, nullptr, Root(), 1);
            if (t % 3 == 0) {
                std::string own = "RegOwn" + std::to_string(t / 3);
                EXPECT_NE(glCreateComponent(own.c_str(), nullptr, Root(), 1), nullptr);
            }
            glGetInstanceByName(Root(), "RegNobody");
        });
    for (auto &t : threads) t.join();

    std::set<CClassA *> distinct(results.begin(), results.end());
    ASSERT_EQ(distinct.size(), 1u);
    CClassA *shared = created(*distinct.begin());
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->GetObjectStatus(), OBJ_ACTIVE);
    EXPECT_EQ(CSlowStarter::constructed, 5) << "one shared object and four of their own";
    EXPECT_EQ(CSlowStarter::activated, 5);
    for (int i = 0; i < 4; ++i)
        created(glGetInstanceByName(Root(), ("RegOwn" + std::to_string(i)).c_str()));
}

namespace {
// Creates itself again while it activates: the creation lock is recursive.
class CSelfCreator : public CKestnut {
    DECLARE_KEST_CLASS(CSelfCreator)

    int32_t OnActiveInstance() override
    {
        inner = glCreateComponent(GetInstanceName(), nullptr, CKestnut::GetClassID(), 1);
        return 1;
    }
    CClassA *inner = nullptr;
};
} // namespace
IMPLEMENT_KEST_CLASS(CSelfCreator, CKestnut)

TEST(CreateComponent, ActivationMayCreateComponentsItselfWithoutDeadlock)
{
    FakeSettings settings;
    settings.Set("/etc/tvx/RegSelf", "class", "CSelfCreator");
    Created created;
    auto *object =
        static_cast<CSelfCreator *>(created(glCreateComponent("RegSelf", nullptr, Root(), 1)));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->inner, object) << "found while it was still activating";
    EXPECT_EQ(object->GetObjectStatus(), OBJ_ACTIVE);
}
