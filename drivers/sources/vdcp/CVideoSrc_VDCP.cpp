#include "drivers/sources/vdcp/CVideoSrc_VDCP.h"

#include "drivers/model/TickInterval.h"

#include "Kest20/CClock.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const char *kTypeId = "LVSRC_DEC_VDCP";
constexpr const char *kCompatiblePrefix = "LVSRC_DEC";
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kUnitsPerMs = 10000;
constexpr int64_t kMsPerFrame = 40;
constexpr int32_t kFramesPerSecond = 25;
constexpr int32_t kAccessOwn = VdcpEngineRoute::kAccessOwn;

constexpr int32_t kCheckPollMs = 5000;
constexpr uint32_t kCheckNextEveryMs = 1500;
constexpr uint32_t kTraceEveryMs = 2000;
constexpr uint32_t kStatusAgeMs = 3000;
// Within this many seconds of its start a preset is no longer checked on the device.
constexpr int64_t kLastCheckSeconds = 6;

// Play-list statuses and error bits of this source.
constexpr int32_t kClipChecked = 5;
constexpr int32_t kCuing = 9;
constexpr int32_t kErrDevice = 1;
constexpr int32_t kErrClip = 2;
constexpr int32_t kErrCue = 16;
constexpr int32_t kOptionTriggered = 1;

constexpr int32_t kEEModeLeitch = 0;
constexpr int32_t kEEModeGvg = 1;
constexpr int32_t kEEModeNone = -1;

constexpr CVideoSrc_VDCPDevice::tagKind kVdcp{"BASIC", 5,
                                              CVideoSrc_VDCPDevice::CueLength::ToClipEnd, false};
constexpr CVideoSrc_VDCPDevice::tagKind kVdcpX{"BASIC", 5,
                                               CVideoSrc_VDCPDevice::CueLength::WithinClip, false};
constexpr CVideoSrc_VDCPDevice::tagKind kLeitch{"NEW", 7,
                                                CVideoSrc_VDCPDevice::CueLength::ToClipEnd, false};
constexpr CVideoSrc_VDCPDevice::tagKind kDayang{"BASIC", 0,
                                                CVideoSrc_VDCPDevice::CueLength::ToClipEnd, false};
constexpr CVideoSrc_VDCPDevice::tagKind kOmneon{
    "BASIC", 5, CVideoSrc_VDCPDevice::CueLength::WholeWhenUnset, true};

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSrc_VDCP, CVideoSrcA, "VDCP视频源", "VDCP视频源")
IMPLEMENT_KEST_CLASS(CVideoSrc_VDCPX, CVideoSrc_VDCP)
IMPLEMENT_KEST_DEVICE(CVideoSrc_Leitch, CVideoSrc_VDCP, "VDCP视频源(Leitch)", "VDCP视频源(Leitch)")
IMPLEMENT_KEST_DEVICE(CVideoSrc_Pinnacle, CVideoSrc_VDCP, "VDCP视频源(Pinnacle)",
                      "VDCP视频源(Pinnacle)")
IMPLEMENT_KEST_DEVICE(CVideoSrc_Dayang, CVideoSrc_VDCP, "VDCP视频源(Dayang)", "VDCP视频源(Dayang)")
IMPLEMENT_KEST_DEVICE(CVideoSrc_VDCP_OMNEON, CVideoSrc_VDCP, "VDCP视频源(Omneon)",
                      "VDCP视频源(Omneon)")

CVideoSrc_VDCPX::CVideoSrc_VDCPX() : CVideoSrc_VDCP(kVdcpX) {}
CVideoSrc_Leitch::CVideoSrc_Leitch() : CVideoSrc_VDCP(kLeitch) {}
CVideoSrc_Pinnacle::CVideoSrc_Pinnacle() : CVideoSrc_VDCP(kVdcp) {}
CVideoSrc_Dayang::CVideoSrc_Dayang() : CVideoSrc_VDCP(kDayang) {}
CVideoSrc_VDCP_OMNEON::CVideoSrc_VDCP_OMNEON() : CVideoSrc_VDCP(kOmneon) {}

CVideoSrc_VDCP::CVideoSrc_VDCP() : CVideoSrc_VDCP(kVdcp) {}

