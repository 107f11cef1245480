// Preview on the manual clock, with stub sources behind a device manager: ids, the first task
// cued on the command thread (retried after a failure or a throw), every control command at
// its source operation, close and the detached control, the position reports every 100 ms,
// the registry of managers by name and its handles, and stops while a source call runs.
#include "tests/model/DeviceTestKit.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/CVideoSrcA.h"
#include "drivers/tasks/CVideoPreviewControl.h"
#include "drivers/tasks/CVideoPreviewTaskMgr.h"

#include "platform/Thread.h"

#include <cstdio>
#include <cstring>
#include <future>
#include <stdexcept>
#include <thread>
#include <tuple>

// A source that notes its preview calls in order.
class CStubPreviewSrc : public CVideoSrcA {
    DECLARE_KEST_CLASS(CStubPreviewSrc)

    enum PlayMode { kReturns, kUntilStopped, kIgnoresStop };

    CStubPreviewSrc() : CVideoSrcA("LVSRC_PREVIEW") {}

    int DevOpen() override
    {
        Note("Open");
        return CVideoSrcA::DevOpen();
    }
    int DevIsOpen() override { return open.load(); }
    int DevClose() override
    {
        Note("Close");
        return CVideoSrcA::DevClose();
    }
    int DevEEMode(int mode) override { return Note("EE" + std::to_string(mode)); }
    int DevEject() override { return Note("Eject"); }
    int DevGetClipSize(const char *clip, timecode_t &size) override
    {
        if (std::string(clip) != "CLIP1") return 0;
        size = 4500;
        return 1;
    }
    int PreviewCue(const char *clip, int32_t som, int32_t dur, int32_t mode) override
    {
        cueThread = plat::GetCurrentThreadId();
        char text[96];
        std::snprintf(text, sizeof text, "Cue(%s,%d,%d,%d)", clip, som, dur, mode);
        Note(text);
        if (cueThrows.exchange(false)) throw std::runtime_error("cue failed");
        return cueResult.load();
    }
    int PreviewPlay(double speed, void *stop) override
    {
        char text[32];
        std::snprintf(text, sizeof text, "Play(%g)", speed);
        Note(text);
        if (playMode == kReturns) return 1;
        const auto *stopEvent = static_cast<const plat::Event *>(stop);
        const uint32_t woke = playMode == kUntilStopped
                                  ? plat::WaitForAny({stopEvent, &release}, kLongWait)
                                  : release.Wait(kLongWait);
        Note(playMode == kUntilStopped && woke == plat::WAIT_OBJECT_0 ? "PlayStopped"
                                                                      : "PlayReleased");
        return 1;
    }
    int PreviewJog(int32_t frames) override { return Note("Jog(" + std::to_string(frames) + ")"); }
    int PreviewStill() override
    {
        stillThread = plat::GetCurrentThreadId();
        return Note("Still");
    }
    int PreviewStop() override { return Note("Stop"); }
    int PreviewGoto(int32_t frames) override
    {
        return Note("Goto(" + std::to_string(frames) + ")");
    }
    int PreviewGetPosition(int32_t *frames) override
    {
        ++positionReads;
        *frames = position;
        return 1;
    }

    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_calls;
    }
    bool Has(const std::string &call)
    {
        const auto calls = Calls();
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_calls.clear();
    }

    static constexpr uint32_t kLongWait = 600000; // ms of the manual clock
    std::atomic<int> open{1}, cueResult{1}, positionReads{0};
    std::atomic<bool> cueThrows{false};
    std::atomic<int32_t> position{250};
    std::atomic<uint32_t> cueThread{0}, stillThread{0};
    std::atomic<PlayMode> playMode{kReturns};
    plat::Event release{true, false};

private:
    int Note(const std::string &call)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_calls.push_back(call);
        return 1;
    }

    std::mutex m_lock;
    std::vector<std::string> m_calls;
};

IMPLEMENT_KEST_CLASS(CStubPreviewSrc, CVideoSrcA)

