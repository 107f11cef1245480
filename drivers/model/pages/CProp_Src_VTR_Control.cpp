#include "drivers/model/pages/CProp_Src_VTR_Control.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/pages/VtrStatusText.h"
#include "drivers/sources/vtr/CVideoSrc_BetaCamX.h"

#include "KestLib20/timecode_t.h"
#include "devext/device/CMxtDialogReg.h"
#include "platform/TimeSource.h"
#include "platform/ui/DialogTemplate.h"

#include <mutex>

IMPLEMENT_DYNCREATE(CProp_Src_VTR_Control, CObjectSettingDlg)

using Panel = CProp_Src_VTR_Control;

struct CProp_Src_VTR_Control::Shared {
    CString name; // the VTR's instance name; set before the thread starts
    plat::Event stop{true, false};

    std::mutex lock;
    CWnd *page = nullptr;              // cut when the page goes
    CVideoSrc_BetaCamX *vtr = nullptr; // the VTR the last poll found; null when none
};

namespace {

constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kTab = kChild | WS_TABSTOP;

tagDlgItem Button(int id, const char *text, int column, int row)
{
    const int left = 10 + column * 78, top = 120 + row * 26;
    return {id, UiControl::Button, nullptr, text, kTab, {left, top, left + 72, top + 20}};
}

const CDlgTemplateReg g_template(
    {Panel::IDD,
     "录像机控制",
     WS_CHILD,
     {0, 0, 330, 420},
     {
         {-1, UiControl::Static, nullptr, "TC", kChild, {10, 12, 40, 26}},
         {Panel::IDC_TIMECODE_2,
          UiControl::Edit,
          nullptr,
          "",
          kChild | ES_READONLY,
          {44, 10, 140, 28}},
         {-1, UiControl::Static, nullptr, "CTL", kChild, {150, 12, 180, 26}},
         {Panel::IDC_TIMECODE_1,
          UiControl::Edit,
          nullptr,
          "",
          kChild | ES_READONLY,
          {184, 10, 280, 28}},
         {Panel::IDC_TIME_KIND, UiControl::Button, nullptr, "CTL", kTab, {284, 10, 324, 28}},
         {-1, UiControl::Static, nullptr, "输入", kChild, {10, 42, 40, 56}},
         {Panel::IDC_INPUT, UiControl::Edit, nullptr, "", kTab, {44, 40, 140, 58}},
         {Panel::IDC_STATUS,
          UiControl::Edit,
          nullptr,
          "",
          kChild | WS_VSCROLL | ES_MULTILINE | ES_READONLY,
          {10, 200, 324, 412}},
         Button(Panel::IDC_PLAY, "播放", 0, 0),
         Button(Panel::IDC_STOP, "停止", 1, 0),
         Button(Panel::IDC_REWIND, "倒带", 2, 0),
         Button(Panel::IDC_FAST_FORWARD, "快进", 3, 0),
         Button(Panel::IDC_STANDBY_OFF, "待机关", 0, 1),
         Button(Panel::IDC_EJECT, "出带", 1, 1),
         Button(Panel::IDC_GOTO, "定位", 2, 1),
         Button(Panel::IDC_JOG, "步进", 3, 1),
         Button(Panel::IDC_RECOVER, "恢复", 0, 2),
         Button(Panel::IDC_REFRESH, "刷新", 1, 2),
         Button(Panel::IDC_CHECK_OPEN, "检查", 2, 2),
     }});

const CMxtDialogReg g_registration(RUNTIME_CLASS(CProp_Src_VTR_Control), "BetaCam_Control_Dlg",
                                   "录像机控制", "CVideoSrc_BetaCamX");

// What one poll read of the VTR, taken without any lock.
struct Reading {
    CString error; // set when no VTR is held
    CVideoSrc_BetaCamX *vtr = nullptr;
    CString timecode1, timecode2, kind, status;
};

CString TimecodeText(int32_t frames)
{
    char text[timecode_t::kTextSize];
    return timecode_t(frames).GetAsString(text);
}

Reading ReadVtr(const CString &name)
{
    Reading reading;
    CVideoDevMgr *mgr = CVideoDevMgr::m_pVideoDevMgr;
    CVideoSrcA *source = mgr ? mgr->GetVideoSrcDev(name, 1, nullptr) : nullptr;
    if (!source)
        reading.error = "录像机配置错误";
    else if (!source->IsKindOf(CVideoSrc_BetaCamX::GetClassID()))
        reading.error = "录像机驱动错误";
    else if (source->IsVirtual())
        reading.error = "录像机处于虚拟控制状态";
    if (!reading.error.IsEmpty()) return reading;
    reading.vtr = static_cast<CVideoSrc_BetaCamX *>(source);
    ISerialVTR *line = reading.vtr->GetVTR();
    int32_t frames = 0;
    line->GetTimecode(2, &frames, 1);
    reading.timecode2 = TimecodeText(frames);
    frames = 0;
    line->GetTimecode(1, &frames, 1);
    reading.timecode1 = TimecodeText(frames);
    reading.kind = line->GetTimeMode() == CSerialVTR::kTimeModeTimecode ? "TC" : "CTL";
    tagVTRStatus status;
    if (line->GetStatus(&status, 1)) reading.status = VtrStatusText(status);
    return reading;
}

// Holds the VTR found and shows what was read while the page is there. False when the page
// has gone.
bool Show(Panel::Shared &shared, const Reading &reading)
{
    std::lock_guard<std::mutex> hold(shared.lock);
    shared.vtr = reading.vtr;
    if (!shared.page) return false;
    if (!reading.error.IsEmpty()) {
        shared.page->SetDlgItemText(Panel::IDC_STATUS, reading.error);
        return true;
    }
    shared.page->SetDlgItemText(Panel::IDC_TIMECODE_2, reading.timecode2);
    shared.page->SetDlgItemText(Panel::IDC_TIMECODE_1, reading.timecode1);
    shared.page->SetDlgItemText(Panel::IDC_TIME_KIND, reading.kind);
    if (!reading.status.IsEmpty()) shared.page->SetDlgItemText(Panel::IDC_STATUS, reading.status);
    return true;
}

uint32_t PollLoop(const std::shared_ptr<Panel::Shared> &shared)
{
    if (shared->stop.Wait(Panel::kFirstPollMs) == plat::WAIT_OBJECT_0) return 0;
    do {
        if (!Show(*shared, ReadVtr(shared->name))) return 0;
    } while (shared->stop.Wait(Panel::kPollMs) != plat::WAIT_OBJECT_0);
    return 0;
}

} // namespace