CVideoSrc_VDCPDevice::CVideoSrc_VDCPDevice(const tagKind &kind)
    : CVideoSrcA(kTypeId), m_kind(kind), m_Route(kind.pszCommandSet, kind.nOptions),
      m_pSpeed(std::make_shared<std::atomic<int32_t>>(0))
{
    m_nPlayBeforeTime = 1;
    m_nPrepareTime = 3000;
    m_nTaskPollInterval = kCheckPollMs;
    m_nDevCheckTime = kCueWindowAlways;
    m_nClipCheckTime = kCueWindowAlways;
    m_nFirstCueTime = kCueWindowAlways;
    m_nSecondCueTime = kCueWindowAlways;
}

CVideoSrc_VDCPDevice::~CVideoSrc_VDCPDevice()
{
    // The play list's thread calls into this object, whose members go before the base's.
    m_PlayList.SetOwner(nullptr);
    m_PlayList.Stop();
    EndStopThread();
}

int32_t CVideoSrc_VDCPDevice::OnInitInstance()
{
    if (!CVideoSrcA::OnInitInstance()) return 0;
    m_Route.ReadSettings(GetSettingInfo());
    CResAccess setting(GetSettingInfo());
    m_nDecoder = setting["Decoder"].GetAsInteger(m_nDecoder);
    m_nServerType = setting["ServerType"].GetAsInteger(m_nServerType);
    m_nDiskPreroll = setting["diskpreroll"].GetAsInteger(m_nDiskPreroll);
    const CString mode = setting["EModeType"].GetAsString("");
    m_nEEModeType = mode == "LEITCH" ? kEEModeLeitch : mode == "GVG" ? kEEModeGvg : kEEModeNone;
    CVDCP &engine = m_Route.Engine();
    engine.SetChannel(m_nDecoder);
    engine.SetReplyWait(static_cast<uint32_t>(std::max(
        setting["ComTimeout"].GetAsInteger(static_cast<int32_t>(engine.GetReplyWait())), 0)));
    return 1;
}

std::shared_ptr<ISerialVDCP> CVideoSrc_VDCPDevice::GetVDCP(int32_t *kind)
{
    return m_Route.Get(kind);
}

std::shared_ptr<ISerialVDCP> CVideoSrc_VDCPDevice::OpenVDCP()
{
    DevOpen();
    const std::shared_ptr<ISerialVDCP> engine = GetVDCP(nullptr);
    if (engine && engine->IsOpen()) return engine;
    SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
    return nullptr;
}

// ---- open, close, test ----

int CVideoSrc_VDCPDevice::DevOpen()
{
    // Status 0, and the play-task sleeps may run again (not for a thread that is to give up).
    if (!CVideoSrcA::DevOpen()) return 0;
    int32_t kind = 0;
    const std::shared_ptr<ISerialVDCP> engine = GetVDCP(&kind);
    // Only a channel claimed now is set up; one open already is left as it is.
    const bool claiming = engine && kind == kAccessOwn && !engine->IsOpen();
    m_Route.Open(*this, m_nDecoder);
    if (!claiming || GetDevStatus().nCode != DEVSTATUS_NORMAL) return 1;
    if (m_nDiskPreroll)
        engine->SetDiskPreroll(m_nDiskPreroll % kFramesPerSecond,
                               m_nDiskPreroll / kFramesPerSecond);
    DevEEMode(2);
    return 1;
}

int CVideoSrc_VDCPDevice::DevClose()
{
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_cued.strName.Empty();
        m_current.strName.Empty();
    }
    EndStopThread();
    CVideoSrcA::DevClose(); // stops the play list
    // A port nobody holds is not opened only to be closed again.
    CVDCP &own = m_Route.Engine();
    if (!own.DevIsOpen() && !CSerialIO::GetByActivePort(own.GetPortNumber())) return 1;
    int32_t kind = 0;
    const std::shared_ptr<ISerialVDCP> engine = GetVDCP(&kind);
    if (!engine) return 1;
    // A server that has stopped answering is not kept waiting for at the close.
    if (engine->IsOpen()) DevEEMode(0);
    if (kind == kAccessOwn) engine->Close();
    return 1;
}

int CVideoSrc_VDCPDevice::DevIsOpen()
{
    const std::shared_ptr<ISerialVDCP> engine = Engine();
    return engine ? engine->IsOpen() : 0;
}

int CVideoSrc_VDCPDevice::DevTest(const char *)
{
    if (m_Route.GetDuplex()) return 1;
    const std::shared_ptr<ISerialVDCP> engine = OpenVDCP();
    if (!engine) return 0;
    const int ok = engine->Test();
    SetDevStatus(ok ? DEVSTATUS_NORMAL : DEVSTATUS_RUN_FAILED);
    return ok;
}