namespace {

using devtest::Eventually;
using Told = std::tuple<int32_t, int32_t, int32_t>; // preview id, code, value

// Records what the callbacks tell; with a manager to probe, also whether another thread could
// enter the manager during each callback.
class Callbacks {
public:
    static int32_t OnTold(void *self, int32_t id, int32_t code, int32_t value)
    {
        auto *log = static_cast<Callbacks *>(self);
        if (IVideoPreviewTaskMgr *mgr = log->probe) {
            auto entered = std::async(std::launch::async, [mgr] { return mgr->GetTaskCount(); });
            if (entered.wait_for(std::chrono::seconds(2)) != std::future_status::ready)
                log->lockHeld = true;
        }
        {
            std::lock_guard<std::mutex> lk(log->m_lock);
            log->m_told.emplace_back(id, code, value);
        }
        if (log->hook) log->hook(Told{id, code, value});
        return 0;
    }
    tagVideoPreviewTask Task(const char *dev, const char *clip = "CLIP1", int32_t id = 0)
    {
        tagVideoPreviewTask task;
        task.PreviewID = id;
        task.Dev = dev;
        task.ID = clip;
        task.SOM = 10;
        task.DUR = 250;
        task.CueMode = 7;
        task.Status = 9;
        task.Position = 5;
        task.pUserData = this;
        task.pfnCallBack = &Callbacks::OnTold;
        return task;
    }
    std::vector<Told> All()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_told;
    }
    std::vector<Told> Of(int32_t code)
    {
        std::vector<Told> of;
        for (const Told &told : All())
            if (std::get<1>(told) == code) of.push_back(told);
        return of;
    }
    // What was told but the position reports, which run on a thread of their own.
    std::vector<Told> Statuses()
    {
        std::vector<Told> statuses;
        for (const Told &told : All())
            if (std::get<1>(told) != PREVIEW_POSITION_REPORT) statuses.push_back(told);
        return statuses;
    }
    bool Has(const Told &told)
    {
        const auto all = All();
        return std::find(all.begin(), all.end(), told) != all.end();
    }

    IVideoPreviewTaskMgr *probe = nullptr;
    std::atomic<bool> lockHeld{false};
    std::function<void(const Told &)> hook; // set before a task can report

private:
    std::mutex m_lock;
    std::vector<Told> m_told;
};

std::string Settings()
{
    using devtest::Section;
    return Section("DevMgr", {{"VideoSrc", "{\"PV1\",\"PV2\"}"}}) +
           Section("PV1", {{"class", "CStubPreviewSrc"}}) +
           Section("PV2", {{"class", "CStubPreviewSrc"}});
}

// A device manager whose sources PV1 and PV2 are stub sources ("GHOST" is not configured),
// and a preview manager "Main" whose threads wait on the program's manual clock.
class PreviewTest : public ::testing::Test {
protected:
    PreviewTest() : m_settings(Settings())
    {
        m_devMgr.Initlization("/etc/tvx/DevMgr");
        Src("PV1").Clear();
        m_waiters = plat::TestClock::TimedWaiters();
    }
    ~PreviewTest() override
    {
        for (const char *id : {"PV1", "PV2"})
            if (auto *source = dynamic_cast<CStubPreviewSrc *>(m_devMgr.GetVideoSrcDev(id, 0)))
                source->release.Set();
    }

    CStubPreviewSrc &Src(const char *id)
    {
        auto *source = dynamic_cast<CStubPreviewSrc *>(m_devMgr.GetVideoSrcDev(id, 1));
        EXPECT_NE(source, nullptr) << id;
        return *source;
    }
    // Both preview threads sit in their timed waits.
    bool Idle() { return plat::TestClock::WaitForTimedWaiters(m_waiters + 2); }
    // A task on PV1 (id 100) cued and idle.
    int32_t AddCued()
    {
        const int32_t id = m->AddTask(told.Task("PV1"));
        m->RequestCue(id);
        EXPECT_TRUE(Eventually([&] { return told.Has({id, PREVIEW_CUED, 0}); }));
        EXPECT_TRUE(Idle());
        Src("PV1").Clear();
        return id;
    }

    devtest::MountedSettings m_settings;
    CVideoDevMgr m_devMgr;
    devtest::DeleteDevices m_cleanup{{"PV1", "PV2"}};
    Callbacks told;
    int m_waiters = 0;
    CVideoPreviewTaskMgr mgr;
    IVideoPreviewTaskMgr *m = mgr.operator->();
};

} // namespace

