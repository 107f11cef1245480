#include "drivers/sources/line/CVideoSrcX.h"

#include "drivers/tasks/BroTaskLog.h"
#include "drivers/tasks/IVideoBroTaskMgr.h"
#include "drivers/tasks/IVideoBroTaskTPU.h"

#include "platform/Gbk.h"

#include <algorithm>

namespace {

using brotask::LogTPU;
using brotask::ThreadId;
using brotask::TimeOfDayText;

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kUnitsPerMs = 10000;
// A timed start further ahead than this (ms) is left to a later call.
constexpr int64_t kPlayWindowMs = 15001;
// The wait for the start ends this long (ms) before the pre-roll.
constexpr int64_t kPlayWaitMargin = 200;
constexpr uint32_t kTriggerWaitMs = 18000000;
constexpr int64_t kClipCheckPauseMs = 500;

} // namespace

CVideoSrcX::CVideoSrcX(const char *typeId) : CVideoSrcA(typeId) {}

HRESULT CVideoSrcX::QueryInterface(const GUID *iid, void **object)
{
    if (iid && object && IsEqualGUID(*iid, IID_IVideoBroTaskProcess)) {
        *object = static_cast<IVideoBroTaskProcess *>(this);
        return S_OK;
    }
    return CVideoSrcA::QueryInterface(iid, object);
}

bool CVideoSrcX::IsMine(const tagVideoBroTask &task)
{
    return plat::GbkCompareNoCase(task.Dev.szText, GetInstanceName()) == 0;
}

CVideoSrcX::ClipAnswer CVideoSrcX::AskClip(const char *clip, timecode_t &size)
{
    size = 0;
    DevGetClipSize(clip, size);
    return size != 0 ? ClipAnswer::Present : ClipAnswer::Absent;
}

bool CVideoSrcX::StillDue(IVideoBroTaskMgr &mgr, int32_t id)
{
    if (mgr.GetTPU()->StopAsked()) return false;
    tagVideoBroTask pst;
    return mgr.GetPstTask(pst) == id;
}

int32_t CVideoSrcX::DevTaskCue(IVideoBroTaskMgr *mgr, int32_t)
{
    tagVideoBroTask pst;
    if (!mgr->GetPstTask(pst)) return 0;
    if (!IsMine(pst)) {
        LogTPU("(Dev.Cue.%04d) : dev id incorrect", ThreadId());
        return 0;
    }
    mgr->SetTaskParam(pst.TaskID, static_cast<int32_t>(plat::GetTickCount()), BROTASK_PARAM_2);
    return pst.IsTrigger() ? CueTriggerTask(mgr, 0) : CueTimeTask(mgr, 0);
}

int32_t CVideoSrcX::DevTaskPlay(IVideoBroTaskMgr *mgr, int32_t)
{
    tagVideoBroTask pst;
    if (!mgr->GetPstTask(pst) || !IsMine(pst)) return 0;
    return pst.IsTrigger() ? PlayTrigger(mgr, 0) : Play(mgr, 0);
}

int32_t CVideoSrcX::DevTaskStop(IVideoBroTaskMgr *, int32_t)
{
    return 1;
}

int32_t CVideoSrcX::DevTaskPause(IVideoBroTaskMgr *, int32_t)
{
    return 1;
}

int32_t CVideoSrcX::DevTaskTrace(IVideoBroTaskMgr *, int32_t)
{
    return 1;
}

int32_t CVideoSrcX::CueTriggerTask(IVideoBroTaskMgr *mgr, int32_t)
{
    return Cue(*mgr, m_TriggerLead);
}

int32_t CVideoSrcX::CueTimeTask(IVideoBroTaskMgr *mgr, int32_t)
{
    return Cue(*mgr, m_TimeLead);
}

int32_t CVideoSrcX::Cue(IVideoBroTaskMgr &mgr, const tagCueLeadTime &lead)
{
    tagVideoBroTask pst;
    if (!mgr.GetPstTask(pst)) return 0;
    if (pst.Status >= BROTASK_BEGINPLAY) {
        LogTPU("(Dev.Cue.%04d) : find a invalid preset task(failed)", ThreadId());
        return 1;
    }
    const int32_t id = pst.TaskID;
    int32_t status = pst.Status;
    auto setStatus = [&](int32_t value) {
        mgr.SetTaskStatus(id, value);
        status = value;
    };
    const int64_t seconds = pst.GetTimeToStart() / kUnitsPerSecond;

    if (status < BROTASK_DEVCHKEND && seconds < lead.nDevCheck) {
        setStatus(BROTASK_DEVCHECKING);
        const bool open = DevOpen() != 0;
        if (!StillDue(mgr, id)) return 0;
        mgr.SetTaskFlag(id, open ? 0 : BROTASK_FLAG_DEVICE);
        setStatus(BROTASK_DEVCHKEND);
        if (!open) return 0;
    }
    // Each step begins only while the task is still the preset: one passed over or moved on
    // meanwhile (by another thread, or by the host on hearing the last status) is left alone.
    if (status < BROTASK_CLIPCHKEND && seconds < lead.nClipCheck) {
        if (!StillDue(mgr, id)) return 0;
        setStatus(BROTASK_CLIPCHECKING);
        timecode_t size = 0;
        const ClipAnswer answer = AskClip(pst.ID, size);
        mgr.GetTPU()->SleepUntil(brotask::Now() + kClipCheckPauseMs * kUnitsPerMs);
        if (!StillDue(mgr, id)) return 0;
        // Only the device's word that it lacks the clip makes the clip missing.
        mgr.SetTaskFlag(id, answer == ClipAnswer::Present  ? 0
                            : answer == ClipAnswer::Absent ? BROTASK_FLAG_CLIP
                                                           : BROTASK_FLAG_DEVICE);
        setStatus(BROTASK_CLIPCHKEND);
        if (answer != ClipAnswer::Present) return 0;
    }
    // A cue while a program task is on air waits until that task has started.
    tagVideoBroTask pgm;
    const bool permitted = !mgr.GetPgmTask(pgm) || brotask::FramesSince(pgm.Start) > 0;
    if (status < BROTASK_ENDCUE && permitted) {
        if (seconds >= lead.nCue) return 1;
        if (!StillDue(mgr, id)) return 0;
        setStatus(BROTASK_CUING);
        const bool cued = DevCueEx(pst.ID, pst.SOM, pst.DUR, nullptr) != 0;
        if (!StillDue(mgr, id)) return 0;
        LogTPU("(CueThrd.%04d): %s, (SOM%d), (DUR%d), time:%s, PlayCue st:%d, ret:%s ", ThreadId(),
               pst.ID.szText, pst.SOM, pst.DUR, TimeOfDayText(brotask::Now()).GetString(), status,
               cued ? "OK" : "Failed");
        mgr.SetTaskFlag(id, cued ? 0 : BROTASK_FLAG_CUE);
        if (!cued) return 0;
        setStatus(BROTASK_ENDCUE);
        mgr.SetTaskValue(id, 0);
    }
    return 1;
}

