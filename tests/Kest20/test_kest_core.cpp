// The core manager: cores open once, shut down in reverse order of opening and never reopen.
// Shutting the framework's own cores down ends them for the process, so those tests run in a
// child process (a death test that exits normally).
#include "tests/Kest20/FakeSettings.h"
#include "tests/Kest20/TestComponents.h"

#include "Kest20/InstanceRegistry.h"
#include "Kest20/KestCore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Kept past the exit handlers: cores still open are deleted by one of them.
std::vector<int> &Opened()
{
    static auto *log = new std::vector<int>;
    return *log;
}

// Logs its number when made and its negated number when deleted.
template <int N> struct TestCore {
    TestCore() { Opened().push_back(N); }
    ~TestCore()
    {
        Opened().push_back(-N);
        fprintf(stderr, "core %d closed\n", N);
    }
};

template <int N> using Core = CKestCore<TestCore<N>, N>;

// In the child: a failed check ends it with the line number.
#define CHILD_CHECK(condition)                                                                     \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "failed at line %d: %s\n", __LINE__, #condition);                      \
            _exit(1);                                                                              \
        }                                                                                          \
    } while (0)

class CoreShutdown : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

} // namespace

TEST(KestCore, OpensOnceAndNeverReopensAfterShutdown)
{
    TestCore<40> *core = Core<40>::OpenCore();
    ASSERT_NE(core, nullptr);
    EXPECT_EQ(Core<40>::OpenCore(), core);
    EXPECT_EQ(Core<40>::GetCore(), core);
    EXPECT_EQ(CKestCore_Mgr::Mgr().ShotDown(40), 1);
    EXPECT_EQ(Core<40>::GetCore(), nullptr);
    EXPECT_EQ(Core<40>::OpenCore(), nullptr) << "never reopened";
    EXPECT_EQ(CKestCore_Mgr::Mgr().ShotDown(40), 1) << "already shut: nothing to do";
    EXPECT_EQ(std::count(Opened().begin(), Opened().end(), 40), 1);
    EXPECT_EQ(std::count(Opened().begin(), Opened().end(), -40), 1);
}

TEST(KestCore, ShutdownOfCoresWithoutRecordsIsRefused)
{
    EXPECT_EQ(CKestCore_Mgr::Mgr().ShotDown(51), 0);
    EXPECT_EQ(CKestCore_Mgr::Mgr().ShotDown(-1), 0);
    EXPECT_EQ(CKestCore_Mgr::Mgr().ShotDown(64), 0);
    Core<52>::Register();
    EXPECT_EQ(CKestCore_Mgr::Mgr().ShotDown(52), 1) << "registered, not open";
    EXPECT_NE(Core<52>::OpenCore(), nullptr) << "a core that was never open still opens";
}

TEST_F(CoreShutdown, ShutDownAllClosesInReverseOrderOfOpeningTheRegistryIncluded)
{
    EXPECT_EXIT(
        {
            FakeSettings settings;
            settings.Set("/etc/tvx/CoreObj", "class", "CJournaled");
            CClassA *created = glCreateComponent("CoreObj", nullptr, CClassA::GetClassID(), 1);
            CHILD_CHECK(created != nullptr);
            Core<42>::OpenCore();
            Core<41>::OpenCore();
            Core<43>::OpenCore();
            CJournaled::Journal().clear();
            Opened().clear();

            glCoreShutDown();
            CHILD_CHECK((Opened() == std::vector<int>{-43, -41, -42}));
            CHILD_CHECK((CJournaled::Journal() ==
                         std::vector<std::string>{"deactivate CoreObj", "delete CoreObj"}));
            CHILD_CHECK(Core<41>::OpenCore() == nullptr);
            CHILD_CHECK(glCreateComponent("CoreObj", nullptr, CClassA::GetClassID(), 1) == nullptr);
            CHILD_CHECK(glGetInstanceByName(CClassA::GetClassID(), "CoreObj") == nullptr);
            CPtrArray none;
            CHILD_CHECK(glDeleteObjects(none) == 0);
            CHookedDevice late; // not listed any more, but still usable
            CHILD_CHECK(late.IsValid() == 1);
            CHILD_CHECK(late.ActiveInstance() == 1);
            glCoreShutDown(); // again: nothing left to close
            CHILD_CHECK(Opened().size() == 3);
            fprintf(stderr, "all checked\n");
            _exit(0);
        },
        ::testing::ExitedWithCode(0), "all checked");
}

TEST_F(CoreShutdown, ProcessExitShutsOpenCoresDown)
{
    EXPECT_EXIT(
        {
            Core<44>::OpenCore();
            exit(0);
        },
        ::testing::ExitedWithCode(0), "core 44 closed");
}