int CVideoSrc_VDCPDevice::DevEEMode(int mode)
{
    if (m_nEEModeType == kEEModeNone) return 0;
    // GVG servers number the modes the other way round.
    if (m_nEEModeType == kEEModeGvg && (mode == 0 || mode == 2)) mode = 2 - mode;
    return Send([&](ISerialVDCP &e) { return e.EEMode(mode); });
}

int CVideoSrc_VDCPDevice::VirtualEEMode(int mode)
{
    return m_nEEModeType == kEEModeNone ? 0 : CVideoSrcA::DevEEMode(mode);
}

// ---- cue and play ----

int CVideoSrc_VDCPDevice::DevCueEx(const char *clip, timecode_t som, timecode_t dur, tagCallBack *)
{
    const std::shared_ptr<ISerialVDCP> engine = Engine();
    if (!engine) return 0;
    int32_t frames = dur;
    if (m_kind.cue != CueLength::WholeWhenUnset || frames < 1) {
        timecode_t size = 0;
        if (!engine->GetIdSize(clip, size) || size == 0) return 0;
        if (m_kind.cue == CueLength::ToClipEnd)
            frames = size - som;
        else if (m_kind.cue == CueLength::WithinClip)
            frames = som + frames > size ? size - som : frames;
        else
            frames = size;
    }
    return DevCue(clip, som, frames);
}

int CVideoSrc_VDCPDevice::DevCue(const char *clip, timecode_t som, timecode_t dur)
{
    const std::shared_ptr<ISerialVDCP> engine = Engine();
    if (!engine) return 0;
    int32_t status1 = 0;
    const bool cued =
        engine->GetStatus(&status1, nullptr, nullptr, 0, nullptr) && (status1 & VDCP_ST_CUED);
    const CString name = clip ? clip : "";
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (!cued) m_cued.strName.Empty();
        if (!m_cued.strName.IsEmpty() && m_cued.strName == name && m_cued.nSOM == som &&
            m_cued.nDUR == dur)
            return 1;
    }
    const int ok = engine->CueWithData(clip, som, dur, kCueWaitMs);
    std::lock_guard<std::mutex> lk(m_lock);
    m_cued.strName = ok ? name : CString();
    m_cued.nSOM = ok ? static_cast<int32_t>(som) : 0;
    m_cued.nDUR = ok ? static_cast<int32_t>(dur) : 0;
    return ok;
}

int CVideoSrc_VDCPDevice::DevPlay(const int64_t *at)
{
    if (at && !glSleepUntilSpecialTime(*at - m_nPlayBeforeTime * kUnitsPerMs, ClosingEvent()))
        return 0; // closed while waiting for the start
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_current = m_cued;
        m_cued.strName.Empty();
    }
    const int ok = Send([](ISerialVDCP &e) { return e.Play(); });
    if (ok && at) ClosingEvent().Wait(static_cast<uint32_t>(std::max(m_nPlayBeforeTime, 0)));
    return ok;
}

int CVideoSrc_VDCPDevice::DevStop()
{
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_current.strName.Empty();
    }
    return Send([](ISerialVDCP &e) { return e.Stop(); });
}

int CVideoSrc_VDCPDevice::DevPause()
{
    return Send([](ISerialVDCP &e) { return e.Still(); });
}

int CVideoSrc_VDCPDevice::DevContinue()
{
    return Send([](ISerialVDCP &e) { return e.Continue(); });
}

int CVideoSrc_VDCPDevice::DevStep()
{
    return Send([](ISerialVDCP &e) { return e.Step(); });
}

int CVideoSrc_VDCPDevice::DevJog(int frames)
{
    return Send([&](ISerialVDCP &e) { return e.Jog(frames); });
}

int CVideoSrc_VDCPDevice::DevShuttle(double speed)
{
    return Send([&](ISerialVDCP &e) { return e.VariablePlay(speed); });
}

int CVideoSrc_VDCPDevice::DevEject()
{
    return Send([](ISerialVDCP &e) { return e.Stop(); });
}

int CVideoSrc_VDCPDevice::DevGoto(int32_t frames)
{
    return Send([&](ISerialVDCP &e) { return e.Goto(frames); });
}

int CVideoSrc_VDCPDevice::DevIDReq(const char *clip, int &present)
{
    int32_t answer = 0;
    Send([&](ISerialVDCP &e) { return e.IdRequest(clip, &answer); });
    present = answer;
    return answer;
}

int CVideoSrc_VDCPDevice::DevGetPosition(int, timecode_t &position)
{
    int32_t frames = 0;
    if (!Send([&](ISerialVDCP &e) {
            return e.GetPosition(&frames, static_cast<int32_t>(kStatusAgeMs), nullptr);
        }))
        return 0;
    position = frames;
    return 1;
}

