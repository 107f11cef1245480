#include "drivers/model/CVideoSrcA.h"

#include "drivers/model/DeviceCalls.h"
#include "drivers/model/ShareBus.h"
#include "drivers/model/SimulatedTransport.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CFileTime.h"
#include "KestLib20/CResAccess.h"

#include <algorithm>

IMPLEMENT_KEST_CLASS(CVideoSrcA, CDeviceA)

const CVideoSrcA::tagKeyName CVideoSrcA::gVTRTimecodeTypeEnum[] = {
    {1, "TC", "TC"},
    {2, "CTL", "CTL"},
    {0, nullptr, nullptr},
};

namespace {

constexpr const char *kLogType = "LOG_PLAYTASK";
constexpr int32_t kSimulatedClipFrames = 450000;
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kUnitsPerMs = 10000;
// A task further ahead than this (four hours, in seconds) is not prepared yet.
constexpr int64_t kFarAhead = 14400;
// The start step's pause between going on air and preparing the next task.
constexpr uint32_t kAfterStartMs = 500;

// Option bit 0: a triggered task, due for its first cue at once.
constexpr int32_t kOptionTriggered = 1;
// Error flags of a task.
constexpr int32_t kErrDevice = 1;
constexpr int32_t kErrClip = 2;
constexpr int32_t kErrCue = 16;
constexpr int32_t kErrPlay = 1;

enum PrepareStatus : int32_t {
    kDeviceChecked = 2,
    kClipChecked = 5,
    kFirstCued = 8,
    kSecondCued = PLAYTASK_CUED,
};

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

} // namespace

const char *CVideoSrcA::VTRTimecodeTypeToName(int type)
{
    const tagKeyName *row = nullptr;
    return gVTRTimecodeTypeEnum[0].FindByKey(type, &row) ? row->name : "";
}

int CVideoSrcA::StringToVTRTimecodeType(const char *name)
{
    const tagKeyName *row = nullptr;
    return name && gVTRTimecodeTypeEnum[0].FindByName(name, &row, true) ? row->key : 0;
}

int32_t CVideoSrcA::ParseVtrOverOpt(const char *text)
{
    CString word(text);
    word.MakeUpper();
    if (word == "EJECT") return VTROVER_EJECT;
    if (word == "ZERO") return VTROVER_ZERO;
    if (word == "ZERO_EJECT") return VTROVER_ZERO_EJECT;
    return VTROVER_STOP;
}

CVideoSrcA::CVideoSrcA(const char *typeId) : CDeviceA(typeId)
{
    SubscribeShareBus();
}

CVideoSrcA::CVideoSrcA(const CVideoSrcA &other) : CDeviceA(other), IVideoPlayTaskOwner(other)
{
    *this = other;
    SubscribeShareBus();
}

CVideoSrcA &CVideoSrcA::operator=(const CVideoSrcA &other)
{
    if (this == &other) return *this;
    CDeviceA::operator=(other);
    m_nPlayBeforeTime = other.m_nPlayBeforeTime;
    m_nPrepareTime = other.m_nPrepareTime;
    m_nCueWhilePlaying = other.m_nCueWhilePlaying;
    m_nTaskPollInterval = other.m_nTaskPollInterval;
    m_nAdjustFrame = other.m_nAdjustFrame;
    m_Counter = other.m_Counter;
    m_nDevCheckTime = other.m_nDevCheckTime;
    m_nClipCheckTime = other.m_nClipCheckTime;
    m_nFirstCueTime = other.m_nFirstCueTime;
    m_nSecondCueTime = other.m_nSecondCueTime;
    m_dwCheckNextTick = other.m_dwCheckNextTick;
    m_dwTraceTick = other.m_dwTraceTick;
    m_bVirtual = other.m_bVirtual.load();
    m_bExchange = other.m_bExchange.load();
    m_nVtrOverOpt = other.m_nVtrOverOpt;
    return *this;
}

