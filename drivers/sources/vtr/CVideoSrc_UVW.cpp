#include "drivers/sources/vtr/CVideoSrc_UVW.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CFileTime.h"

using namespace vtrsource;

IMPLEMENT_KEST_CLASS(CVideoSrc_UVW, CVideoSrcA)

namespace {

// The machine is left where it is when the next task starts sooner than this after the end.
constexpr int64_t kPutAwayGapMs = 60000;
constexpr int32_t kStatusNotReady = 1;
constexpr int32_t kStatusPrepared = 7;
constexpr int32_t kStatusFirstCued = 8;
constexpr int32_t kStatusPositionRead = 5;

} // namespace

CVideoSrc_UVWDevice::CVideoSrc_UVWDevice()
{
    m_Line.SetPortNumber(kDefaultCom);
}

CVideoSrc_UVWDevice::~CVideoSrc_UVWDevice()
{
    CVideoSrcA::DevClose();
    m_PlayList.SetOwner(nullptr);
    m_PlayList.Stop();
}

int32_t CVideoSrc_UVWDevice::OnInitInstance()
{
    if (!CVideoSrcA::OnInitInstance()) return 0;
    ReadVtrSettings(m_Line);
    return 1;
}

int CVideoSrc_UVWDevice::DevOpen()
{
    if (OpenRefused()) return 0;
    Reopen();
    if (!m_Line.DevOpen()) SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
    return 1;
}

int CVideoSrc_UVWDevice::DevClose()
{
    CVideoSrcA::DevClose();
    NoteClosed();
    return m_Line.DevClose();
}

int CVideoSrc_UVWDevice::DevIsOpen()
{
    return m_Line.DevIsOpen();
}

bool CVideoSrc_UVWDevice::Ready()
{
    DevOpen();
    return DevIsOpen() != 0;
}

int CVideoSrc_UVWDevice::DevTest(const char *)
{
    if (!Ready()) return 0;
    SetDevStatus(DEVSTATUS_NORMAL);
    return 1;
}

int CVideoSrc_UVWDevice::DevSetMode(int)
{
    return Ready() ? 1 : 0;
}

int CVideoSrc_UVWDevice::DevCue(const char *, timecode_t som, timecode_t)
{
    if (!Ready()) return 0;
    int32_t from = som;
    if (from < 0) from += kFramesPerDay;
    return m_Line.CueTo(CueTarget(from, m_nPlayBeforeTime));
}

int CVideoSrc_UVWDevice::DevCueEx(const char *, timecode_t som, timecode_t, tagCallBack *)
{
    if (!Ready()) return 0;
    const int cued = m_Line.CueTo(WithinDay(CueTarget(som, m_nPlayBeforeTime)));
    glReportDbg(kDevLog, "Cue with data (%s)", cued ? "OK" : "fail");
    return cued;
}

int CVideoSrc_UVWDevice::DevGoto(int32_t frames)
{
    return DevCue("", frames, 0);
}

int CVideoSrc_UVWDevice::DevPlay(const int64_t *at)
{
    return RunPlay(at, PlayStep{ClosingEvent(),
                                m_Vtr.nHeadStartTime + m_nPlayBeforeTime,
                                m_nPlayBeforeTime,
                                [this] { return Ready(); },
                                {},
                                [this] { return m_Line.Play(); }});
}

int CVideoSrc_UVWDevice::Command(int (CSerialUVW::*command)(), const char *line)
{
    return RunCommand(
        Ready(), [&] { return (m_Line.*command)(); }, line);
}

int CVideoSrc_UVWDevice::DevStop()
{
    return Command(&CSerialUVW::Stop, "trace; Stop return=%s");
}

int CVideoSrc_UVWDevice::DevPause()
{
    return Command(&CSerialUVW::Stop, "trace; Pause return=%s");
}

int CVideoSrc_UVWDevice::DevContinue()
{
    return Command(&CSerialUVW::Play, "trace; Pause return=%s");
}

int CVideoSrc_UVWDevice::DevEject()
{
    return Command(&CSerialUVW::Eject, "trace; Eject return=%s");
}

int CVideoSrc_UVWDevice::DevShuttle(double speed)
{
    // A search that never reached the VTR is told as such.
    return Command(speed > 0 ? &CSerialUVW::SearchForward : &CSerialUVW::SearchReverse,
                   "trace; Shuttle return=%s");
}

int CVideoSrc_UVWDevice::DevJog(int)
{
    if (!Ready()) return 0;
    glReportDbg(kDevLog, "trace; Jog return=%s", "OK");
    return 1;
}

int CVideoSrc_UVWDevice::DevJogEx(int, int)
{
    return Ready() ? 1 : 0;
}

int CVideoSrc_UVWDevice::DevGetPosition(int, timecode_t &position)
{
    if (Ready()) return 1;
    position = 0;
    return 0;
}

int CVideoSrc_UVWDevice::DevGetClipSize(const char *, timecode_t &size)
{
    size = kClipSize;
    return 1;
}

int CVideoSrc_UVWDevice::DevCheckCompatible(const char *type, const char *clip)
{
    return CheckCompatible(*this, type, clip);
}

int CVideoSrc_UVWDevice::OnTaskCheckNextTask()
{
    CVideoPlayTask task;
    if (m_PlayList.Active() || !m_PlayList.GetPresetTask(task, 0)) return 0;
    const int64_t secs = SecondsToStart(task, m_nFirstCueTime);
    if (IsVirtual()) {
        task.m_nFlags = 0;
        task.m_nStatus = PLAYTASK_CUED;
        m_PlayList.ModifyTask(task, 1);
        return 1;
    }
    const int32_t target = CueTarget(task.m_nSOM, m_nPlayBeforeTime);
    DevOpen();
    if (!DevIsOpen()) {
        task.m_nStatus = kStatusNotReady;
        task.m_nFlags = kErrDevice;
        m_PlayList.ModifyTask(task, 1);
    } else if (task.m_nStatus < kStatusFirstCued) {
        task.m_nStatus = kStatusPrepared;
        task.m_nFlags = 0;
        m_PlayList.ModifyTask(task, 1);
    }
    if (secs < m_nFirstCueTime && task.m_nStatus >= kStatusPositionRead &&
        task.m_nStatus <= kStatusPrepared) {
        if (m_Line.CueTo(target))
            task.m_nStatus = kStatusFirstCued;
        else
            task.m_nFlags = kErrDevice;
        m_PlayList.ModifyTask(task, 1);
    }
    if (secs < m_nSecondCueTime && (task.m_nStatus == kStatusFirstCued || task.m_nStatus == 9)) {
        if (m_Line.CueTo(target))
            task.m_nStatus = PLAYTASK_CUED;
        else
            task.m_nFlags = kErrSecondCue;
        m_PlayList.ModifyTask(task, 1);
    }
    return 1;
}

int CVideoSrc_UVWDevice::OnTaskStartNewTask()
{
    return RunStartStep(*this, StartStep{ClosingEvent(), {}});
}

int CVideoSrc_UVWDevice::OnTaskTracePgmTask()
{
    return RunTraceStep(*this, m_dwTraceTick, ClosingEvent(), {}, nullptr);
}

int CVideoSrc_UVWDevice::OnTaskStopCurrentTask()
{
    CVideoPlayTask task;
    if (!TakeStoppedTask(*this, task)) return 0;
    CVideoPlayTask next;
    if (m_PlayList.GetPresetTask(next, 0) &&
        next.m_nStart < task.GetEnd() + kPutAwayGapMs * kUnitsPerMs)
        return 0;
    PutAway(*this, m_nVtrOverOpt, task.m_nSOM);
    return 1;
}