int CVideoSrc_VDCPDevice::DevGetClipSize(const char *clip, timecode_t &size)
{
    size = 0;
    const std::shared_ptr<ISerialVDCP> engine = Engine();
    if (!engine) return 0;
    // Servers of type 0 are asked whether the clip exists first.
    int32_t present = 0;
    if (m_nServerType == 0 && (!engine->IdRequest(clip, &present) || present == 0)) return 0;
    timecode_t frames = 0;
    if (!engine->GetIdSize(clip, frames)) return 0;
    size = frames;
    return frames;
}

int CVideoSrc_VDCPDevice::DevCheckCompatible(const char *type, const char *clip)
{
    if (!type || std::strncmp(type, kCompatiblePrefix, std::strlen(kCompatiblePrefix)) != 0)
        return 0;
    timecode_t size = 0;
    return DevGetClipSize(clip, size) != 0 ? 1 : 0;
}

// ---- play-task steps ----

int CVideoSrc_VDCPDevice::OnTaskCheckNextTask()
{
    if (!IsTickIntervalElapsed(m_dwCheckNextTick, kCheckNextEveryMs)) return 0;
    CVideoPlayTask task;
    if (!m_PlayList.GetPresetTask(task, 0)) return 0;
    int64_t secs = (task.m_nStart - Now()) / kUnitsPerSecond;
    if (task.m_nOption & kOptionTriggered) secs = m_nFirstCueTime - 1;

    if (IsVirtual()) {
        task.m_nStatus = secs < m_nFirstCueTime ? PLAYTASK_CUED : PLAYTASK_WAITING;
        m_PlayList.ModifyTask(task, 1);
        return 1;
    }
    bool passed = true;
    if (secs < kLastCheckSeconds) {
        passed = task.m_nFlags == 0;
        if (passed && task.m_nStatus <= 4) {
            task.m_nStatus = kClipChecked;
            m_PlayList.ModifyTask(task, 1);
        }
    } else {
        DevOpen();
        const std::shared_ptr<ISerialVDCP> engine = Engine();
        int32_t status1 = 0;
        passed = engine && engine->IsOpen() &&
                 engine->GetStatus(&status1, nullptr, nullptr, kStatusAgeMs, nullptr);
        if (!passed) {
            task.m_nFlags |= kErrDevice;
            m_PlayList.ModifyTask(task, 1);
            return 1;
        }
        // A check that passes clears what an earlier one found, so that a clip that has
        // arrived meanwhile can still be played.
        task.m_nStatus = PLAYTASK_WAITING;
        task.m_nFlags = 0;
        m_PlayList.ModifyTask(task, 1);
        int32_t present = 0;
        engine->IdRequest(task.m_strClipID, &present);
        if (present)
            task.m_nStatus = kClipChecked;
        else
            task.m_nFlags |= kErrClip;
        m_PlayList.ModifyTask(task, 1);
    }
    if (passed && secs < m_nFirstCueTime && task.m_nStatus >= kClipChecked &&
        task.m_nStatus <= kCuing) {
        if (DevCue(task.m_strClipID, task.m_nSOM, task.m_nDUR))
            task.m_nStatus = PLAYTASK_CUED;
        else
            task.m_nFlags |= kErrCue;
        m_PlayList.ModifyTask(task, 1);
    }
    return 1;
}

int CVideoSrc_VDCPDevice::OnTaskTracePgmTask()
{
    if (IsVirtual()) return 0;
    if (!IsTickIntervalElapsed(m_dwTraceTick, kTraceEveryMs)) return 0;
    CVideoPlayTask pgm;
    if (!m_PlayList.GetPgmTask(pgm)) return 0;
    const int64_t sinceStartMs = (Now() - pgm.m_nStart) / kUnitsPerMs;
    if (sinceStartMs / kMsPerFrame >= pgm.m_nDUR) return 0;
    const std::shared_ptr<ISerialVDCP> engine = OpenVDCP();
    if (!engine) return 1;
    // A status from before the start would show the channel still cued.
    const int32_t age = static_cast<int32_t>(std::clamp<int64_t>(sinceStartMs, 0, kStatusAgeMs));
    int32_t status1 = 0;
    if (engine->GetStatus(&status1, nullptr, nullptr, age, nullptr) &&
        (!(status1 & VDCP_ST_PLAYING) || (status1 & VDCP_ST_STOPPED)))
        m_PlayList.SyncPlay();
    return 1;
}
