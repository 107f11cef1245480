#include "drivers/sources/vdcp/CVideoSrcX_MAV70.h"

#include "drivers/tasks/BroTaskLog.h"
#include "drivers/tasks/CVideoBroTaskTPU.h"
#include "drivers/tasks/IVideoBroTaskMgr.h"
#include "drivers/tasks/IVideoBroTaskTPU.h"

#include "devext/device/DeviceDescription.h"
#include "platform/Gbk.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <cstdlib>

namespace {

using brotask::LogTPU;
using brotask::ThreadId;

constexpr const char *kDescription = "DVB播出VDCP视频源(MAV70)";
constexpr int64_t kUnitsPerMs = 10000;
constexpr int64_t kUnitsPerFrame = tagVideoBroTask::kUnitsPerFrame;

// How long each holder keeps the port lock after its device call.
constexpr uint32_t kHoldAfterMs = 300;
// A trigger task stilled on its first frame settles this long after it is continued.
constexpr uint32_t kContinueSettleMs = 20;

// Stop and wait: status reads 100 ms apart, at most 30.
constexpr uint32_t kStopPollMs = 100;
constexpr int kStopPolls = 30;

// Start-time check: only while the task on air is past its first 5 frames and within its
// first half (at most 10 s).
constexpr int64_t kVerifyFromFrames = 5;
constexpr int32_t kVerifyUntilFrames = 250;
constexpr int32_t kPositionSentinel = 12345;
constexpr int kPositionReads = 10;
constexpr uint32_t kPositionReadGapMs = 10;
constexpr uint32_t kVerifySettleMs = 500;
constexpr int64_t kIgnoreDeltaMs = 79;
constexpr int64_t kCorrectDeltaMs = 500;
constexpr int64_t kSuspectDeltaMs = 10000;

// Cue to end: the decoder is stopped 0.28 s before the end of the task on air, once the end
// is less than 1.28 s away, unless the next task follows on this decoder within 2 s.
constexpr int64_t kCueToEndLead = 12800000;
constexpr int64_t kCueToEndStop = 2800000;
constexpr int64_t kFollowGap = 20000000;
constexpr uint32_t kAfterStopMs = 2300;

// Cue to first frame.
constexpr int kCueAttempts = 10;
constexpr uint32_t kRetryMs = 200;
constexpr uint32_t kCueSettleMs = 300;
constexpr uint32_t kAutoStopMs = 2000;
constexpr int kFirstFrameReads = 10;

// The port lock of one object for a task step.
class PortHold {
public:
    explicit PortHold(CSerialIO_VDCP_SHARED &port) : m_port(port) { m_port.Lock(); }
    ~PortHold() { m_port.Unlock(); }
    PortHold(const PortHold &) = delete;
    PortHold &operator=(const PortHold &) = delete;

private:
    CSerialIO_VDCP_SHARED &m_port;
};

// Sleeps on the process unit, whose stop ends the sleep (false then).
bool Nap(IVideoBroTaskTPU &tpu, uint32_t ms)
{
    return tpu.SleepUntil(brotask::Now() + ms * kUnitsPerMs) != 0;
}

// A pause between device calls: on a unit thread that is to give up it ends at once (false).
bool Pause(uint32_t ms)
{
    return CVideoBroTaskTPU::CallingUnitNap(ms);
}

bool SameDevice(const char *a, const char *b)
{
    return plat::GbkCompareNoCase(a, b) == 0;
}

CString Joined(const CStringArray &steps)
{
    CString text;
    for (int i = 0; i < steps.GetSize(); ++i) {
        if (i) text += " ";
        text += steps[i];
    }
    return text;
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSrcX_MAV70, CVideoSrcX_VDCP, kDescription, kDescription)

CVideoSrcX_MAV70::CVideoSrcX_MAV70() = default;

CVideoSrcX_MAV70::~CVideoSrcX_MAV70() = default;

template <class Step> int32_t CVideoSrcX_MAV70::Locked(Step step)
{
    const auto route = Route();
    PortHold hold(route ? *route : OwnPort());
    const int32_t result = step();
    Pause(kHoldAfterMs);
    return result;
}

// ---- cue and play steps ----

int32_t CVideoSrcX_MAV70::CueTriggerTask(IVideoBroTaskMgr *mgr, int32_t)
{
    // The trigger task is stilled on its first frame by the trace step; the cue thread is
    // told nothing more of it.
    Locked([&] { return CVideoSrcX::CueTriggerTask(mgr, 0); });
    return 0;
}

int32_t CVideoSrcX_MAV70::CueTimeTask(IVideoBroTaskMgr *mgr, int32_t)
{
    return Locked([&] { return CVideoSrcX::CueTimeTask(mgr, 0); });
}

int32_t CVideoSrcX_MAV70::RunPlayStep(const std::function<int32_t()> &step)
{
    return Locked(step);
}

int32_t CVideoSrcX_MAV70::StartTriggered(IVideoBroTaskTPU &tpu, const tagVideoBroTask &pst,
                                         const char *&what)
{
    if (pst.Value != 1) return CVideoSrcX_VDCP::StartTriggered(tpu, pst, what);
    // A task stilled on its first frame goes on from there.
    what = "ContinueTrigger";
    const int ok = DevContinue();
    if (ok && m_nPlayBeforeTime) Nap(tpu, kContinueSettleMs);
    return ok;
}

void CVideoSrcX_MAV70::LogPlay(int played, const CString &when)
{
    LogTPU("(Dev.New.%04d): Play (%s, time=%s)", ThreadId(), played ? "OK" : "failed",
           when.GetString());
}

// ---- device side ----

int CVideoSrcX_MAV70::DevCueEx(const char *clip, timecode_t som, timecode_t dur,
                               tagCallBack *callback)
{
    const auto route = Route();
    if (!route) return 0;
    int32_t size = 0;
    if (!route->GetIdSize(clip, &size)) size = 0;
    int32_t frames = dur;
    if (size > 0) {
        const int32_t remaining = size - som;
        frames = remaining >= dur + kCueOverrunFrames ? dur + kCueOverrunFrames : remaining;
    }
    return CVideoSrcX_VDCP::DevCueEx(clip, som, frames, callback);
}

int CVideoSrcX_MAV70::DevStop()
{
    return 1;
}

int32_t CVideoSrcX_MAV70::DevTaskPause(IVideoBroTaskMgr *, int32_t)
{
    ForgetClips();
    const auto route = Route();
    if (!route || !route->Stop()) return 0;
    int reads = 0;
    while (reads < kStopPolls) {
        if (!Pause(kStopPollMs)) break;
        ++reads;
        int32_t status1 = 0;
        route->GetStatus(&status1, nullptr, nullptr, 0);
        if (!(status1 & (VDCP_ST_PLAYING | VDCP_ST_STOPPED))) break;
    }
    return reads * static_cast<int32_t>(kStopPollMs);
}

// ---- trace step ----

int32_t CVideoSrcX_MAV70::DevTaskTrace(IVideoBroTaskMgr *mgr, int32_t)
{
    const auto route = Route();
    if (!route) return 0;
    PortHold hold(*route);
    tagVideoBroTask pgm, pst;
    bool onAir = mgr->GetPgmTask(pgm) != 0;
    bool preset = mgr->GetPstTask(pst) != 0;
    if (onAir) {
        VerifyStartTime(*mgr, pgm);
        if (!CueToEnd(*mgr, pgm, preset ? &pst : nullptr)) return 1;
    }
    onAir = mgr->GetPgmTask(pgm) != 0;
    preset = mgr->GetPstTask(pst) != 0;
    // Only a preset of this decoder: the trace thread also reaches the source of the task on
    // air, and another source's clip must not be cued here.
    if (!onAir && preset && pst.Value != 1 && pst.IsTrigger() && IsMine(pst)) CueToFirst(*mgr, pst);
    return 1;
}

void CVideoSrcX_MAV70::VerifyStartTime(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pgm)
{
    const int64_t elapsed = brotask::FramesSince(pgm.Start);
    const int32_t limit = std::min(pgm.DUR / 2, kVerifyUntilFrames);
    if (elapsed <= kVerifyFromFrames || elapsed >= limit) return;

    // The first read that differs from the one before (a sentinel at first) dates the
    // position.
    int32_t before = kPositionSentinel;
    int32_t position = 0;
    int64_t noted = 0;
    bool read = false;
    for (int i = 0; i < kPositionReads; ++i) {
        if (i && !Pause(kPositionReadGapMs)) return;
        timecode_t frames;
        const int ok = DevGetPosition(1, frames);
        noted = brotask::Now();
        if (!ok) continue;
        read = true;
        position = frames;
        if (position != before) break;
        before = position;
    }
    if (!Pause(kVerifySettleMs) || !read) return;

    const int64_t actual = noted - position * kUnitsPerFrame + pgm.SOM * kUnitsPerFrame;
    const int64_t delta = (actual - pgm.Start) / kUnitsPerMs;
    const int64_t size = std::llabs(delta);
    if (size <= kIgnoreDeltaMs || size >= kSuspectDeltaMs) return;
    const CString text = brotask::TimecodeText(position);
    if (size >= kCorrectDeltaMs) {
        // So late a start is believed only while the decoder plays.
        int32_t status1 = 0;
        const auto route = Route();
        if (route) route->GetStatus(&status1, nullptr, nullptr, 0);
        if (!(status1 & VDCP_ST_PLAYING) || (status1 & VDCP_ST_STOPPED)) {
            LogTPU("(TimeCodeCheck.%04d): MAV70 Stopped at %s unexcepted ", ThreadId(),
                   text.GetString());
            return;
        }
    }
    mgr.Lock();
    tagVideoBroTask *task = nullptr;
    if (mgr.FindTask(pgm.TaskID, &task) && task) task->Start = actual;
    mgr.Unlock();
    LogTPU("(VerifyStartTime.%04d):TimeCode(%s),Interval=%d", ThreadId(), text.GetString(),
           static_cast<int>(delta));
}

bool CVideoSrcX_MAV70::CueToEnd(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pgm,
                                const tagVideoBroTask *pst)
{
    if (pgm.Value == 2) return true;
    const int64_t end = pgm.GetEndTime();
    const bool followsHere =
        pst && SameDevice(pst->Dev, pgm.Dev) && pst->Start - end <= kFollowGap && !pst->IsTrigger();
    if (followsHere) return true;
    const int64_t now = brotask::Now();
    if (now <= end - kCueToEndLead) return true;

    IVideoBroTaskTPU &tpu = *mgr.GetTPU();
    const int64_t target = end - kCueToEndStop;
    const CString when = now >= target ? CString("Now") : brotask::TimeOfDayText(target);
    if (!tpu.SleepUntil(target)) return false;
    LogTPU("(CueToEnd.%04d):Begin(time=%s) , Delta = %d", ThreadId(), when.GetString(), 0);
    mgr.SetTaskValue(pgm.TaskID, 2);
    const int32_t waited = DevTaskPause(&mgr, 0);
    if (!Nap(tpu, kAfterStopMs)) return false;
    LogTPU("(StopPgm.%04d): time=%u ", ThreadId(), static_cast<unsigned>(waited));
    // The stop took the next task's cue with it.
    if (pst) mgr.SetTaskStatus(pst->TaskID, BROTASK_BEGIN);
    mgr.SetTaskStatus(pgm.TaskID, BROTASK_ENDPLAY);
    return true;
}

void CVideoSrcX_MAV70::CueToFirst(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pst)
{
    CStringArray steps;
    const bool ok = CueToFirstFrame(*mgr.GetTPU(), pst.ID, pst.SOM, pst.DUR, steps);
    mgr.SetTaskParam(pst.TaskID, static_cast<int32_t>(plat::GetTickCount()), BROTASK_PARAM_2);
    Pause(kHoldAfterMs);
    if (ok) {
        mgr.SetTaskValue(pst.TaskID, 1);
        mgr.SetTaskStatus(pst.TaskID, BROTASK_ENDCUE);
        mgr.SetTaskFlag(pst.TaskID, 0);
    } else {
        mgr.SetTaskFlag(pst.TaskID, BROTASK_FLAG_CUE);
        mgr.SetTaskStatus(pst.TaskID, BROTASK_BEGIN);
    }
    LogTPU("(CueToFirst.%04d): Pause(%s) ID=%s Process=%s", ThreadId(), ok ? "OK" : "Failed",
           pst.ID.szText, Joined(steps).GetString());
}

bool CVideoSrcX_MAV70::CueToFirstFrame(IVideoBroTaskTPU &tpu, const char *clip, int32_t som,
                                       int32_t dur, CStringArray &steps)
{
    const auto route = Route();
    if (!route) {
        steps.Add("DevErr");
        return false;
    }
    int32_t status1 = 0;
    route->GetStatus(&status1, nullptr, nullptr, 0);
    const tagVdcpClip remembered = GetCued();
    bool cued = !remembered.strName.IsEmpty() && remembered.strName == clip &&
                remembered.nSOM == som && remembered.nDUR == dur;
    if (status1 & VDCP_ST_PLAYING) {
        steps.Add("PgmAutoStop");
        route->Stop();
        if (!Nap(tpu, kAutoStopMs)) return false;
    }
    // Each failed attempt pauses 200 ms before the next.
    bool done = false;
    for (int attempt = 0; attempt < kCueAttempts && !done; ++attempt) {
        if (!cued) {
            if (!DevCueEx(clip, som, dur, nullptr)) {
                steps.Add("Cue(failed)");
                if (!Pause(kRetryMs)) return false;
                continue;
            }
            if (!Pause(kCueSettleMs)) return false;
            steps.Add("Cue(OK)");
            cued = true;
        }
        if (!DevPause()) {
            if (!Pause(kRetryMs)) return false;
            steps.Add("Pause(Failed)");
            continue;
        }
        if (som == 0) {
            done = true;
            break;
        }
        for (int reads = 1; reads <= kFirstFrameReads && !done; ++reads) {
            if (reads > 1 && !Pause(kRetryMs)) return false;
            timecode_t position;
            if (!DevGetPosition(1, position) || position != som) continue;
            if (reads > 1) {
                CString text;
                text.Format("TC(OK%u)", static_cast<unsigned>(reads));
                steps.Add(text);
            }
            done = true;
        }
        if (!done) {
            steps.Add("TC(failed)");
            if (!Pause(kRetryMs)) return false;
            steps.Add("Re Pause");
            cued = false;
        }
    }
    if (!done) return false;
    tagVdcpClip first;
    first.strName = clip;
    first.nSOM = som;
    first.nDUR = dur;
    SetCued(first);
    steps.Add("Cue2First(OK)");
    return true;
}

// ---- preview: the base source's, through the device slots ----

int CVideoSrcX_MAV70::PreviewCue(const char *clip, int32_t som, int32_t dur, int32_t position)
{
    return CVideoSrcA::PreviewCue(clip, som, dur, position);
}

int CVideoSrcX_MAV70::PreviewGoto(int32_t frame)
{
    return CVideoSrcA::PreviewGoto(frame);
}

int CVideoSrcX_MAV70::PreviewJog(int32_t frames)
{
    return CVideoSrcA::PreviewJog(frames);
}

int CVideoSrcX_MAV70::PreviewPlay(double speed, void *stop)
{
    return CVideoSrcA::PreviewPlay(speed, stop);
}

int CVideoSrcX_MAV70::PreviewStill()
{
    return CVideoSrcA::PreviewStill();
}

int CVideoSrcX_MAV70::PreviewStop()
{
    return CVideoSrcA::PreviewStop();
}

int CVideoSrcX_MAV70::PreviewGetPosition(int32_t *frames)
{
    return CVideoSrcA::PreviewGetPosition(frames);
}