TEST_F(PreviewTest, AddTaskGivesFreeIdsAndTheLookupsCopyOrZero)
{
    EXPECT_EQ(m->AddTask(told.Task("PV1")), 100);
    EXPECT_EQ(m->AddTask(told.Task("PV1")), 103);
    EXPECT_EQ(m->AddTask(told.Task("PV1", "CLIP1", 100)), 106) << "100 and 103 are taken";
    EXPECT_EQ(m->AddTask(told.Task("PV2", "CLIP2", 7)), 7);
    EXPECT_EQ(m->GetTaskCount(), 4);

    tagVideoPreviewTask task;
    ASSERT_EQ(m->GetTask(7, task), 1);
    EXPECT_STREQ(task.Dev, "PV2");
    EXPECT_STREQ(task.ID, "CLIP2");
    EXPECT_EQ(task.Status, PREVIEW_ADDED) << "a new task starts at status 1 whatever it held";
    EXPECT_EQ(task.Position, 0);
    EXPECT_EQ(task.CueMode, 7);
    ASSERT_EQ(m->GetTaskAt(1, task), 1);
    EXPECT_EQ(task.PreviewID, 103);

    for (int32_t found : {m->GetTask(5, task), m->GetTaskAt(4, task), m->GetTaskAt(-1, task)}) {
        EXPECT_EQ(found, 0);
        EXPECT_EQ(task.PreviewID, 0);
        EXPECT_STREQ(task.Dev, "");
        EXPECT_EQ(task.pUserData, nullptr);
    }
    EXPECT_EQ(m->RemoveTask(103), 1);
    EXPECT_EQ(m->RemoveTask(103), 0);
    EXPECT_EQ(m->AddTask(told.Task("PV1")), 103) << "a freed id is given again";
    EXPECT_TRUE(told.All().empty()) << "adding and removing tell nothing";

    // Names that fill their fields to the last byte are kept cut, never read past the field.
    tagVideoPreviewTask full = told.Task("PV1");
    std::memset(full.ID.szText, 'C', sizeof full.ID.szText);
    std::memset(full.Dev.szText, 'D', sizeof full.Dev.szText);
    ASSERT_EQ(m->GetTask(m->AddTask(full), task), 1);
    EXPECT_EQ(std::string(task.ID), std::string(31, 'C'));
    EXPECT_EQ(std::string(task.Dev), std::string(31, 'D'));
}

TEST_F(PreviewTest, OnlyTheFirstTaskIsCuedOnTheCommandThreadAndRetriedUntilItIsCued)
{
    CStubPreviewSrc &pv1 = Src("PV1");
    CStubPreviewSrc &pv2 = Src("PV2");
    pv2.Clear();
    pv1.cueResult = 0;
    told.probe = m;
    const int32_t first = m->AddTask(told.Task("PV1"));
    const int32_t second = m->AddTask(told.Task("PV2"));
    EXPECT_EQ(m->RequestCue(second), 1);
    EXPECT_EQ(m->RequestCue(first), 1);
    EXPECT_EQ(m->RequestCue(999), 0);

    // Each wake of the command thread tries the whole cue again; the wakes of adding and
    // requesting may or may not coalesce, so the test counts attempts, not calls.
    const auto onlyAttempts = [&](const std::vector<std::string> &attempt) {
        const auto calls = pv1.Calls();
        if (calls.empty() || calls.size() % attempt.size()) return false;
        for (auto at = calls.begin(); at != calls.end(); at += attempt.size())
            if (!std::equal(attempt.begin(), attempt.end(), at)) return false;
        return true;
    };
    const std::vector<std::string> cue{"Open", "EE0", "Cue(CLIP1,10,250,7)"};
    ASSERT_TRUE(Eventually([&] { return pv1.Has(cue.back()); }));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(onlyAttempts(cue));
    EXPECT_NE(pv1.cueThread, plat::GetCurrentThreadId());
    tagVideoPreviewTask task;
    m->GetTask(first, task);
    EXPECT_EQ(task.Status, PREVIEW_CUE_WANTED) << "a failed cue leaves the task waiting";

    pv1.Clear();
    pv1.cueThrows = true;
    plat::TestClock::Advance(500);
    ASSERT_TRUE(Eventually([&] { return pv1.Has(cue.back()); }));
    ASSERT_TRUE(Idle()) << "a throwing source leaves the command thread running";
    EXPECT_TRUE(onlyAttempts(cue));

    pv1.Clear();
    pv1.cueResult = 1;
    pv1.open = 0;
    plat::TestClock::Advance(500);
    ASSERT_TRUE(Eventually([&] { return pv1.Has("Open"); }));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(onlyAttempts({"Open"})) << "a source that did not open is not cued";

    pv1.open = 1;
    plat::TestClock::Advance(500);
    ASSERT_TRUE(Eventually([&] { return told.Has({first, PREVIEW_CUED, 0}); }));
    m->GetTask(first, task);
    EXPECT_EQ(task.Status, PREVIEW_CUED);
    EXPECT_EQ(told.Statuses(), (std::vector<Told>{{second, PREVIEW_CUE_WANTED, 0},
                                                  {first, PREVIEW_CUE_WANTED, 0},
                                                  {first, PREVIEW_CUED, 0}}));
    EXPECT_TRUE(pv2.Calls().empty()) << "the second task waits its turn";
    EXPECT_FALSE(told.lockHeld) << "callbacks run with the manager's lock free";
}

