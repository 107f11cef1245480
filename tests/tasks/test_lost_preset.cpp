// A preset that can never be cued (its device is not in the list, or its source finds no clip)
// is retried and may still start late while its slot lasts; once the whole slot has passed it
// is ended with its flags, told as ended, and the next task becomes the preset and plays. Both
// manager variants, the process unit's steps run by the test on the manual clock.
#include "tests/tasks/BroTaskTestKit.h"

#include <memory>

using namespace brotest;

namespace {

using V = std::vector<int32_t>;

struct LostCase {
    const char *name;
    int variant;
    const char *dev; // the lost task's device
    int32_t flag;    // what its failures flag
};

class LostPresetTest : public BroTaskTest, public ::testing::WithParamInterface<LostCase> {
protected:
    IVideoBroTaskMgr &Mgr()
    {
        if (GetParam().variant == 1) return *m_one->operator->();
        return *m_three->operator->();
    }
    int32_t Submit(const TaskList &list)
    {
        // A variant-3 manager is told its first preset; it would otherwise wait for a take.
        if (GetParam().variant == 1) return (*m_one)->Submit(list, 0);
        return (*m_three)->Submit(list, list[0].TaskID);
    }

    std::unique_ptr<CVideoBroTaskMgr1> m_one =
        GetParam().variant == 1 ? std::make_unique<CVideoBroTaskMgr1>() : nullptr;
    std::unique_ptr<CVideoBroTaskMgr3> m_three =
        GetParam().variant == 3 ? std::make_unique<CVideoBroTaskMgr3>() : nullptr;
};

// A source that never finds the clip, as a video server without it.
int32_t ClipMissing(IVideoBroTaskMgr &mgr)
{
    tagVideoBroTask pst;
    mgr.GetPstTask(pst);
    mgr.SetTaskParam(pst.TaskID, static_cast<int32_t>(plat::GetTickCount()), BROTASK_PARAM_2);
    mgr.SetTaskFlag(pst.TaskID, BROTASK_FLAG_CLIP);
    return 0;
}

std::string Name(const ::testing::TestParamInfo<LostCase> &info)
{
    return info.param.name;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Cases, LostPresetTest,
    ::testing::Values(LostCase{"UnknownDeviceVariant1", 1, "GHOST", BROTASK_FLAG_DEVICE},
                      LostCase{"UnknownDeviceVariant3", 3, "GHOST", BROTASK_FLAG_DEVICE},
                      LostCase{"MissingClipVariant1", 1, "SRC1", BROTASK_FLAG_CLIP},
                      LostCase{"MissingClipVariant3", 3, "SRC1", BROTASK_FLAG_CLIP}),
    Name);

TEST_P(LostPresetTest, ItEndsOnceItsSlotHasPassedAndTheNextTaskBecomesThePresetAndPlays)
{
    IVideoBroTaskMgr &m = Mgr();
    CVideoBroTaskTPU &tpu = StepOnly(m);
    Src("SRC1").onCue = ClipMissing;
    Src("SRC2").onPlay = PlayPreset;
    // The lost task's slot is 10 s from now for 10 s; the next one starts 5 s after it.
    const TaskList list{calls.Task(1, GetParam().dev, 10 * kSecond, 250),
                        calls.Task(2, "SRC2", 25 * kSecond, 250)};
    ASSERT_EQ(Submit(list), 1);

    // Retried every 3 s, and overdue but inside its slot it may still start late.
    for (int step = 0; step < 6; ++step) {
        tpu.CueStep();
        tpu.NewStep();
        plat::TestClock::Advance(3000);
    }
    plat::TestClock::Advance(1900); // 19.9 s
    tpu.CueStep();
    tpu.NewStep();
    tagVideoBroTask pst;
    EXPECT_EQ(m.GetPstTask(pst), 1) << "its slot has not passed";
    EXPECT_EQ(calls.Statuses(1), V{BROTASK_ERRNOTIFY}) << "flagged once";
    EXPECT_EQ(calls.First(1, BROTASK_ERRNOTIFY).extra, GetParam().flag);

    // The step that ends it goes on with the next task, which the stub source plays at once.
    plat::TestClock::Advance(200);
    tpu.NewStep();
    EXPECT_EQ(calls.Statuses(1), (V{BROTASK_ERRNOTIFY, BROTASK_ENDPLAY})) << "told as ended";
    EXPECT_GE(calls.First(1, BROTASK_ENDPLAY).at, list[0].GetEndTime());
    EXPECT_EQ(m.PopEndedTask(nullptr), 0) << "a task that never played needs no stop";
    EXPECT_EQ(calls.Count(2, BROTASK_BEGINPLAY), 1) << "the next task became the preset";
    EXPECT_EQ(calls.Count(1, BROTASK_BEGINPLAY), 0);
    tagVideoBroTask lost;
    lost.TaskID = 0;
    m.GetTask(1, lost);
    if (GetParam().variant == 3) {
        EXPECT_EQ(lost.Status, BROTASK_ENDPLAY) << "played tasks stay in a variant-3 list";
        EXPECT_EQ(lost.Flags, static_cast<uint32_t>(GetParam().flag)) << "with its flags";
    } else {
        EXPECT_EQ(lost.TaskID, 0) << "ended tasks leave a variant-1 list";
    }
    EXPECT_TRUE(HasLine(tpuLog, "pst task never aired, ended,(id=CLIP1 dev=" +
                                    std::string(GetParam().dev)));
}

TEST_F(BroTaskTest, APresetLeftToTheOperatorIsNeverEndedByTheClock)
{
    CVideoBroTaskMgr1 mgr;
    CVideoBroTaskTPU &tpu = StepOnly(*mgr.operator->());
    mgr->AddTask(calls.Task(1, "GHOST", 0, 25, BROTASK_START_TRIGGER));
    tpu.CueStep();
    plat::TestClock::Advance(60000);
    tpu.CueStep();
    tpu.NewStep();
    EXPECT_EQ(calls.Count(1, BROTASK_ENDPLAY), 0);
    tagVideoBroTask pst;
    EXPECT_EQ(mgr->GetPstTask(pst), 1);
}
