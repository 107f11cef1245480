// What the host hears of each task, in both manager variants on the manual clock: its statuses
// in the order they happened whatever threads made them (a change made while another thread
// is still telling earlier ones waits its turn), and nothing after its last status: late
// reports of a step are dropped, and a line source's cue whose task is passed over part way
// goes no further.
#include "tests/tasks/BroTaskTestKit.h"

#include "drivers/tasks/IBroTaskMgrUnit.h"

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <ostream>
#include <thread>

using namespace brotest;

namespace {

using V = std::vector<int32_t>;
using Told = std::vector<std::pair<int32_t, int32_t>>; // {id, status}

constexpr auto kBound = std::chrono::seconds(5);

// Records the status callbacks; a callback for the chosen {id, status} holds its thread until
// Release, and `inside` runs in every callback (on the thread that makes it).
class Host {
public:
    static int32_t OnStatus(void *self, int32_t id, int32_t status, int32_t)
    {
        auto &host = *static_cast<Host *>(self);
        if (host.inside) host.inside(id, status);
        std::unique_lock<std::mutex> lk(host.m_lock);
        host.m_told.emplace_back(id, status);
        if (std::make_pair(id, status) == host.m_hold) {
            host.m_bHeld = true;
            host.m_changed.notify_all();
            host.m_changed.wait_for(lk, kBound, [&] { return host.m_bReleased; });
        }
        return 0;
    }
    tagVideoBroTask Own(tagVideoBroTask task)
    {
        task.pUserData = this;
        task.pfnCallBack = &Host::OnStatus;
        return task;
    }
    void HoldAt(int32_t id, int32_t status) { m_hold = {id, status}; }
    bool WaitHeld()
    {
        std::unique_lock<std::mutex> lk(m_lock);
        return m_changed.wait_for(lk, kBound, [&] { return m_bHeld; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_bReleased = true;
        m_changed.notify_all();
    }
    Told All()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_told;
    }
    V Statuses(int32_t id)
    {
        V statuses;
        for (const auto &[who, status] : All())
            if (who == id) statuses.push_back(status);
        return statuses;
    }

    std::function<void(int32_t, int32_t)> inside;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    Told m_told;
    std::pair<int32_t, int32_t> m_hold{0, 0};
    bool m_bHeld = false, m_bReleased = false;
};

class StatusOrderTest : public BroTaskTest, public ::testing::WithParamInterface<int> {
protected:
    StatusOrderTest() { StepOnly(M()); }
    IVideoBroTaskMgr &M()
    {
        if (m_one) return *m_one->operator->();
        return *m_three->operator->();
    }
    int Variant() const { return GetParam(); }
    // Tasks 1, 2 and 3 on `devs`, 10, 20 and 30 s ahead, 10 s each; task 1 is the preset.
    void AddThree(const char *dev1 = "SRC1", const char *dev2 = "SRC2")
    {
        const char *devs[] = {dev1, dev2, dev1};
        for (int32_t id : {1, 2, 3})
            M().AddTask(host.Own(calls.Task(id, devs[id - 1], 10 * kSecond * id, 250)));
        if (m_three) (*m_three)->Goto(0);
    }
    tagVideoBroTask Stored(int32_t id)
    {
        tagVideoBroTask *found = nullptr, task;
        task.TaskID = 0;
        M().Lock();
        if (M().FindTask(id, &found)) task = *found;
        M().Unlock();
        return task;
    }
    IVideoBroTaskProcess &Proc(const char *id) { return ProcOf(m_devMgr, id); }