CProp_Src_VTR_Control::CProp_Src_VTR_Control() : CObjectSettingDlg(IDD) {}

CProp_Src_VTR_Control::~CProp_Src_VTR_Control()
{
    StopPolling();
}

BOOL CProp_Src_VTR_Control::OnInitDialog()
{
    CObjectSettingDlg::OnInitDialog();
    StopPolling();
    m_pShared = std::make_shared<Shared>();
    m_pShared->name = m_strObjectName;
    m_pShared->page = this;
    m_Poll = plat::Thread::Start([shared = m_pShared] { return PollLoop(shared); });
    return TRUE;
}

void CProp_Src_VTR_Control::OnCancel()
{
    StopPolling();
    CObjectSettingDlg::OnCancel();
}

void CProp_Src_VTR_Control::OnDestroy()
{
    StopPolling();
    CObjectSettingDlg::OnDestroy();
}

void CProp_Src_VTR_Control::StopPolling()
{
    if (!m_pShared) return;
    m_pShared->stop.Set();
    {
        std::lock_guard<std::mutex> hold(m_pShared->lock);
        m_pShared->page = nullptr;
        m_pShared->vtr = nullptr;
    }
    m_Poll.StopWithin(kStopWaitMs, 0);
    m_Poll.Close();
    m_pShared.reset();
}

CVideoSrc_BetaCamX *CProp_Src_VTR_Control::HeldVtr() const
{
    if (!m_pShared) return nullptr;
    std::lock_guard<std::mutex> hold(m_pShared->lock);
    return m_pShared->vtr;
}

BOOL CProp_Src_VTR_Control::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const int id = static_cast<int>(LOWORD(wParam));
    switch (id) {
    case IDC_EJECT:
    case IDC_CHECK_OPEN:
    case IDC_PLAY:
    case IDC_STOP:
    case IDC_REWIND:
    case IDC_GOTO:
    case IDC_FAST_FORWARD:
    case IDC_STANDBY_OFF:
    case IDC_TIME_KIND:
    case IDC_REFRESH:
    case IDC_RECOVER:
    case IDC_JOG:
        break;
    default:
        return CObjectSettingDlg::OnCommand(wParam, lParam);
    }
    if (HIWORD(wParam) != BN_CLICKED) return TRUE;
    CVideoSrc_BetaCamX *vtr = HeldVtr();
    if (!vtr) {
        MessageBox("录像机没有打开");
        return TRUE;
    }
    ISerialVTR *line = vtr->GetVTR();
    switch (id) {
    case IDC_EJECT:
        vtr->DevEject();
        break;
    case IDC_JOG: {
        BOOL number = FALSE;
        const int frames = static_cast<int>(GetDlgItemInt(IDC_INPUT, &number, TRUE));
        vtr->DevJog(frames);
        break;
    }
    case IDC_RECOVER:
        Recover(*vtr);
        break;
    case IDC_GOTO: {
        CString text;
        GetDlgItemText(IDC_INPUT, text);
        timecode_t target;
        target.SetAsFrames(text);
        line->CueUpWithData(target);
        break;
    }
    case IDC_TIME_KIND:
        line->SetTimeMode(line->GetTimeMode() == CSerialVTR::kTimeModeTimer
                              ? CSerialVTR::kTimeModeTimecode
                              : CSerialVTR::kTimeModeTimer);
        break;
    case IDC_REFRESH:
        if (m_pShared) Show(*m_pShared, ReadVtr(m_pShared->name));
        break;
    case IDC_PLAY:
        line->Play();
        break;
    case IDC_STOP:
        line->Stop();
        break;
    case IDC_REWIND:
        line->Rewind();
        break;
    case IDC_FAST_FORWARD:
        line->FastForward();
        break;
    case IDC_STANDBY_OFF:
        line->StandbyOff();
        break;
    default: // IDC_CHECK_OPEN: the check is all it does
        break;
    }
    return TRUE;
}

void CProp_Src_VTR_Control::Recover(CVideoSrc_BetaCamX &vtr)
{
    vtr.DevClose();
    plat::Sleep(kRecoverPauseMs);
    vtr.DevOpen();
    MessageBox(vtr.DevIsOpen() ? "恢复成功" : "恢复失败");
}