int32_t CVideoSrcX::Play(IVideoBroTaskMgr *mgr, int32_t)
{
    tagVideoBroTask pst;
    if (!mgr->GetPstTask(pst) || !IsMine(pst)) return 0;
    const int64_t ms = (pst.Start - brotask::Now()) / kUnitsPerMs;
    if (ms >= kPlayWindowMs) return 1;
    const int64_t wait = std::max<int64_t>(ms - m_nPlayBeforeTime - kPlayWaitMargin, 0);

    IVideoBroTaskTPU *tpu = mgr->GetTPU();
    int32_t cmd = 0, param = 0;
    tpu->GetUnitMsg(TPU_UNIT_NEW, &cmd, &param, static_cast<uint32_t>(wait));
    // The preset may have changed during the wait; one on another source is not ours to play.
    if (tpu->StopAsked() || !mgr->GetPstTask(pst) || !IsMine(pst)) return 0;
    if (pst.Status < BROTASK_ENDCUE) {
        LogTPU("(Dev.New.%04d): Get unCued task (ID=%s)", ThreadId(), pst.ID.szText);
        return 0;
    }
    if (cmd == TPU_CMD_CANCEL) return 1;

    const bool now = cmd == TPU_CMD_PLAY_NOW;
    if (!now) {
        // The rest of the way to the pre-roll is the unit's sleep, which its stop ends;
        // DevPlay itself then sleeps no more than the pre-roll.
        if (!tpu->SleepUntil(pst.Start - m_nPlayBeforeTime * kUnitsPerMs)) return 1;
        if (!StillDue(*mgr, pst.TaskID)) return 0;
    }
    return RunPlayStep([&] {
        const int played = DevPlay(now ? nullptr : &pst.Start);
        if (tpu->StopAsked()) return 0;
        if (!played) mgr->SetTaskFlag(pst.TaskID, BROTASK_FLAG_DEVICE);
        LogPlay(played, now ? CString("Now") : TimeOfDayText(pst.Start));
        mgr->SetTaskStatus(pst.TaskID, BROTASK_BEGINPLAY);
        return 1;
    });
}

int32_t CVideoSrcX::PlayTrigger(IVideoBroTaskMgr *mgr, int32_t)
{
    IVideoBroTaskTPU *tpu = mgr->GetTPU();
    int32_t cmd = 0, param = 0;
    if (!tpu->GetUnitMsg(TPU_UNIT_NEW, &cmd, &param, kTriggerWaitMs) || cmd == TPU_CMD_CANCEL)
        return 1;
    tagVideoBroTask pst;
    if (tpu->StopAsked() || !mgr->GetPstTask(pst) || !IsMine(pst) || pst.Status < BROTASK_ENDCUE)
        return 0;
    const int64_t noted = brotask::Now();
    const char *what = "PlayTrigger";
    const int32_t started = RunPlayStep([&] { return StartTriggered(*tpu, pst, what); });
    if (!started && !tpu->StopAsked()) mgr->SetTaskFlag(pst.TaskID, BROTASK_FLAG_DEVICE);
    if (tpu->StopAsked()) return 0;
    LogTPU("(Dev.New.%04d): %s (time=%s)", ThreadId(), what, TimeOfDayText(noted).GetString());
    mgr->SetTaskStatus(pst.TaskID, BROTASK_BEGINPLAY);
    return 1;
}

int32_t CVideoSrcX::RunPlayStep(const std::function<int32_t()> &step)
{
    return step();
}

int32_t CVideoSrcX::StartTriggered(IVideoBroTaskTPU &tpu, const tagVideoBroTask &, const char *&)
{
    if (!DevPlay(nullptr)) return 0;
    tpu.SleepUntil(brotask::Now() + m_nPlayBeforeTime * kUnitsPerMs);
    return 1;
}

void CVideoSrcX::LogPlay(int, const CString &when)
{
    LogTPU("(Dev.New.%04d): Play (time=%s)", ThreadId(), when.GetString());
}
