#include "drivers/sources/vdcp/CVideoSrcX_VDCP.h"

#include "drivers/tasks/BroTaskLog.h"
#include "drivers/tasks/CVideoBroTaskTPU.h"
#include "drivers/tasks/IVideoBroTaskMgr.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char *kDescription = "DVB播出VDCP视频源";
constexpr const char *kTypePrefix = "LVSRC_DEC";
constexpr int32_t kFramesPerDay = vdcp::kFramesPerDay;
constexpr int64_t kUnitsPerMs = 10000;
constexpr uint32_t kOpenPauseMs = 50;
constexpr uint32_t kPreviewPauseMs = 100;
// A preview play at normal speed continues the channel and, when more of the clip is left
// than this, cues the rest this far ahead and switches to it.
constexpr int32_t kPreviewAheadFrames = 125;
constexpr uint32_t kPreviewStopLookMs = 500;
constexpr uint32_t kPreviewSwitchMs = 5200;
constexpr uint32_t kPreviewSwitchLimitMs = 5000;
constexpr int32_t kPreviewFirst = -10;
constexpr int32_t kPreviewLast = -9;

bool Signalled(const plat::Waitable *stop, uint32_t ms)
{
    if (!stop) {
        plat::Sleep(ms);
        return false;
    }
    return stop->Wait(ms) == plat::WAIT_OBJECT_0;
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSrcX_VDCP, CVideoSrcA, kDescription, kDescription)

CVideoSrcX_VDCP::CVideoSrcX_VDCP() : CVideoSrcX("LVSRC_DEC_VDCP")
{
    m_strDescription = "视频源(基于VDCP协议的视频服务器)";
    m_nPlayBeforeTime = 1;
    m_nPrepareTime = 3000;
}

CVideoSrcX_VDCP::~CVideoSrcX_VDCP() = default;

