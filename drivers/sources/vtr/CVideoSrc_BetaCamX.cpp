#include "drivers/sources/vtr/CVideoSrc_BetaCamX.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CFileTime.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"

#include <algorithm>
#include <cstdlib>

using namespace vtrsource;

namespace {

constexpr const char *kDescriptionX = "BetaCamX录象机视频源(等同于BetaCam录象机视频源)";
constexpr const char *kDescription = "BetaCam录象机视频源";
constexpr const char *kDescriptionRec = "BetaCamRec录象机视频源";

// A failure count below this may be one missed answer: the cue step tries again next pass.
constexpr int32_t kTolerableFailures = 3;
// Positions this close to the target (frames) count as cued.
constexpr int32_t kCuedWithin = 3;
constexpr uint32_t kTimeModeSettleMs = 200;
constexpr int64_t kFirstCueSleepMaxMs = 6000;
constexpr int64_t kSecondCueSleepCapMs = 5000;
constexpr int32_t kStatusNotReady = 1;
constexpr int32_t kStatusNoTape = 2;
constexpr int32_t kStatusPositionRead = 5;
constexpr int32_t kStatusFirstCued = 8;
// The BetaCamRec cue: polling pauses, and how long a cue may seem stuck.
constexpr uint32_t kCuePollMs = 2000;
constexpr uint32_t kCueReadGapMs = 50;
constexpr int kCueMaxMisses = 6;
constexpr int kCueStillPasses = 4;

// A reading this close to the target counts as cued, also across midnight (a reading past
// 12 hours is negative).
bool AtCuePoint(int32_t reading, int32_t target)
{
    const int32_t alt = reading < 0 ? reading + kFramesPerDay : reading;
    return std::abs(reading - target) < kCuedWithin || std::abs(alt - target) < kCuedWithin;
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSrc_BetaCamX, CVideoSrcA, kDescriptionX, kDescriptionX)
IMPLEMENT_KEST_DEVICE(CVideoSrc_BetaCam, CVideoSrc_BetaCamX, kDescription, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoSrc_BetaCamRec, CVideoSrc_BetaCamX, kDescriptionRec, kDescriptionRec)

CVideoSrc_BetaCamXDevice::CVideoSrc_BetaCamXDevice(bool confirmedCue)
    : m_pVTR(new CSerialVTR), m_bConfirmedCue(confirmedCue)
{
    m_pVTR->SetPortNumber(kDefaultCom);
}

CVideoSrc_BetaCamXDevice::~CVideoSrc_BetaCamXDevice()
{
    // The list's thread runs the steps on the VTR: it ends before the VTR object goes.
    CVideoSrcA::DevClose();
    m_PlayList.SetOwner(nullptr);
    m_PlayList.Stop();
    m_pVTR->Close();
    m_pVTR->Release();
}

int32_t CVideoSrc_BetaCamXDevice::OnInitInstance()
{
    if (!CVideoSrcA::OnInitInstance()) return 0;
    ReadVtrSettings(*m_pVTR);
    CResAccess setting(GetSettingInfo());
    m_nStandByOnTime = setting["StandByOnTime"].GetAsInteger(m_nStandByOnTime);
    m_nVtrOverOptStillDur = setting["VtrOverOpt_StillDur"].GetAsInteger(m_nVtrOverOptStillDur);
    m_nVtrOverOptDelayDur = setting["VtrOverOpt_DelayDur"].GetAsInteger(m_nVtrOverOptDelayDur);
    m_nSimpleCue = setting["SimpleCue"].GetAsInteger(m_nSimpleCue);
    m_nEjectStillDur = setting["Eject_StillDur"].GetAsInteger(m_nEjectStillDur);
    return 1;
}

bool CVideoSrc_BetaCamXDevice::Pause(int64_t ms)
{
    if (ms <= 0) return true;
    return plat::WaitForAny({&ClosingEvent()}, static_cast<uint32_t>(ms)) != plat::WAIT_OBJECT_0;
}

bool CVideoSrc_BetaCamXDevice::MayRetry(const CVideoPlayTask &task)
{
    // A refusal is an answer and leaves the VTR's failure count at 0, and other commands
    // answered between the passes reset it: the step counts its own failures for the task
    // too, so that a VTR refusing what the cue needs is flagged after as many passes as a
    // silent one.
    if (task.m_nTaskID != m_nCueFailTask) m_nCueFailures = 0;
    m_nCueFailTask = task.m_nTaskID;
    ++m_nCueFailures;
    return m_pVTR->GetFailCount() < kTolerableFailures && m_nCueFailures < kTolerableFailures;
}

int32_t CVideoSrc_BetaCamXDevice::CueTimeMode() const
{
    return m_Vtr.nTCType ? CSerialVTR::kTimeModeTimecode : CSerialVTR::kTimeModeTimer;
}

int CVideoSrc_BetaCamXDevice::DevOpen()
{
    if (OpenRefused()) return 0;
    Reopen();
    if (m_pVTR->IsConnected()) return 1;
    if (!m_pVTR->Open())
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
    else if (!m_pVTR->Test())
        SetDevStatus(DEVSTATUS_RUN_FAILED, "Open device failed");
    return 1;
}

int CVideoSrc_BetaCamXDevice::DevClose()
{
    CVideoSrcA::DevClose();
    NoteClosed();
    return m_pVTR->Close();
}

int CVideoSrc_BetaCamXDevice::DevIsOpen()
{
    return m_pVTR->GetFailCount() < 2 ? 1 : 0;
}

bool CVideoSrc_BetaCamXDevice::Ready()
{
    DevOpen();
    return DevIsOpen() != 0;
}

int CVideoSrc_BetaCamXDevice::DevTest(const char *argument)
{
    if (!Ready()) return 0;
    const int ready = m_pVTR->IsReady(argument);
    SetDevStatus(ready ? DEVSTATUS_NORMAL : DEVSTATUS_RUN_FAILED);
    return ready;
}

int CVideoSrc_BetaCamXDevice::DevSetMode(int mode)
{
    return m_pVTR->SetTimeMode(mode == 1 ? CSerialVTR::kTimeModeTimecode
                                         : CSerialVTR::kTimeModeTimer);
}

bool CVideoSrc_BetaCamXDevice::AtTarget(int32_t target, int32_t &position, bool settle)
{
    if (m_Vtr.bFixedMode) {
        m_pVTR->SetTimeMode(CueTimeMode());
        if (settle) Pause(kTimeModeSettleMs);
    }
    position = 0;
    m_pVTR->GetTimecode(0, &position, 0);
    return position == target;
}

int CVideoSrc_BetaCamXDevice::DevCue(const char *, timecode_t som, timecode_t)
{
    if (!Ready()) return 0;
    int32_t from = som;
    if (from < 0) from += kFramesPerDay;
    const int32_t target = CueTarget(from, m_nPlayBeforeTime);
    int32_t position;
    if (AtTarget(target, position, true)) return 1;
    return m_pVTR->CueUpWithData(target);
}

int CVideoSrc_BetaCamXDevice::DevCueEx(const char *, timecode_t som, timecode_t, tagCallBack *)
{
    if (!Ready()) return 0;
    const int32_t target = WithinDay(CueTarget(som, m_nPlayBeforeTime));
    int32_t position;
    if (AtTarget(target, position, false)) return 1;
    if (m_bConfirmedCue) return ConfirmedCue(target, position);
    const int cued = m_pVTR->CueUpWithData(target);
    glReportDbg(kDevLog, "Cue with data (%s)", cued ? "OK" : "fail");
    return cued;
}

int CVideoSrc_BetaCamXDevice::DevGoto(int32_t frames)
{
    return DevCue("", frames, 0);
}

int CVideoSrc_BetaCamXDevice::DevPlay(const int64_t *at)
{
    const int32_t leadMs = m_Vtr.nHeadStartTime + m_nPlayBeforeTime;
    PlayStep step{ClosingEvent(),
                  leadMs,
                  leadMs + 1000,
                  [this] { return Ready(); },
                  [this] { m_pVTR->StandbyOn(); },
                  [this] { return m_pVTR->Play(); }};
    step.logSleep = true;
    return RunPlay(at, step);
}

int CVideoSrc_BetaCamXDevice::DevStop()
{
    return RunCommand(
        Ready(), [this] { return m_pVTR->Stop(); }, "trace; Stop return=%s");
}

int CVideoSrc_BetaCamXDevice::DevPause()
{
    return RunCommand(
        Ready(), [this] { return m_pVTR->Stop(); }, "trace; Pause return=%s");
}

int CVideoSrc_BetaCamXDevice::DevContinue()
{
    return RunCommand(
        Ready(), [this] { return m_pVTR->Play(); }, "trace; Pause return=%s");
}

int CVideoSrc_BetaCamXDevice::DevEject()
{
    return RunCommand(
        Ready(),
        [this] {
            const int result = m_pVTR->Eject();
            Pause(m_nEjectStillDur);
            return result;
        },
        "trace; Eject return=%s");
}

int CVideoSrc_BetaCamXDevice::DevShuttle(double speed)
{
    return RunCommand(
        Ready(), [&] { return m_pVTR->Shuttle(speed); }, "trace; Shuttle return=%s");
}

int CVideoSrc_BetaCamXDevice::DevJog(int frames)
{
    return RunCommand(
        Ready(), [&] { return m_pVTR->Step(frames); }, "trace; Jog return=%s");
}

int CVideoSrc_BetaCamXDevice::DevJogEx(int, int frames)
{
    if (!Ready()) return 0;
    m_pVTR->Step(frames);
    return 1;
}

int CVideoSrc_BetaCamXDevice::ReadPosition(int mode, timecode_t &position, int useCache)
{
    if (!Ready()) {
        position = 0;
        return 0;
    }
    int32_t kind = mode;
    if (mode == 1)
        kind = CSerialVTR::kTimeModeTimecode;
    else if (mode == 2)
        kind = CSerialVTR::kTimeModeTimer;
    int32_t frames = 0;
    const int result = m_pVTR->GetTimecode(kind, &frames, useCache);
    position = frames;
    return result;
}

int CVideoSrc_BetaCamXDevice::DevGetPosition(int mode, timecode_t &position)
{
    return ReadPosition(mode, position, 1);
}

int CVideoSrc_BetaCamXDevice::DevGetPosition2(int mode, timecode_t &position)
{
    return ReadPosition(mode, position, 0);
}

int CVideoSrc_BetaCamXDevice::DevGetClipSize(const char *, timecode_t &size)
{
    size = kClipSize;
    tagVTRStatus status;
    if (!m_pVTR->GetStatus(&status, 1) || !status.HasTape()) size = 0;
    return 1;
}

int CVideoSrc_BetaCamXDevice::DevCheckCompatible(const char *type, const char *clip)
{
    return CheckCompatible(*this, type, clip);
}

int CVideoSrc_BetaCamXDevice::OnTaskCheckNextTask()
{
    CVideoPlayTask task;
    if (m_PlayList.Active() || m_PlayList.GetStoppedTask(task, 0) ||
        !m_PlayList.GetPresetTask(task, 0))
        return 0;
    const int64_t secs = SecondsToStart(task, m_nFirstCueTime);
    if (IsVirtual()) {
        task.m_nFlags = 0;
        task.m_nStatus = PLAYTASK_CUED;
        m_PlayList.ModifyTask(task, 1);
        return 1;
    }

    const int32_t target = CueTarget(task.m_nSOM, m_nPlayBeforeTime);
    DevOpen();
    tagVTRStatus status;
    bool failed = false;
    if (!DevIsOpen() || !m_pVTR->GetStatus(&status, 1)) {
        if (MayRetry(task)) return 0;
        failed = true;
        task.m_nStatus = kStatusNotReady;
        task.m_nFlags = kErrDevice;
        m_PlayList.ModifyTask(task, 1);
    } else if (!status.HasTape()) {
        task.m_nStatus = kStatusNoTape;
        task.m_nFlags = secs < m_nClipCheckTime ? kErrNoTape : 0;
        m_PlayList.ModifyTask(task, 1);
    } else if (m_Vtr.bFixedMode) {
        if (!m_pVTR->SetTimeMode(CueTimeMode())) {
            if (MayRetry(task)) return 0;
            failed = true;
            task.m_nFlags = kErrDevice;
        } else {
            int32_t reading = 0;
            if (m_pVTR->GetTimecode(0, &reading, 1)) {
                task.m_nFlags = 0;
                if (AtCuePoint(reading, target))
                    task.m_nStatus = PLAYTASK_CUED;
                else
                    task.m_nStatus = status.Test(4, 0) ? kStatusFirstCued : kStatusPositionRead;
            } else {
                failed = true;
                task.m_nFlags = kErrDevice;
            }
        }
        m_PlayList.ModifyTask(task, 1);
    }
    if (!failed) m_nCueFailures = 0;
    if (!FirstCue(task, target) || !SecondCue(task, target)) return 0;
    return 1;
}

bool CVideoSrc_BetaCamXDevice::FirstCue(CVideoPlayTask &task, int32_t target)
{
    const int64_t secs = SecondsToStart(task, m_nFirstCueTime);
    if (!m_Vtr.bFixedMode || secs >= m_nFirstCueTime || task.m_nStatus < kStatusPositionRead ||
        task.m_nStatus > 7)
        return true;
    if (m_nSimpleCue) {
        if (secs > m_nSecondCueTime) {
            m_pVTR->CueUpWithData(target);
            Pause(std::min<int64_t>((secs - m_nSecondCueTime) * 1000, kFirstCueSleepMaxMs));
        }
        task.m_nStatus = kStatusFirstCued;
    } else if (m_pVTR->CueAndWait(0, target, kFirstCueSleepMaxMs)) {
        task.m_nStatus = kStatusFirstCued;
    } else {
        if (MayRetry(task)) return false;
        task.m_nFlags = kErrDevice;
    }
    m_PlayList.ModifyTask(task, 1);
    return true;
}

bool CVideoSrc_BetaCamXDevice::SecondCue(CVideoPlayTask &task, int32_t target)
{
    const int64_t secs = SecondsToStart(task, m_nFirstCueTime);
    if (!m_Vtr.bFixedMode || secs >= m_nSecondCueTime ||
        (task.m_nStatus != kStatusFirstCued && task.m_nStatus != 9))
        return true;
    if (m_nSimpleCue) {
        if (secs * 1000 > m_nPlayBeforeTime) {
            m_pVTR->CueUpWithData(target);
            const int64_t d = secs * 1000 - m_nPlayBeforeTime;
            Pause(d > kSecondCueSleepCapMs ? d - kSecondCueSleepCapMs : d);
        }
        task.m_nStatus = PLAYTASK_CUED;
    } else if (m_pVTR->CueAndWait(0, target, 0)) {
        task.m_nStatus = PLAYTASK_CUED;
    } else {
        if (MayRetry(task)) return false;
        task.m_nFlags = kErrSecondCue;
    }
    m_PlayList.ModifyTask(task, 1);
    return true;
}

int CVideoSrc_BetaCamXDevice::OnTaskStartNewTask()
{
    StartStep step{ClosingEvent(), [this](int64_t ms) {
                       if (ms < m_nStandByOnTime) m_pVTR->StandbyOn();
                   }};
    step.logVirtual = true;
    step.logStarted = true;
    step.check = [this](CVideoPlayTask &task) { CheckCued(task); };
    return RunStartStep(*this, step);
}

void CVideoSrc_BetaCamXDevice::CheckCued(CVideoPlayTask &task)
{
    // Without the fixed mode the source cues nothing and reads no positions.
    if (!m_Vtr.bFixedMode) return;
    // A reading away from the cue point: the cues did not take (the simple cue does not ask
    // whether they did), and PLAY would start the wrong material. No reading: PLAY tells.
    int32_t reading = 0;
    if (m_pVTR->GetTimecode(CueTimeMode(), &reading, 0) &&
        !AtCuePoint(reading, CueTarget(task.m_nSOM, m_nPlayBeforeTime)))
        task.m_nFlags |= kErrSecondCue;
}

int CVideoSrc_BetaCamXDevice::OnTaskTracePgmTask()
{
    return RunTraceStep(
        *this, m_dwTraceTick, ClosingEvent(),
        [this](CVideoPlayTask &task) {
            tagVTRStatus status;
            m_pVTR->GetStatus(&status, 1);
            if (!status.HasTape())
                task.m_nFlags = kErrDevice;
            else
                task.m_nFlags = status.Test(1, 0) ? 0 : kErrNotPlaying;
        },
        "CVideoSrc_BetaCamX::OnTaskTracePgmTask set active task = 0");
}

int CVideoSrc_BetaCamXDevice::OnTaskStopCurrentTask()
{
    CVideoPlayTask task;
    if (!TakeStoppedTask(*this, task)) return 0;
    if (m_nVtrOverOptStillDur > 0) {
        DevPause();
        Pause(m_nVtrOverOptStillDur);
        glReportDbg(kDevLog, "Sleep %d ms", m_nVtrOverOptStillDur);
    }
    if (task.m_nStopOnly) {
        DevStop();
    } else {
        Pause(m_nVtrOverOptDelayDur);
        PutAway(*this, m_nVtrOverOpt, task.m_nSOM);
    }
    return 1;
}

int CVideoSrc_BetaCamXDevice::ConfirmedCue(int32_t target, int32_t last)
{
    int done = m_pVTR->CueUpWithData(target);
    int misses = 0;
    int stillPasses = 0;
    while (done && stillPasses < kCueStillPasses) {
        if (plat::WaitForAny({&ClosingEvent()}, kCuePollMs) == plat::WAIT_OBJECT_0) {
            done = 0;
            break;
        }
        tagVTRStatus status;
        if (m_pVTR->GetStatus(&status, 0)) {
            if (status.Test(2, 0)) break;
        } else {
            ++misses;
        }
        plat::WaitForAny({&ClosingEvent()}, kCueReadGapMs);
        int32_t position = 0;
        if (!m_pVTR->GetTimecode(0, &position, 0)) {
            ++misses;
        } else if (position == last) {
            ++stillPasses;
        } else {
            last = position;
            misses = 0;
            stillPasses = 0;
        }
        if (misses > kCueMaxMisses) done = 0;
    }
    if (stillPasses >= kCueStillPasses) done = 0;
    glReportDbg(kDevLog, "Cue with data (%s)", done ? "OK" : "fail");
    return done;
}
