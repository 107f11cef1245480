// A preset that cannot be cued (its device is not in the list, its source finds no clip, its
// cue never comes) or that never starts is retried, and may still start late, until the moment
// the next task must be prepared (the next task's start less its source's PrepareTime and
// PlayBeforeTime) or, when that comes later, the end of its own slot; then it is passed over:
// ended with its flags (flagged first when it has none), told as ended, given the stop's
// statuses by a variant-3 manager, and the next task becomes the preset and plays. Both
// manager variants, the process unit's steps run by the test on the manual clock.
#include "tests/tasks/BroTaskTestKit.h"

#include <algorithm>
#include <memory>
#include <ostream>

using namespace brotest;

namespace {

using V = std::vector<int32_t>;

// The stub sources' PrepareTime and PlayBeforeTime (CVideoSrcA's defaults), together.
constexpr int64_t kStubLead = 3 * kSecond;
constexpr int64_t kStep = 100 * kMs; // between two rounds of the steps

// One cue attempt of a stub source on the preset: the tick of the attempt in param 2, then
// `outcome` (the preset's id) and the attempt's result.
template <class Outcome> int32_t Attempt(IVideoBroTaskMgr &mgr, Outcome outcome)
{
    tagVideoBroTask pst;
    mgr.GetPstTask(pst);
    mgr.SetTaskParam(pst.TaskID, static_cast<int32_t>(plat::GetTickCount()), BROTASK_PARAM_2);
    return outcome(pst.TaskID);
}

// A source that never finds the clip, as a video server without it.
int32_t ClipMissing(IVideoBroTaskMgr &mgr)
{
    return Attempt(mgr, [&](int32_t id) { return mgr.SetTaskFlag(id, BROTASK_FLAG_CLIP), 0; });
}

// A source whose cue is under way and never confirmed, with nothing failed yet.
int32_t CueNeverComes(IVideoBroTaskMgr &mgr)
{
    return Attempt(mgr, [&](int32_t id) { return mgr.SetTaskStatus(id, BROTASK_CUING), 0; });
}

// A source that cues the preset and then never starts it.
int32_t Cued(IVideoBroTaskMgr &mgr)
{
    return Attempt(mgr, [&](int32_t id) { return mgr.SetTaskStatus(id, BROTASK_ENDCUE), 1; });
}
int32_t NeverStarts(IVideoBroTaskMgr &)
{
    return 1;
}

enum class Fault { UnknownDevice, MissingClip, CueNeverComes, NeverStarts };

struct LostCase {
    const char *name;
    int variant;
    Fault fault;
    int64_t nextIn; // the next task's start, variant 1 (variant 3 follows the lost task's end)
    // The flag told for the lost task and when it is passed over.
    int32_t flag;
    int64_t passedAt;
};

// The lost task's slot is 10 s from now for 10 s.
constexpr int64_t kLostStart = 10 * kSecond;
constexpr int64_t kLostEnd = 20 * kSecond;

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

void PrintTo(const LostCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string Name(const ::testing::TestParamInfo<LostCase> &info)
{
    return info.param.name;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Cases, LostPresetTest,
                         ::testing::Values(
                             // The next task far off: the lost one's slot ends first.
                             LostCase{"UnknownDeviceNextFarVariant1", 1, Fault::UnknownDevice,
                                      25 * kSecond, BROTASK_FLAG_DEVICE, kLostEnd},
                             LostCase{"MissingClipNextFarVariant1", 1, Fault::MissingClip,
                                      25 * kSecond, BROTASK_FLAG_CLIP, kLostEnd},
                             // The next one must be prepared before the lost one's slot ends.
                             LostCase{"UnknownDeviceNextNearVariant1", 1, Fault::UnknownDevice,
                                      21 * kSecond, BROTASK_FLAG_DEVICE, 21 * kSecond - kStubLead},
                             LostCase{"MissingClipNextNearVariant1", 1, Fault::MissingClip,
                                      21 * kSecond, BROTASK_FLAG_CLIP, 21 * kSecond - kStubLead},
                             LostCase{"UnknownDeviceVariant3", 3, Fault::UnknownDevice, 0,
                                      BROTASK_FLAG_DEVICE, kLostEnd - kStubLead},
                             LostCase{"MissingClipVariant3", 3, Fault::MissingClip, 0,
                                      BROTASK_FLAG_CLIP, kLostEnd - kStubLead},
                             // Nothing has failed: it may still be cued until its start.
                             LostCase{"CueNeverComesNextEarlyVariant1", 1, Fault::CueNeverComes,
                                      12 * kSecond, BROTASK_FLAG_CUE, kLostStart},
                             LostCase{"CueNeverComesVariant3", 3, Fault::CueNeverComes, 0,
                                      BROTASK_FLAG_CUE, kLostEnd - kStubLead},
                             // A cued task that never starts keeps its slot.
                             LostCase{"NeverStartsVariant1", 1, Fault::NeverStarts, 21 * kSecond,
                                      BROTASK_FLAG_DEVICE, kLostEnd},
                             LostCase{"NeverStartsVariant3", 3, Fault::NeverStarts, 0,
                                      BROTASK_FLAG_DEVICE, kLostEnd}),
                         Name);

TEST_P(LostPresetTest, ItIsPassedOverWhenTheNextTaskMustBePreparedOrItsSlotHasEnded)
{
    const LostCase &c = GetParam();
    IVideoBroTaskMgr &m = Mgr();
    CVideoBroTaskTPU &tpu = StepOnly(m);
    const char *dev = c.fault == Fault::UnknownDevice ? "GHOST" : "SRC1";
    Src("SRC1").onCue = c.fault == Fault::MissingClip     ? ClipMissing
                        : c.fault == Fault::CueNeverComes ? CueNeverComes
                                                          : Cued;
    Src("SRC1").onPlay = NeverStarts;
    Src("SRC2").onPlay = PlayPreset;
    const int64_t origin = Now();
    const TaskList list{calls.Task(1, dev, kLostStart, 250),
                        calls.Task(2, "SRC2", c.variant == 1 ? c.nextIn : 30 * kSecond, 250)};
    ASSERT_EQ(Submit(list), 1);

    // Rounds of the steps until the next task is on air; the lost one is retried meanwhile.
    int64_t passedAt = -1;
    for (int round = 0; round < 300 && !calls.Count(2, BROTASK_BEGINPLAY); ++round) {
        tpu.CueStep();
        tpu.NewStep();
        tpu.TraceStep();
        if (passedAt < 0 && calls.Count(1, BROTASK_ENDPLAY)) passedAt = Now() - origin;
        plat::TestClock::Advance(static_cast<uint32_t>(kStep / kMs));
    }
    ASSERT_GE(passedAt, 0) << "passed over";
    EXPECT_GE(passedAt, c.passedAt) << "not before its moment";
    // The framework clock reads a little past the manual clock's whole milliseconds.
    EXPECT_LE(passedAt, c.passedAt + kStep + kMs) << "at the first round from its moment";

    V told{BROTASK_ERRNOTIFY, BROTASK_ENDPLAY};
    if (c.fault == Fault::CueNeverComes) told = {BROTASK_CUING, BROTASK_ERRNOTIFY, BROTASK_ENDPLAY};
    if (c.fault == Fault::NeverStarts) told = {BROTASK_ENDCUE, BROTASK_ERRNOTIFY, BROTASK_ENDPLAY};
    if (c.variant == 3) told.insert(told.end(), {BROTASK_EJECTBEGIN, BROTASK_EJECTEND});
    // Each try of the stub source tells its status again.
    V statuses = calls.Statuses(1);
    statuses.erase(std::unique(statuses.begin(), statuses.end()), statuses.end());
    EXPECT_EQ(statuses, told) << "flagged once, then ended";
    EXPECT_EQ(calls.First(1, BROTASK_ERRNOTIFY).extra, c.flag);
    EXPECT_EQ(m.PopEndedTask(nullptr), 0) << "a task that never played needs no stop";
    EXPECT_EQ(calls.Count(2, BROTASK_BEGINPLAY), 1) << "the next task became the preset";
    EXPECT_EQ(calls.Count(1, BROTASK_BEGINPLAY), 0);
    tagVideoBroTask lost;
    lost.TaskID = 0;
    m.GetTask(1, lost);
    if (c.variant == 3) {
        EXPECT_EQ(lost.Status, BROTASK_EJECTEND) << "played tasks stay in a variant-3 list";
        EXPECT_EQ(lost.Flags, static_cast<uint32_t>(c.flag)) << "with its flags";
    } else {
        EXPECT_EQ(lost.TaskID, 0) << "ended tasks leave a variant-1 list";
    }
    EXPECT_TRUE(HasLine(tpuLog, "pst task never aired, ended,(id=CLIP1 dev=" + std::string(dev)));
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