TEST_F(PreviewTest, ControlCommandsReachTheirSourceOperationsInOrder)
{
    const int32_t id = AddCued();
    CStubPreviewSrc &pv1 = Src("PV1");
    CVideoPreviewControl control(id, "Main");
    EXPECT_EQ(control->Jog(-5), 1);
    EXPECT_EQ(control->Play(), 1);
    EXPECT_EQ(control->PlaySpeed(2.5), 1);
    EXPECT_EQ(control->PlayNormal(), 1);
    EXPECT_EQ(control->Goto(1234), 1);
    EXPECT_EQ(control->Stop(), 1);
    EXPECT_EQ(control->Eject(), 1);
    EXPECT_EQ(control->Reserved(), 0);
    ASSERT_TRUE(Eventually([&] { return pv1.Calls().size() == 7; }));
    EXPECT_EQ(pv1.Calls(), (std::vector<std::string>{"Jog(-5)", "Play(1)", "Play(2.5)", "Play(1)",
                                                     "Goto(1234)", "Stop", "Eject"}));

    int32_t size = 0;
    EXPECT_EQ(control->GetClipSize("PV1", "CLIP1", size), 1);
    EXPECT_EQ(size, 4500);
    EXPECT_EQ(control->GetClipSize("PV1", "MISSING", size), 0) << "the source's failure";
    EXPECT_EQ(control->GetClipSize("GHOST", "CLIP1", size), 0);
    EXPECT_EQ(control->GetClipSize("PV2", "CLIP1", size), 0) << "PV2 does not live yet";
    EXPECT_EQ(m_devMgr.GetVideoSrcDev("PV2", 0), nullptr) << "asking does not create it";

    // Still runs on the caller's thread and ends a play in progress.
    pv1.Clear();
    pv1.playMode = CStubPreviewSrc::kUntilStopped;
    control->Play();
    ASSERT_TRUE(Eventually([&] { return pv1.Has("Play(1)"); }));
    EXPECT_EQ(control->Still(), 1);
    EXPECT_EQ(pv1.stillThread, plat::GetCurrentThreadId());
    ASSERT_TRUE(Eventually([&] { return pv1.Has("PlayStopped"); }));
    EXPECT_TRUE(pv1.Has("Still"));
}

TEST_F(PreviewTest, CloseTellsReleasesRemovesAndDetachesEveryCopyOfTheControl)
{
    const int32_t first = AddCued();
    const int32_t second = m->AddTask(told.Task("PV2"));
    m->RequestCue(second);
    CStubPreviewSrc &pv1 = Src("PV1");
    CStubPreviewSrc &pv2 = Src("PV2");
    pv2.Clear();

    CVideoPreviewControl control(first, "Main");
    CVideoPreviewControl copy = control;
    EXPECT_EQ(control->Close(), 1);
    ASSERT_TRUE(Eventually([&] { return m->GetTaskCount() == 1; }));
    EXPECT_EQ(pv1.Calls(), (std::vector<std::string>{"EE2", "Stop"}));
    EXPECT_TRUE(told.Has({first, PREVIEW_POSITION_REPORT, 0}));
    EXPECT_TRUE(told.Has({first, PREVIEW_RELEASED, 0}));
    EXPECT_EQ(copy->Play(), 0) << "the copy shares the detached control";
    EXPECT_EQ(control->Close(), 0);
    EXPECT_TRUE(Eventually([&] {
        return told.Has({second, PREVIEW_CUED, 0});
    })) << "the next task becomes first and is cued";

    pv2.Clear();
    CVideoPreviewControl other(second, nullptr); // the first manager registered
    EXPECT_EQ(other->CloseDevice(), 1);
    ASSERT_TRUE(Eventually([&] { return m->GetTaskCount() == 0 && pv2.Has("Close"); }));
    EXPECT_EQ(pv2.Calls(), (std::vector<std::string>{"EE2", "Stop", "Close"}));
    EXPECT_EQ(other->Stop(), 0);
}

