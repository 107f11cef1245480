// The task list dialogs look up the first registered unit while other threads make and destroy
// units: the dialog works on a unit that stays while it fills its list, however soon the unit's
// last handle goes. Run under AddressSanitizer and ThreadSanitizer, which report any use of a
// unit that has gone.
#include "drivers/tasks/CVideoKeyTaskDialog.h"
#include "drivers/tasks/CVideoKeyTaskTMU.h"
#include "drivers/tasks/CVideoKeyTaskTPU.h"
#include "drivers/tasks/CVideoSwitchTaskArray.h"
#include "drivers/tasks/CVideoSwitchTaskDialog.h"
#include "drivers/tasks/CVideoSwitchTaskTMU.h"

#include "KestLib20/CConfigFileAccessX.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int64_t kFarAhead = 132223104000000000LL + 3600LL * 10000000; // 2020-01-01 01:00
constexpr int kTasks = 64;  // per unit: the dialog's fill takes a while
constexpr int kUnits = 400; // made and destroyed in turn by each maker
constexpr int kMakers = 2;  // threads that make and destroy units
constexpr auto kBound = std::chrono::seconds(20);

// The settings mounted at "/etc/tvx", alone in a directory of their own: the switcher unit
// writes one setting back.
class PrivateSettings {
public:
    PrivateSettings()
    {
        std::string pattern = ::testing::TempDir() + "kest_taskreg_XXXXXX";
        if (mkdtemp(pattern.data())) m_dir = pattern;
        const std::string file = m_dir + "/settings.CLSID";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << "[Environment]\r\n";
        m_provider = std::make_unique<CConfigFileAccessX>(file.c_str());
        m_provider->Mount("/etc/tvx");
    }
    ~PrivateSettings()
    {
        m_provider.reset();
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir);
    }

private:
    std::string m_dir;
    std::unique_ptr<CConfigFileAccessX> m_provider;
};

// Runs `show` on one thread and `make` on kMakers others, each maker kUnits times, until all
// makers are done or the bound has passed. How many dialogs were shown.
int Stress(const std::function<void()> &show, const std::function<void()> &make)
{
    std::atomic<bool> done{false};
    std::atomic<int> shown{0};
    const auto until = Clock::now() + kBound;
    std::thread dialogs([&] {
        while (!done) {
            show();
            ++shown;
        }
    });
    std::vector<std::thread> makers;
    for (int m = 0; m < kMakers; ++m)
        makers.emplace_back([&] {
            for (int i = 0; i < kUnits && Clock::now() < until; ++i) make();
        });
    for (std::thread &maker : makers) maker.join();
    done = true;
    dialogs.join();
    return shown;
}

TEST(TaskRegistry, AKeyTaskDialogOutlivesNoUnitItShows)
{
    const int shown = Stress([] { CVideoKeyTaskDialog()->DoModal(); },
                             [] {
                                 CVideoKeyTaskTMU tmu;
                                 tmu->GetTPU()->ShutDown(); // no worker: the tasks stay
                                 for (int32_t id = 1; id <= kTasks; ++id) {
                                     tagVideoKeyTask task;
                                     task.TaskID = id;
                                     task.DevID = "KEY1";
                                     task.StartTime = kFarAhead + id;
                                     tmu->AddTask(task);
                                 }
                             });
    EXPECT_GT(shown, 0);
    EXPECT_EQ(GetVideoKeyTaskTMU(nullptr), nullptr);
}

TEST(TaskRegistry, ASwitcherTaskDialogOutlivesNoUnitItShows)
{
    PrivateSettings settings;
    const int shown = Stress([] { CVideoSwitchTaskDialogPtr()->DoModal(); },
                             [] {
                                 CVideoSwitchTaskArrayPtr tasks;
                                 for (int32_t i = 0; i < kTasks; ++i) {
                                     tagVideoSwitchTask task;
                                     task.DevID = "SW1";
                                     task.Time = kFarAhead + i;
                                     tasks->Add(task);
                                 }
                                 CVideoSwitchTaskTMUPtr tmu;
                                 tmu->SubmitTaskList(nullptr, tasks.Get());
                             });
    EXPECT_GT(shown, 0);
    EXPECT_EQ(GetVideoSwitchTaskTMU(nullptr), nullptr);
}

// Makes a unit, registers it also as "Other" and "Spare", and gives "Spare" to a second unit;
// then lets the first go. The names still registered while the second lives, each marked "?"
// when it names another unit than the second.
template <class Handle, class Unit>
std::vector<std::string> NamesLeft(int32_t (*set)(const char *, Unit *), Unit *(*get)(const char *))
{
    std::optional<Handle> first;
    first.emplace();
    set("Other", first->Get());
    set("Spare", first->Get());
    Handle second;
    set("Spare", second.Get());
    first.reset();
    std::vector<std::string> left;
    for (const char *name : {"Main", "Other", "Spare"})
        if (Unit *unit = get(name))
            left.push_back(name + std::string(unit == second.Get() ? "" : "?"));
    set("Spare", nullptr);
    return left;
}

TEST(TaskRegistry, AUnitThatGoesLeavesNoNameOfItsOwnAndASuccessorRegistered)
{
    PrivateSettings settings;
    // The second unit took "Main" when it was made; "Other" went with the first.
    const std::vector<std::string> expected{"Main", "Spare"};
    EXPECT_EQ((NamesLeft<CVideoKeyTaskTMU>(SetVideoKeyTaskTMU, GetVideoKeyTaskTMU)), expected);
    EXPECT_EQ((NamesLeft<CVideoSwitchTaskTMUPtr>(SetVideoSwitchTaskTMU, GetVideoSwitchTaskTMU)),
              expected);
    EXPECT_EQ(GetVideoKeyTaskTMU(nullptr), nullptr);
    EXPECT_EQ(GetVideoSwitchTaskTMU(nullptr), nullptr);
}

} // namespace