int32_t CVideoSrcX_VDCP::OnInitInstance()
{
    if (!CVideoSrcX::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_Port.ReadPortKey(GetSettingInfo(), "Com");
    m_nDecoder = setting["Decoder"].GetAsInteger(m_nDecoder);
    m_Port.SetChannel(m_nDecoder);
    m_Port.SetReplyWait(static_cast<uint32_t>(std::max(
        setting["ComTimeout"].GetAsInteger(static_cast<int32_t>(m_Port.GetReplyWait())), 0)));
    return 1;
}

void CVideoSrcX_VDCP::ForgetClips()
{
    std::lock_guard<std::mutex> lk(m_clipLock);
    m_cued.strName.Empty();
    m_current.strName.Empty();
}

tagVdcpClip CVideoSrcX_VDCP::GetCued()
{
    std::lock_guard<std::mutex> lk(m_clipLock);
    return m_cued;
}

void CVideoSrcX_VDCP::SetCued(const tagVdcpClip &clip)
{
    std::lock_guard<std::mutex> lk(m_clipLock);
    m_cued = clip;
}

// ---- open, close, test ----

std::shared_ptr<CSerialIO_VDCP_SHARED> CVideoSrcX_VDCP::Route()
{
    // A task thread given up (its manager released, or the device closed under its call)
    // never opens the port again: the device may have been closed for good under it.
    if (CVideoBroTaskTPU::CallingUnitStopped()) return nullptr;
    // A source sharing another's port never has its own open: only a claim made on the own
    // port is lost with it.
    if (m_bOpened && m_bOwnClaim && !m_Port.DevIsOpen()) {
        m_bOpened = false;
        m_bClaimLost = true;
    }
    if (m_bClaimLost) return DevOpen() ? m_Port.GetActivePort() : nullptr;
    std::shared_ptr<CSerialIO_VDCP_SHARED> route = m_Port.GetActivePort();
    if (route.get() == &m_Port && m_bOpened && !m_bOwnClaim) {
        // The source whose port it shared has let the line go and the own port now holds it:
        // the channel is claimed on it as an open does.
        m_bOpened = false;
        m_bClaimLost = true;
        return DevOpen() ? m_Port.GetActivePort() : nullptr;
    }
    return route;
}

int CVideoSrcX_VDCP::DevOpen()
{
    if (m_bOpened && m_Port.DevIsOpen()) return 1;
    if (OpenRefused()) return 0;
    const auto route = m_Port.GetActivePort();
    if (!route) {
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
        return 0;
    }
    plat::Sleep(kOpenPauseMs);
    int32_t status2 = 0;
    if (route.get() == &m_Port) {
        if (!m_Port.OpenPort(m_nDecoder, 0, nullptr)) {
            m_Port.Close();
            SetDevStatus(DEVSTATUS_RUN_FAILED, "Open device failed");
            return 0;
        }
        m_Port.SelectPort(m_nDecoder);
        m_Port.GetStatus(nullptr, &status2, nullptr, 0);
        if (status2 != m_nDecoder) {
            m_Port.Close();
            SetDevStatus(DEVSTATUS_RUN_FAILED, "Open decoder error");
            return 0;
        }
    } else {
        // The port is held by another source: it serves only the channel selected on it.
        route->GetStatus(nullptr, &status2, nullptr, 0);
        if (status2 != m_nDecoder) {
            SetDevStatus(DEVSTATUS_RUN_FAILED, "decoder port conflict");
            return 0;
        }
    }
    ForgetClips();
    CString name;
    name.Format("DEV_VSRC%d", m_nDecoder);
    SetDevName(name);
    CVideoSrcA::DevOpen(); // status 0, and the play-task sleeps may run again
    m_bOwnClaim = route.get() == &m_Port;
    m_bOpened = true;
    m_bClaimLost = false;
    return 1;
}

int CVideoSrcX_VDCP::DevClose()
{
    // Closing never takes a route: it must not open a port only to close it.
    m_bOpened = false;
    m_bClaimLost = false;
    SetDevName("DEV_VSRC_UNKNOWN");
    ForgetClips();
    CVideoSrcA::DevClose();
    m_Port.Close();
    return 1;
}

int CVideoSrcX_VDCP::DevIsOpen()
{
    const auto route = Route();
    return route && route->DevIsOpen() ? 1 : 0;
}

int CVideoSrcX_VDCP::DevTest(const char *)
{
    const auto route = Route();
    if (!route) return 0;
    int32_t status1 = 0;
    const int result = route->GetStatus(&status1, nullptr, nullptr, 0);
    CString text;
    text.Format("<DEV=\"%s\" ID=\"%d\" MSG=\"%s\">", GetInstanceName(), status1,
                CSerialIO_VDCP_SHARED::GetStateText(status1, 0).GetString());
    glReportLog("#OVRA_STATUSDEV", text, nullptr);
    return result;
}

// ---- cue and play ----

int CVideoSrcX_VDCP::DevCueEx(const char *clip, timecode_t som, timecode_t dur, tagCallBack *)
{
    const auto route = Route();
    if (!route) return 0;
    int32_t size = 0;
    if (!route->GetIdSize(clip, &size) || size == 0) return 0;
    int32_t status1 = 0;
    const bool cued = route->GetStatus(&status1, nullptr, nullptr, 0) && (status1 & VDCP_ST_CUED);
    const CString name = clip ? clip : "";
    {
        std::lock_guard<std::mutex> lk(m_clipLock);
        if (!cued) m_cued.strName.Empty();
        // Cued already as asked: the channel stays as it is.
        if (!m_cued.strName.IsEmpty() && m_cued.strName == name && m_cued.nSOM == som &&
            m_cued.nDUR == dur)
            return 1;
    }
    const int ok = route->CueWithData(clip, som, dur, kCueWaitMs);
    std::lock_guard<std::mutex> lk(m_clipLock);
    m_cued.strName = ok ? name : CString();
    m_cued.nSOM = som;
    m_cued.nDUR = dur;
    return ok;
}

int CVideoSrcX_VDCP::DevCue(const char *clip, timecode_t som, timecode_t dur)
{
    const auto route = Route();
    if (!route) return 0;
    int32_t frames = dur;
    while (frames > kFramesPerDay) frames -= kFramesPerDay;
    const int ok = route->CueWithData(clip, som, frames, kCueWaitMs);
    std::lock_guard<std::mutex> lk(m_clipLock);
    m_cued.strName = ok && clip ? clip : "";
    m_cued.nSOM = som;
    m_cued.nDUR = frames;
    return ok;
}

int CVideoSrcX_VDCP::DevPlay(const int64_t *at)
{
    if (!Route()) return 0;
    if (at && !glSleepUntilSpecialTime(*at - m_nPlayBeforeTime * kUnitsPerMs, ClosingEvent()))
        return 0; // closed while waiting for the start
    {
        std::lock_guard<std::mutex> lk(m_clipLock);
        m_current = m_cued;
        m_cued.strName.Empty();
    }
    // Taken again: the wait may have been long.
    const auto route = Route();
    const int ok = route ? route->Play() : 0;
    if (ok && at) ClosingEvent().Wait(static_cast<uint32_t>(std::max(m_nPlayBeforeTime, 0)));
    return ok;
}

int CVideoSrcX_VDCP::DevStop()
{
    const auto route = Route();
    if (!route) return 0;
    {
        std::lock_guard<std::mutex> lk(m_clipLock);
        m_current.strName.Empty();
    }
    return route->Stop();
}

int CVideoSrcX_VDCP::DevPause()
{
    const auto route = Route();
    return route ? route->Still() : 0;
}

int CVideoSrcX_VDCP::DevContinue()
{
    const auto route = Route();
    return route ? route->Continue() : 0;
}

int CVideoSrcX_VDCP::DevJog(int frames)
{
    const auto route = Route();
    return route ? route->Jog(frames) : 0;
}

int CVideoSrcX_VDCP::DevShuttle(double speed)
{
    const auto route = Route();
    return route ? route->VariablePlay(speed) : 0;
}

int CVideoSrcX_VDCP::DevEject()
{
    const auto route = Route();
    return route ? route->Stop() : 0;
}

int CVideoSrcX_VDCP::DevIDReq(const char *clip, int &present)
{
    const auto route = Route();
    int32_t answer = 0;
    if (route) route->IdRequest(clip, &answer);
    present = answer;
    return answer;
}

int CVideoSrcX_VDCP::DevGetPosition(int, timecode_t &position)
{
    const auto route = Route();
    int32_t frames = 0;
    if (!route || !route->GetPosition(&frames, 0)) return 0;
    position = frames;
    return 1;
}

int CVideoSrcX_VDCP::DevGetClipSize(const char *clip, timecode_t &size)
{
    size = 0;
    const auto route = Route();
    int present = 0;
    int32_t frames = 0;
    if (!route || !DevIDReq(clip, present) || !route->GetIdSize(clip, &frames)) return 0;
    size = frames;
    return frames;
}

CVideoSrcX::ClipAnswer CVideoSrcX_VDCP::AskClip(const char *clip, timecode_t &size)
{
    size = 0;
    const auto route = Route();
    int32_t present = 0, frames = 0;
    // A refusal or no answer says nothing of the clip.
    if (!route || !route->IdRequest(clip, &present)) return ClipAnswer::NoAnswer;
    if (!present) return ClipAnswer::Absent;
    if (!route->GetIdSize(clip, &frames)) return ClipAnswer::NoAnswer;
    size = frames;
    return frames > 0 ? ClipAnswer::Present : ClipAnswer::Absent;
}

int CVideoSrcX_VDCP::DevCheckCompatible(const char *type, const char *clip)
{
    if (!type || std::strncmp(type, kTypePrefix, std::strlen(kTypePrefix)) != 0) return 0;
    timecode_t size;
    return DevGetClipSize(clip, size) != 0 ? 1 : 0;
}

// ---- task side ----

int32_t CVideoSrcX_VDCP::DevTaskPause(IVideoBroTaskMgr *, int32_t)
{
    return DevPause();
}

int32_t CVideoSrcX_VDCP::DevTaskTrace(IVideoBroTaskMgr *mgr, int32_t)
{
    tagVideoBroTask pgm, pst;
    const bool onAir = mgr->GetPgmTask(pgm) != 0;
    const bool preset = mgr->GetPstTask(pst) != 0;
    if (!onAir && preset && mgr->GetAttachedObject() && pst.Status == BROTASK_ENDCUE &&
        pst.Value != 1 && pst.IsTrigger()) {
        // The cued trigger task shows its first frame until the take.
        DevPause();
        mgr->SetAttachedObject(0);
        mgr->SetTaskValue(pst.TaskID, 1);
        brotask::LogTPU("(CueToFirst.%04d):Begin TaskInfo %d", brotask::ThreadId(), pst.Value);
    } else {
        mgr->SetAttachedObject(0);
    }
    return 1;
}

// ---- preview ----

bool CVideoSrcX_VDCP::PreviewRange(int32_t &start, int32_t &end)
{
    const CSerialIO_VDCP_SHARED::tagPreview preview = m_Port.GetPreview();
    start = preview.nStart;
    // An empty range is its first frame.
    end = std::max(start, preview.nStart + preview.nLength - 1);
    return !preview.strName.IsEmpty();
}

int CVideoSrcX_VDCP::PreviewCue(const char *clip, int32_t som, int32_t dur, int32_t position)
{
    const auto route = Route();
    if (!route) return 0;
    int32_t status1 = 0;
    route->GetStatus(&status1, nullptr, nullptr, 0);
    const CString name = clip ? clip : "";
    if (!(status1 & VDCP_ST_PLAYING)) {
        if (!route->PlayCue(clip, kCueWaitMs)) return 0;
        plat::Sleep(kPreviewPauseMs);
        route->Still();
    } else if (m_Port.GetPreview().strName != name) {
        if (!route->PlayCue(clip, kCueWaitMs)) return 0;
        plat::Sleep(kPreviewPauseMs);
        route->Play();
        plat::Sleep(kPreviewPauseMs);
        route->Still();
    }
    CSerialIO_VDCP_SHARED::tagPreview preview;
    preview.strName = name;
    if (dur < 0) {
        route->GetIdSize(clip, &preview.nLength);
        preview.nStart = 0;
    } else {
        preview.nLength = dur;
        preview.nStart = som;
    }
    m_Port.SetPreview(preview);
    return PreviewGoto(position);
}

int CVideoSrcX_VDCP::PreviewGoto(int32_t frame)
{
    const auto route = Route();
    if (!route) return 0;
    int32_t start = 0, end = 0;
    PreviewRange(start, end);
    if (frame == kPreviewFirst) frame = start;
    if (frame == kPreviewLast) frame = end;
    return route->Goto(std::clamp(frame, start, end));
}

int CVideoSrcX_VDCP::PreviewJog(int32_t frames)
{
    const auto route = Route();
    if (!route) return 0;
    int32_t position = 0;
    // Without a position the jog could leave the preview range: nothing is sent.
    if (!route->GetPosition(&position, 1)) return 0;
    int32_t start = 0, end = 0;
    PreviewRange(start, end);
    const int32_t target = static_cast<int32_t>(
        std::clamp<int64_t>(static_cast<int64_t>(position) + frames, start, end));
    if (target == position) return 1;
    return route->Jog(target - position);
}

int CVideoSrcX_VDCP::PreviewPlay(double speed, void *stopEvent)
{
    const auto route = Route();
    if (!route) return 0;
    if (std::fabs(speed - 1.0) >= 0.01) {
        route->VariablePlay(speed);
        return 1;
    }
    const auto *stop = static_cast<const plat::Waitable *>(static_cast<plat::Event *>(stopEvent));
    const uint32_t noted = plat::GetTickCount();
    int32_t position = 0;
    const int read = route->GetPosition(&position, 0);
    plat::Sleep(50);
    route->Continue();
    int32_t start = 0, end = 0;
    PreviewRange(start, end);
    if (!read || end - position <= kPreviewAheadFrames || Signalled(stop, kPreviewStopLookMs))
        return 1;
    // The continued play runs on from the channel's position; the rest of the clip is cued
    // 5 s ahead and played when the channel gets there, so the preview plays on to its end.
    const int32_t ahead = position + kPreviewAheadFrames;
    if (!route->CueWithData(m_Port.GetPreview().strName, ahead, end - ahead, kCueWaitMs)) return 1;
    const int32_t left =
        static_cast<int32_t>(kPreviewSwitchMs) - plat::TickDiff(plat::GetTickCount(), noted);
    if (left > 0 && left < static_cast<int32_t>(kPreviewSwitchLimitMs) &&
        Signalled(stop, static_cast<uint32_t>(left)))
        return 1;
    route->Play();
    return 1;
}

int CVideoSrcX_VDCP::PreviewStill()
{
    const auto route = Route();
    return route ? route->Still() : 0;
}

int CVideoSrcX_VDCP::PreviewStop()
{
    const auto route = Route();
    if (!route) return 0;
    const int ok = route->Stop();
    CSerialIO_VDCP_SHARED::tagPreview preview = m_Port.GetPreview();
    preview.strName.Empty();
    m_Port.SetPreview(preview);
    return ok;
}

int CVideoSrcX_VDCP::PreviewGetPosition(int32_t *frames)
{
    const auto route = Route();
    if (!route) return 0;
    int32_t position = 0;
    if (!route->GetPosition(&position, 1)) return 0;
    int32_t start = 0, end = 0;
    PreviewRange(start, end);
    if (position >= start && position <= end) {
        if (frames) *frames = position;
        return 1;
    }
    // Played past the range: held at the nearer bound.
    const int32_t bound = position < start ? start : end;
    if (frames) *frames = bound;
    route->Still();
    plat::Sleep(kPreviewPauseMs);
    route->Goto(bound);
    return 1;
}
