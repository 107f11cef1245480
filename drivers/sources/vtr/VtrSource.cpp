#include "drivers/sources/vtr/VtrSource.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CFileTime.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/CSerialIO.h"
#include "drivers/model/TickInterval.h"

#include <cstring>

namespace vtrsource {

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr uint32_t kTraceSpacingMs = 2000;
constexpr int64_t kEndNearMs = 3000;
// A preset still to be cued this far from its start gets one more cue pass first.
constexpr int64_t kLastCuePassMs = 6000;
constexpr int32_t kStatusEjected = 14;
// The frames to a start beyond which DevPlay checks the device first.
constexpr int64_t kPlayCheckFrames = 8000;
// Option bit 0: the task is due for its first cue at once.
constexpr int32_t kOptionDueNow = 1;

} // namespace

void Settings::Read(const char *path, int32_t &firstCue, int32_t &secondCue, int32_t &overOpt)
{
    CResAccess setting(path);
    bFixedMode = setting["FixedMode"].GetAsBool(bFixedMode != 0) ? 1 : 0;
    nHeadStartTime = setting["HeadStartTime"].GetAsInteger(nHeadStartTime);
    firstCue = setting["First_Cue"].GetAsInteger(firstCue);
    secondCue = setting["Second_Cue"].GetAsInteger(secondCue);
    const CString over = setting["VtrOverOpt"].GetAsString("");
    if (!over.IsEmpty()) overOpt = CVideoSrcA::ParseVtrOverOpt(over);
    CString tc = setting["TCType"].GetAsString("");
    if (!tc.IsEmpty()) {
        tc.MakeUpper();
        nTCType = tc == "LTC" || tc == "TC" ? 1 : 0;
    }
}

void SetTimingDefaults(int32_t &playBefore, int32_t &prepare, int32_t &devCheck, int32_t &clipCheck,
                       int32_t &firstCue, int32_t &secondCue, int32_t &pollInterval)
{
    playBefore = 5000;
    prepare = 3000;
    devCheck = 6000;
    clipCheck = 900;
    firstCue = 600;
    secondCue = 30;
    pollInterval = 3000;
}

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

const char *OkFailed(int result)
{
    return result ? "OK" : "failed";
}

int CheckCompatible(CVideoSrcA &source, const char *type, const char *clip)
{
    if (!type || std::strncmp(type, kDeviceType, std::strlen(kDeviceType)) != 0) return 0;
    timecode_t size = 0;
    source.DevGetClipSize(clip, size);
    return size != 0 ? 1 : 0;
}

int32_t CueTarget(int32_t som, int32_t playBeforeMs)
{
    return som - playBeforeMs / 40;
}

int32_t WithinDay(int32_t frames)
{
    while (frames > kFramesPerDay) frames -= kFramesPerDay;
    return frames;
}

int64_t SecondsToStart(const CVideoPlayTask &task, int32_t firstCue)
{
    if (task.m_nOption & kOptionDueNow) return firstCue - 1;
    return (task.m_nStart - Now()) / kUnitsPerSecond;
}

int RunCommand(bool ready, const std::function<int()> &command, const char *line)
{
    if (!ready) return 0;
    const int result = command();
    glReportDbg(kDevLog, line, OkFailed(result));
    return result;
}

int RunPlay(const int64_t *at, const PlayStep &step)
{
    const bool near = at && (*at - Now()) / kUnitsPerMs * 25 / 1000 <= kPlayCheckFrames;
    if (!near && !step.ready()) return 0;
    if (at) {
        if (step.beforeSleep) step.beforeSleep();
        if (!glSleepUntilSpecialTime(*at - step.leadMs * kUnitsPerMs, step.closing)) return 0;
    }
    const int played = step.play();
    char start[CFileTime::kDateTimeTextSize];
    glReportDbg(kDevLog, "trace; DevPlay time=%s return=%s",
                at ? CFileTime(*at).GetAsString(start) : "NULL", OkFailed(played));
    if (at) {
        plat::WaitForAny({&step.closing}, static_cast<uint32_t>(step.afterMs));
        if (step.logSleep) glReportDbg(kDevLog, "trace;Sleep %d s", step.afterMs);
    }
    return played;
}

namespace {

// The start of a virtual source: at the start time the preset goes on air untouched.
int StartVirtually(CVideoSrcA &source, const CVideoPlayTask &preset, const StartStep &step)
{
    char start[CFileTime::kDateTimeTextSize];
    char dur[timecode_t::kTextSize];
    if (step.logVirtual)
        glReportDbg(kTaskLog,
                    "Virtual DEV Prepare to Start new Task(TaskID=%d,id=%s,start=%s,dur=%s,dev=%s)",
                    preset.m_nTaskID, preset.m_strClipID.GetString(),
                    CFileTime(preset.m_nStart).GetAsString(start),
                    timecode_t(preset.m_nDUR).GetAsString(dur), source.GetInstanceName());
    if (!glSleepUntilSpecialTime(preset.m_nStart, step.closing)) return 0;
    CVideoPlayTask task;
    if (!source.GetPlayList().GetPresetTask(task, 1)) return 0;
    task.m_nFlags = 0;
    source.GetPlayList().SetActiveTask(task);
    return 1;
}

} // namespace