CVideoSrcA::~CVideoSrcA()
{
    // Nothing may call into the source once its members go: the share bus first (waiting for
    // a delivery in progress), then the play list's thread, whose sleeps end at once.
    m_pShareReader.reset();
    m_evClosing.Set();
    m_PlayList.SetOwner(nullptr);
    m_PlayList.Stop();
}

void CVideoSrcA::SubscribeShareBus()
{
    // On the log thread: a driver's handler may take its time to reopen its port.
    m_pShareReader = std::make_unique<CLogReader>(&CVideoSrcA::OnRecvSetVirtual, this,
                                                  sharebus::kShareBus, LOG_MODE_PATTERN);
}

int32_t CVideoSrcA::OnInitInstance()
{
    if (!CDeviceA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_nPrepareTime = setting["PrepareTime"].GetAsInteger(m_nPrepareTime);
    m_nPlayBeforeTime = setting["PlayBeforeTime"].GetAsInteger(m_nPlayBeforeTime);
    m_nDevCheckTime = setting["DevCheckTime"].GetAsInteger(m_nDevCheckTime);
    m_nClipCheckTime = setting["ClipCheckTime"].GetAsInteger(m_nClipCheckTime);
    m_nFirstCueTime = setting["FirstCueTime"].GetAsInteger(m_nFirstCueTime);
    m_nSecondCueTime = setting["SecondCueTime"].GetAsInteger(m_nSecondCueTime);
    m_bVirtual = setting["Virtual"].GetAsBool(m_bVirtual);
    m_bExchange = setting["Exchange"].GetAsBool(m_bExchange);
    m_nAdjustFrame = setting["AdjustFrame"].GetAsInteger(m_nAdjustFrame);
    if (!m_bExchange) {
        m_pShareReader.reset();
        m_bVirtual = false;
    }
    return 1;
}

bool CVideoSrcA::OpenRefused()
{
    return GetObjectStatus() != OBJ_ACTIVATING && CCallingUnit::Stopped();
}

int CVideoSrcA::DevOpen()
{
    // The play-task sleeps of a closed device stay ended.
    if (OpenRefused()) return 0;
    m_evClosing.Reset();
    SetDevStatus(DEVSTATUS_NORMAL);
    m_Counter.Set(0, 0);
    return 1;
}

int CVideoSrcA::DevClose()
{
    m_evClosing.Set();
    m_PlayList.Stop();
    m_Counter.Set(0, 0);
    return 1;
}

int CVideoSrcA::DevIsOpen()
{
    return 1;
}

int CVideoSrcA::DevTest(const char *)
{
    return 1;
}

int CVideoSrcA::DevSetMode(int)
{
    return 1;
}

int CVideoSrcA::DevCueEx(const char *, timecode_t som, timecode_t, tagCallBack *)
{
    m_Counter.Set(simtransport::Units(som), 0);
    return 1;
}

int CVideoSrcA::DevCue(const char *clip, timecode_t som, timecode_t dur)
{
    return CVideoSrcA::DevCueEx(clip, som, dur, nullptr);
}

int CVideoSrcA::DevPlay(const int64_t *at)
{
    return simtransport::Run(m_Counter, at, m_nPlayBeforeTime, m_evClosing);
}

int CVideoSrcA::DevStop()
{
    m_Counter.SetSpeed(0);
    return 1;
}

int CVideoSrcA::DevPause()
{
    m_Counter.SetSpeed(0);
    return 1;
}

int CVideoSrcA::DevContinue()
{
    m_Counter.SetSpeed(1.0);
    return 1;
}

int CVideoSrcA::DevStep()
{
    m_Counter.SetSpeed(0);
    return 1;
}

int CVideoSrcA::DevEEMode(int)
{
    return 1;
}

int CVideoSrcA::DevJog(int frames)
{
    m_Counter.SetSpeed(0);
    m_Counter.AddPosition(simtransport::Units(frames));
    return 1;
}

int CVideoSrcA::DevJogEx(int, int frames)
{
    return DevJog(frames);
}

int CVideoSrcA::DevShuttle(double speed)
{
    m_Counter.SetSpeed(speed);
    return 1;
}

int CVideoSrcA::DevEject()
{
    m_Counter.Set(0, 0);
    return 1;
}

int CVideoSrcA::DevGoto(int32_t frames)
{
    m_Counter.Set(simtransport::Units(frames), 0);
    return 1;
}

int CVideoSrcA::DevIDReq(const char *, int &present)
{
    present = 1;
    return 1;
}

int CVideoSrcA::DevGetPosition(int, timecode_t &position)
{
    position = m_Counter.GetTimecode();
    return 1;
}

int CVideoSrcA::DevGetPosition2(int mode, timecode_t &position)
{
    return CVideoSrcA::DevGetPosition(mode, position);
}

int CVideoSrcA::DevGetClipSize(const char *, timecode_t &size)
{
    size = kSimulatedClipFrames;
    return 1;
}

int CVideoSrcA::DevCheckCompatible(const char *, const char *)
{
    return 1;
}

int CVideoSrcA::DevDeletePlayTask(int id)
{
    if (id == 0)
        m_PlayList.RemoveAll();
    else
        m_PlayList.RemoveAt(id);
    return 1;
}

int CVideoSrcA::DevAddPlayTask(CVideoPlayTask &task)
{
    return m_PlayList.Add(task);
}

void CVideoSrcA::WriteBack(const CVideoPlayTask &task)
{
    m_PlayList.ModifyTask(task, 1);
}

int CVideoSrcA::OnTaskCheckNextTask()
{
    if (m_nCueWhilePlaying == 0 && m_PlayList.Active()) return 0;
    CVideoPlayTask task;
    if (!m_PlayList.GetPresetTask(task, 0)) return 0;

    // Whole seconds to the start; negative once the start has passed. Compared signed
    // throughout: a task whose start has passed is due for every step.
    int64_t t = (task.m_nStart - Now()) / kUnitsPerSecond;
    if (task.m_nOption & kOptionTriggered)
        t = std::min<int64_t>(m_nFirstCueTime - 1, kFarAhead);
    else if (t > kFarAhead)
        return 0;

    if (IsVirtual()) {
        task.m_nStatus = t < m_nFirstCueTime ? PLAYTASK_CUED : PLAYTASK_WAITING;
        task.m_nFlags = 0;
        WriteBack(task);
        return 1;
    }

    if (t < m_nDevCheckTime && task.m_nStatus == PLAYTASK_WAITING) {
        DevOpen();
        if (DevIsOpen()) {
            task.m_nStatus = kDeviceChecked;
            task.m_nFlags = 0;
        } else {
            task.m_nFlags = kErrDevice;
        }
        WriteBack(task);
    }
    if (t < m_nClipCheckTime && task.m_nStatus >= kDeviceChecked && task.m_nStatus <= 4) {
        timecode_t size;
        if (DevGetClipSize(task.m_strClipID, size))
            task.m_nStatus = kClipChecked;
        else
            task.m_nFlags = kErrClip;
        WriteBack(task);
    }
    if (t < m_nFirstCueTime && task.m_nStatus >= kClipChecked && task.m_nStatus <= 7) {
        if (DevCue(task.m_strClipID, task.m_nSOM, task.m_nDUR))
            task.m_nStatus = kFirstCued;
        else
            task.m_nFlags = kErrCue;
        WriteBack(task);
    }
    if (t < m_nSecondCueTime && (task.m_nStatus == kFirstCued || task.m_nStatus == 9)) {
        if (DevCueEx(task.m_strClipID, task.m_nSOM, task.m_nDUR, nullptr))
            task.m_nStatus = kSecondCued;
        else
            task.m_nFlags = kErrCue;
        WriteBack(task);
    }
    return 1;
}

void CVideoSrcA::CheckNextNow()
{
    m_dwCheckNextTick = 0;
    OnTaskCheckNextTask();
}

int CVideoSrcA::StartVirtual(const CVideoPlayTask &preset)
{
    if (!glSleepUntilSpecialTime(preset.m_nStart, m_evClosing)) return 0;
    CVideoPlayTask task;
    if (!m_PlayList.GetPresetTask(task, 1)) return 0;
    task.m_nFlags = 0;
    m_PlayList.SetActiveTask(task);
    return 1;
}

void CVideoSrcA::PlayPreset(CVideoPlayTask &task)
{
    const char *dev = GetInstanceName();
    if (task.m_nFlags) {
        glReportDbg(kLogType, "fatal;dev=%s,下一条节目没有准备好", dev);
        return;
    }
    char start[CFileTime::kDateTimeTextSize];
    char dur[timecode_t::kTextSize];
    glReportDbg(kLogType, "Start new Task(TaskID=%d,id=%s,start=%s,dur=%s,dev=%s)", task.m_nTaskID,
                task.m_strClipID.GetString(), CFileTime(task.m_nStart).GetAsString(start),
                timecode_t(task.m_nDUR).GetAsString(dur), dev);
    const int played = DevPlay(&task.m_nStart);
    if (!played) task.m_nFlags |= kErrPlay;
    glReportDbg(kLogType, "end Start new Task (dev=%s,ret=%s)", dev, played ? "OK" : "failed");
}

int CVideoSrcA::OnTaskStartNewTask()
{
    CVideoPlayTask preset;
    if (!m_PlayList.GetPresetTask(preset, 0)) return 0;
    const int64_t now = Now();
    if (preset.m_nOption & kOptionTriggered) {
        if (now >= preset.m_nStart) m_PlayList.RemoveAt(preset.m_nTaskID);
        return 0;
    }
    const int64_t leadMs = static_cast<int64_t>(m_nPrepareTime) + m_nPlayBeforeTime;
    if (preset.m_nStart - now > leadMs * kUnitsPerMs) return 0;

    if (IsVirtual()) return StartVirtual(preset);

    if (preset.m_nStatus < PLAYTASK_CUED) CheckNextNow(); // finish cueing
    CVideoPlayTask task;
    if (!m_PlayList.GetPresetTask(task, 1)) {
        glReportDbg(kLogType, "fatal;dev=%s,获取下一条节目发生意外错误", GetInstanceName());
        return 0;
    }
    PlayPreset(task);
    m_PlayList.SetActiveTask(task);
    if (m_evClosing.Wait(kAfterStartMs) == plat::WAIT_OBJECT_0) return 1;
    CheckNextNow(); // prepare the following task
    return 1;
}

int CVideoSrcA::OnTaskCheckTaskList()
{
    return 1;
}

int CVideoSrcA::OnTaskStopCurrentTask()
{
    CVideoPlayTask task;
    if (m_PlayList.GetStoppedTask(task, 1)) {
        if (IsVirtual()) return 0;
        if (m_nCueWhilePlaying == 0) DevStop();
    }
    return 1;
}

int CVideoSrcA::OnTaskTracePgmTask()
{
    return 0;
}

int CVideoSrcA::PreviewGoto(int32_t frames)
{
    return DevGoto(frames);
}

int CVideoSrcA::PreviewCue(const char *clip, int32_t, int32_t, int32_t)
{
    return DevCue(clip, 0, 0);
}

int CVideoSrcA::PreviewPlay(double, void *)
{
    return DevPlay(nullptr);
}

int CVideoSrcA::PreviewStill()
{
    return DevPause();
}

int CVideoSrcA::PreviewStop()
{
    return DevStop();
}

int CVideoSrcA::PreviewGetPosition(int32_t *frames)
{
    timecode_t position;
    const int result = DevGetPosition(1, position);
    if (result && frames) *frames = position;
    return result;
}

int CVideoSrcA::PreviewJog(int32_t frames)
{
    return DevJog(frames);
}

int CVideoSrcA::OnPreviewPlayStop(int32_t)
{
    return 0;
}

int CVideoSrcA::OnSetVirtual(int32_t on)
{
    m_bVirtual = on != 0;
    return 1;
}

int CVideoSrcA::OnRecvSetVirtual(const char *type, const char *text, const char *)
{
    if (!m_bExchange) return 0;
    const std::optional<bool> on = sharebus::ReadVirtual(type, text);
    if (!on) return 0;
    OnSetVirtual(*on ? 1 : 0);
    return 1;
}