TEST_F(PreviewTest, AControlWithoutItsManagerAnswersZeroToEverything)
{
    m->AddTask(told.Task("PV1"));
    CVideoPreviewControl control(100, "main"); // names compare exactly
    int32_t size = -1;
    for (int32_t result :
         {control->Jog(1), control->Still(), control->PlaySpeed(2.0), control->Play(),
          control->GetClipSize("PV1", "CLIP1", size), control->Reserved(), control->PlayNormal(),
          control->Eject(), control->Stop(), control->Goto(3), control->Close(),
          control->CloseDevice()})
        EXPECT_EQ(result, 0);
    EXPECT_EQ(size, -1);
    EXPECT_TRUE(Src("PV1").Calls().empty());
}

TEST_F(PreviewTest, TheFirstCuedTaskReportsItsPositionEvery100ms)
{
    CStubPreviewSrc &pv1 = Src("PV1");
    const int32_t id = m->AddTask(told.Task("PV1"));
    m->AddTask(told.Task("PV2"));
    m->RequestCue(103);
    ASSERT_TRUE(Idle());
    plat::TestClock::Advance(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(told.Of(PREVIEW_POSITION_REPORT).empty()) << "nothing is cued yet";

    m->RequestCue(id);
    ASSERT_TRUE(Eventually([&] { return told.Has({id, PREVIEW_CUED, 0}); }));
    ASSERT_TRUE(Idle());
    plat::TestClock::Advance(100);
    ASSERT_TRUE(Eventually([&] { return told.Of(PREVIEW_POSITION_REPORT).size() == 1; }));
    ASSERT_TRUE(Idle());
    pv1.position = 300;
    plat::TestClock::Advance(99);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(told.Of(PREVIEW_POSITION_REPORT).size(), 1u) << "a report came early";
    plat::TestClock::Advance(1);
    ASSERT_TRUE(Eventually([&] { return told.Of(PREVIEW_POSITION_REPORT).size() == 2; }));
    EXPECT_EQ(
        told.Of(PREVIEW_POSITION_REPORT),
        (std::vector<Told>{{id, PREVIEW_POSITION_REPORT, 250}, {id, PREVIEW_POSITION_REPORT, 300}}))
        << "only the first task reports";

    // A source in the main/backup virtual mode is not asked: the report carries 0.
    ASSERT_TRUE(Idle());
    pv1.OnSetVirtual(1);
    const int reads = pv1.positionReads;
    plat::TestClock::Advance(100);
    ASSERT_TRUE(Eventually([&] { return told.Of(PREVIEW_POSITION_REPORT).size() == 3; }));
    EXPECT_EQ(told.Of(PREVIEW_POSITION_REPORT).back(), (Told{id, PREVIEW_POSITION_REPORT, 0}));
    EXPECT_EQ(pv1.positionReads, reads);
}

TEST_F(PreviewTest, ThreadsEndWithTheLastTaskAndAddTaskStartsThemAgain)
{
    AddCued();
    m->RemoveAll();
    EXPECT_EQ(m->GetTaskCount(), 0);
    ASSERT_TRUE(Eventually([&] { return plat::TestClock::TimedWaiters() == m_waiters; }))
        << "both threads ended without the clock moving";

    const int32_t id = m->AddTask(told.Task("PV1"));
    m->RequestCue(id);
    EXPECT_TRUE(Eventually([&] { return told.Has({id, PREVIEW_CUED, 0}); }));
    EXPECT_TRUE(Idle());
}

TEST_F(PreviewTest, TheRegistryFindsManagersByExactNameAndHandlesShareOneManager)
{
    EXPECT_EQ(GetVideoPreviewTaskMgr("Main"), m);
    EXPECT_EQ(GetVideoPreviewTaskMgr(""), m) << "the only manager";
    EXPECT_EQ(GetVideoPreviewTaskMgr(nullptr), m);
    EXPECT_EQ(GetVideoPreviewTaskMgr("MAIN"), nullptr);
    EXPECT_EQ(SetVideoPreviewTaskMgr("Studio", m), 1);
    EXPECT_EQ(GetVideoPreviewTaskMgr("Studio"), m);
    EXPECT_EQ(SetVideoPreviewTaskMgr("Studio", nullptr), 1);
    EXPECT_EQ(GetVideoPreviewTaskMgr("Studio"), nullptr);

    {
        CVideoPreviewTaskMgr copy = mgr;
        CVideoPreviewTaskMgr assigned;
        EXPECT_EQ(GetVideoPreviewTaskMgr("Main"), assigned.operator->()) << "the newest is Main";
        SetVideoPreviewTaskMgr("Second", assigned.operator->());
        CVideoPreviewControl orphan(100, "Second");
        assigned = copy; // releases the second manager
        EXPECT_EQ(GetVideoPreviewTaskMgr("Second"), nullptr) << "a released manager leaves";
        EXPECT_EQ(GetVideoPreviewTaskMgr("Main"), nullptr);
        EXPECT_EQ(orphan->Play(), 0) << "its controls outlive it, detached";
        EXPECT_EQ(assigned.operator->(), m);
    }
    EXPECT_EQ(m->AddTask(told.Task("PV1")), 100) << "copies going leave the manager alive";

    // A manager released while another holds "Main" leaves that registration alone.
    auto older = std::make_unique<CVideoPreviewTaskMgr>();
    SetVideoPreviewTaskMgr("Main", m);
    older.reset();
    EXPECT_EQ(GetVideoPreviewTaskMgr("Main"), m);
}

TEST_F(PreviewTest, ReleaseEndsAPlayThatHonoursTheStopAndGivesUpOneThatDoesNot)
{
    CStubPreviewSrc &pv1 = Src("PV1");
    pv1.playMode = CStubPreviewSrc::kUntilStopped;
    {
        CVideoPreviewTaskMgr local;
        const int32_t id = local->AddTask(told.Task("PV1"));
        CVideoPreviewControl(id, "Main")->Play();
        ASSERT_TRUE(Eventually([&] { return pv1.Has("Play(1)"); }));
        auto release = std::async(std::launch::async, [this, &local] { local = mgr; });
        EXPECT_EQ(release.wait_for(std::chrono::seconds(5)), std::future_status::ready)
            << "the stop ends the play without the clock moving";
        EXPECT_TRUE(pv1.Has("PlayStopped"));
    }

    pv1.Clear();
    pv1.playMode = CStubPreviewSrc::kIgnoresStop;
    auto local = std::make_unique<CVideoPreviewTaskMgr>();
    const int32_t id = (*local)->AddTask(told.Task("PV1"));
    CVideoPreviewControl control(id, "Main");
    control->Play();
    ASSERT_TRUE(Eventually([&] { return pv1.Has("Play(1)"); }));
    const uint32_t before = plat::GetTickCount();
    devtest::RunAdvancing([&] { local.reset(); });
    EXPECT_GE(plat::TickDiff(plat::GetTickCount(), before), 1000) << "the stop waited its bound";
    EXPECT_EQ(control->Stop(), 0) << "the released manager takes no commands";

    pv1.release.Set(); // the given-up thread returns into a manager that still holds
    ASSERT_TRUE(Eventually([&] { return pv1.Has("PlayReleased"); }));
}

TEST_F(PreviewTest, AShutdownFromACallbackDoesNotWaitForItsOwnThread)
{
    told.hook = [this](const Told &t) {
        if (std::get<1>(t) == PREVIEW_CUED) m->Shutdown();
    };
    const int32_t id = m->AddTask(told.Task("PV1"));
    m->RequestCue(id);
    ASSERT_TRUE(Eventually([&] { return told.Has({id, PREVIEW_CUED, 0}); }));
    EXPECT_TRUE(Eventually([&] { return plat::TestClock::TimedWaiters() == m_waiters; }))
        << "both threads ended without the clock moving";
    EXPECT_EQ(m->GetTaskCount(), 0);
}