    Host host;
    std::unique_ptr<CVideoBroTaskMgr1> m_one =
        GetParam() == 1 ? std::make_unique<CVideoBroTaskMgr1>() : nullptr;
    std::unique_ptr<CVideoBroTaskMgr3> m_three =
        GetParam() == 3 ? std::make_unique<CVideoBroTaskMgr3>() : nullptr;
};

std::string VariantName(const ::testing::TestParamInfo<int> &info)
{
    return "Variant" + std::to_string(info.param);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Variants, StatusOrderTest, ::testing::Values(1, 3), VariantName);

TEST_P(StatusOrderTest, AChangeMadeWhileAnotherThreadTellsEarlierOnesIsToldAfterThem)
{
    // Task 1 is on air; task 2 goes on air on another thread, which tells both tasks' changes,
    // and is held inside the first callback. Meanwhile this thread ends the task whose change
    // that thread has not told yet: variant 1 tells the new program first (task 1's EndPlay
    // waits), variant 3 the old one (task 2's BeginPlay waits).
    AddThree();
    M().SetTaskStatus(1, BROTASK_BEGINPLAY);
    const bool one = Variant() == 1;
    host.HoldAt(one ? 2 : 1, one ? BROTASK_BEGINPLAY : BROTASK_ENDPLAY);
    auto start =
        std::async(std::launch::async, [&] { return M().SetTaskStatus(2, BROTASK_BEGINPLAY); });
    ASSERT_TRUE(host.WaitHeld());
    // As a stop of the ended task, or the end of the new program.
    const int32_t later = one ? 1 : 2;
    M().SetTaskStatus(later, one ? BROTASK_EJECTBEGIN : BROTASK_ENDPLAY);
    host.Release();
    ASSERT_EQ(start.wait_for(kBound), std::future_status::ready);

    const V expected = one ? V{BROTASK_BEGINPLAY, BROTASK_ENDPLAY, BROTASK_EJECTBEGIN}
                           : V{BROTASK_BEGINPLAY, BROTASK_ENDPLAY};
    EXPECT_EQ(host.Statuses(later), expected) << "in the order they happened";
    EXPECT_EQ(host.All().size(), 4u) << "each told once";
}

TEST_P(StatusOrderTest, NothingIsToldForATaskAfterItsLastStatus)
{
    AddThree();
    M().SetTaskStatus(1, BROTASK_BEGINPLAY);
    V heard{BROTASK_BEGINPLAY, BROTASK_ENDPLAY};
    if (Variant() == 1) {
        M().SetTaskStatus(2, BROTASK_BEGINPLAY); // task 1 ends and waits for its stop
    } else {
        M().StopPgm(0);
        // The stop thread's statuses: a played task stays in a variant-3 list.
        tagVideoBroTask ended;
        ASSERT_EQ(M().PopEndedTask(&ended), 1);
        M().SetTaskStatus(1, BROTASK_EJECTBEGIN);
        M().SetTaskStatus(1, BROTASK_EJECTEND);
        heard.insert(heard.end(), {BROTASK_EJECTBEGIN, BROTASK_EJECTEND});
    }
    ASSERT_EQ(host.Statuses(1), heard);
    const int32_t last = heard.back();

    // Late reports of the steps it went through, as a source's cue or start still under way.
    for (const int32_t status : {BROTASK_CLIPCHECKING, BROTASK_ENDCUE, BROTASK_BEGINPLAY,
                                 BROTASK_PLAYING, BROTASK_ENDPLAY})
        M().SetTaskStatus(1, status);
    M().SetTaskFlag(1, BROTASK_FLAG_CLIP);
    EXPECT_EQ(host.Statuses(1), heard) << "nothing after the last status";
    EXPECT_EQ(Stored(1).Status, last);
    if (Variant() == 3) {
        M().SetTaskStatus(1, BROTASK_EJECTBEGIN);
        EXPECT_EQ(host.Statuses(1), heard) << "nor a stop's status again";
    }
    tagVideoBroTask pgm;
    EXPECT_EQ(M().GetPgmTask(pgm), Variant() == 1 ? 1 : 0);
    EXPECT_NE(pgm.TaskID, 1) << "an ended task never becomes the program again";
}

TEST_P(StatusOrderTest, ALineCueWhoseTaskIsPassedOverPartWayGoesNoFurther)
{
    // Task 1 is passed over while its device check is being reported (another thread weighed
    // it); the clip check that would come next pauses on the clock, which stands still.
    AddThree("LINE1", "LINE2");
    auto *unit = dynamic_cast<IBroTaskMgrUnit *>(&M());
    ASSERT_NE(unit, nullptr);
    host.inside = [&](int32_t id, int32_t status) {
        if (id == 1 && status == BROTASK_DEVCHKEND)
            unit->PassOverPst(1, Now(), true, BROTASK_FLAG_CUE);
    };
    IVideoBroTaskProcess &line = Proc("LINE1");
    auto cue = std::async(std::launch::async, [&] { return line.DevTaskCue(&M(), 0); });
    const bool atOnce = cue.wait_for(kBound) == std::future_status::ready;
    if (!atOnce)
        devtest::AdvanceUntil([&] {
            return cue.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
        });
    EXPECT_TRUE(atOnce) << "no clip check for a task passed over";
    EXPECT_EQ(cue.get(), 0);

    V heard{BROTASK_DEVCHECKING, BROTASK_DEVCHKEND, BROTASK_ERRNOTIFY, BROTASK_ENDPLAY};
    if (Variant() == 3) heard.insert(heard.end(), {BROTASK_EJECTBEGIN, BROTASK_EJECTEND});
    EXPECT_EQ(host.Statuses(1), heard);
    tagVideoBroTask pst;
    EXPECT_EQ(M().GetPstTask(pst), 2);
    EXPECT_EQ(pst.Status, BROTASK_BEGIN) << "the next task is left to its own cue";
}
