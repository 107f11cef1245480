// The task list dialogs and a host's held lookups find the first registered unit while other
// threads make and destroy units: what they found stays while they use it, however soon the
// unit's last handle goes, and a unit whose last handle has gone starts no worker for a
// holder. Run under AddressSanitizer and ThreadSanitizer, which report any use of a unit that
// has gone.
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
// makers are done or the bound has passed. How many times `show` ran.
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

// A keyer's task far ahead, which no worker hands out meanwhile.
tagVideoKeyTask FarKeyTask(int32_t id)
{
    tagVideoKeyTask task;
    task.TaskID = id;
    task.DevID = "KEY1";
    task.StartTime = kFarAhead + id;
    return task;
}

tagVideoSwitchTask FarSwitchTask(int32_t i)
{
    tagVideoSwitchTask task;
    task.DevID = "SW1";
    task.Time = kFarAhead + i;
    return task;
}

// A unit with kTasks tasks, made and let go.
void MakeKeyUnit()
{
    CVideoKeyTaskTMU tmu;
    tmu->GetTPU()->ShutDown(); // no worker: the tasks stay
    for (int32_t id = 1; id <= kTasks; ++id) tmu->AddTask(FarKeyTask(id));
}

void MakeSwitchUnit()
{
    CVideoSwitchTaskArrayPtr tasks;
    for (int32_t i = 0; i < kTasks; ++i) tasks->Add(FarSwitchTask(i));
    CVideoSwitchTaskTMUPtr tmu;
    tmu->SubmitTaskList(nullptr, tasks.Get());
}

TEST(TaskRegistry, AKeyTaskDialogOutlivesNoUnitItShows)
{
    const int shown = Stress([] { CVideoKeyTaskDialog()->DoModal(); }, MakeKeyUnit);
    EXPECT_GT(shown, 0);
    EXPECT_EQ(GetVideoKeyTaskTMU(nullptr), nullptr);
}

TEST(TaskRegistry, ASwitcherTaskDialogOutlivesNoUnitItShows)
{
    PrivateSettings settings;
    const int shown = Stress([] { CVideoSwitchTaskDialogPtr()->DoModal(); }, MakeSwitchUnit);
    EXPECT_GT(shown, 0);
    EXPECT_EQ(GetVideoSwitchTaskTMU(nullptr), nullptr);
}

TEST(TaskRegistry, WhatAHostsHeldLookupFindsStaysWhileItIsUsed)
{
    PrivateSettings settings;
    // The host reads the unit's tasks and adds one of its own, as a control program does.
    const int keysUsed = Stress(
        [] {
            const std::shared_ptr<IVideoKeyTaskTMU> unit = HoldVideoKeyTaskTMU(nullptr);
            if (!unit) return;
            tagVideoKeyTask task;
            for (int32_t i = 0; i < unit->GetTaskCount(); ++i) unit->GetTaskAt(i, task);
            unit->AddTask(FarKeyTask(kTasks + 1));
        },
        MakeKeyUnit);
    const int switchesUsed = Stress(
        [] {
            const std::shared_ptr<IVideoSwitchTaskTMU> unit = HoldVideoSwitchTaskTMU("Main");
            if (!unit) return;
            CVideoSwitchTaskArrayPtr tasks;
            unit->GetTaskList(nullptr, tasks.Get());
            tagVideoSwitchTask task = FarSwitchTask(kTasks);
            unit->AddTask(task);
        },
        MakeSwitchUnit);
    EXPECT_GT(keysUsed, 0);
    EXPECT_GT(switchesUsed, 0);

    // A switcher unit held past its last handle: a task added then starts no worker.
    std::shared_ptr<IVideoSwitchTaskTMU> held;
    {
        CVideoSwitchTaskTMUPtr tmu;
        held = HoldVideoSwitchTaskTMU(nullptr);
        ASSERT_EQ(held.get(), tmu.Get());
    }
    tagVideoSwitchTask late = FarSwitchTask(0);
    held->AddTask(late);
    EXPECT_EQ(held->IsRunning(), 0);
    EXPECT_EQ(held->Start(), 0);
    EXPECT_EQ(HoldVideoSwitchTaskTMU(nullptr), nullptr);
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