int RunStartStep(CVideoSrcA &source, const StartStep &step)
{
    CVideoPlayTaskList &list = source.GetPlayList();
    CVideoPlayTask preset;
    if (!list.GetPresetTask(preset, 0)) return 0;
    const int64_t ms = (preset.m_nStart - Now()) / kUnitsPerMs;
    const bool far =
        ms > static_cast<int64_t>(source.GetPrepareTime()) + source.GetPlayBeforeTime();
    // A virtual source leaves the device alone also while its task is still far off.
    if (source.IsVirtual()) return far ? 0 : StartVirtually(source, preset, step);
    if (far) {
        if (step.whileFar) step.whileFar(ms);
        return 0;
    }

    const char *dev = source.GetInstanceName();
    char start[CFileTime::kDateTimeTextSize];
    char dur[timecode_t::kTextSize];
    if (preset.m_nStatus < PLAYTASK_CUED && ms > kLastCuePassMs) source.OnTaskCheckNextTask();
    CVideoPlayTask task;
    if (!list.GetPresetTask(task, 1)) {
        glReportDbg(kTaskLog, "fatal;dev=%s,获取下一条节目发生意外错误", dev);
        return 0;
    }
    if (!task.m_nFlags && step.check) step.check(task);
    if (task.m_nFlags) {
        glReportDbg(kTaskLog, "fatal;dev=%s,下一条节目没有准备好", dev);
    } else {
        glReportDbg(kTaskLog, "Start new Task(TaskID=%d,id=%s,start=%s,dur=%s,dev=%s)",
                    task.m_nTaskID, task.m_strClipID.GetString(),
                    CFileTime(task.m_nStart).GetAsString(start),
                    timecode_t(task.m_nDUR).GetAsString(dur), dev);
        const int played = source.DevPlay(&task.m_nStart);
        if (!played) task.m_nFlags |= kErrDevice;
        glReportDbg(kTaskLog, "end Start new Task (dev=%s,ret=%s)", dev, OkFailed(played));
    }
    list.SetActiveTask(task);
    if (step.logStarted)
        glReportDbg(kTaskLog, "StartNewTask = %s ,StartTime = %s Duration = %d",
                    task.m_strClipID.GetString(), CFileTime(task.m_nStart).GetAsString(start),
                    task.m_nDUR);
    return 1;
}

int RunTraceStep(CVideoSrcA &source, uint32_t &tick, const plat::Waitable &closing,
                 const std::function<void(CVideoPlayTask &)> &check, const char *endLine)
{
    if (!IsTickIntervalElapsed(tick, kTraceSpacingMs)) return 0;
    CVideoPlayTaskList &list = source.GetPlayList();
    CVideoPlayTask task;
    if (!list.GetPgmTask(task)) return 0;
    if (source.IsVirtual()) return 1;
    if (check) check(task);
    list.ModifyTask(task, 1);
    if ((task.GetEnd() - Now()) / kUnitsPerMs >= kEndNearMs) return 1;
    if (!glSleepUntilSpecialTime(task.GetEnd(), closing)) return 1;
    source.DevStop();
    list.SetActiveTask(CVideoPlayTask());
    if (endLine) glReportDbg(kTaskLog, "%s", endLine);
    return 1;
}

bool TakeStoppedTask(CVideoSrcA &source, CVideoPlayTask &task)
{
    CVideoPlayTaskList &list = source.GetPlayList();
    // A stopped task is left in the list while another is on air.
    if (list.Active()) return false;
    if (!list.GetStoppedTask(task, 1)) return false;
    if (source.IsVirtual()) {
        task.CallBack(kStatusEjected, 0);
        return false;
    }
    return true;
}

void PutAway(CVideoSrcA &source, int32_t overOpt, int32_t som)
{
    switch (overOpt) {
    case CVideoSrcA::VTROVER_EJECT:
        source.DevEject();
        break;
    case CVideoSrcA::VTROVER_ZERO:
        source.DevCueEx("", som, 0, nullptr);
        break;
    case CVideoSrcA::VTROVER_ZERO_EJECT:
        source.DevCueEx("", som, 0, nullptr);
        source.DevEject();
        break;
    default:
        source.DevStop();
        break;
    }
}

} // namespace vtrsource

CVtrSourceA::CVtrSourceA() : CVideoSrcA(vtrsource::kDeviceType)
{
    vtrsource::SetTimingDefaults(m_nPlayBeforeTime, m_nPrepareTime, m_nDevCheckTime,
                                 m_nClipCheckTime, m_nFirstCueTime, m_nSecondCueTime,
                                 m_nTaskPollInterval);
}

void CVtrSourceA::ReadVtrSettings(CSerialIO &line)
{
    m_Vtr.Read(GetSettingInfo(), m_nFirstCueTime, m_nSecondCueTime, m_nVtrOverOpt);
    line.ReadPortKey(GetSettingInfo(), "Com");
}

void CVtrSourceA::Reopen()
{
    if (m_bReopen.exchange(false)) CVideoSrcA::DevOpen();
    SetDevStatus(DEVSTATUS_NORMAL);
}

int CVtrSourceA::VirtualOpen()
{
    Reopen();
    return 1;
}
