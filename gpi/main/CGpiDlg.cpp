#include "gpi/main/CGpiDlg.h"
#include "gpi/CardEventWait.h"
#include "gpi/main/CAboutDlg.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CDSClient.h"
#include "KestLib20/CSimplexStringMap.h"
#include "platform/TimeSource.h"
#include "platform/ui/CButton.h"
#include "platform/ui/CComboBox.h"
#include "platform/ui/CDataExchange.h"
#include "platform/ui/DialogTemplate.h"

namespace {

constexpr int IDC_RECEIVE = 1000;
constexpr int IDC_HIGH = 1001;
constexpr int IDC_LOW = 1002;
constexpr int IDC_OPEN = 1008;
constexpr int IDC_PORT = 1009;
constexpr int IDC_COUNT = 1010;
constexpr int IDC_TRIGGER_HIGH = 1014;
constexpr int IDC_INTERRUPT = 1015;
constexpr int IDC_CHANNEL = 1016;

constexpr const char *kLogDev = "LOG_DEV";
constexpr uint16_t kInputEvent = 1;
constexpr uint32_t kEventWaitMs = 1000;
constexpr uint32_t kPollMs = 40;
constexpr uint32_t kStopWaitMs = 2000;

constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kTab = kChild | WS_TABSTOP;

const CDlgTemplateReg s_template(
    {CGpiDlg::IDD,
     "GPI",
     WS_POPUP | WS_CAPTION,
     {0, 0, 260, 190},
     {
         {IDC_OPEN, UiControl::Button, nullptr, "打开设备", kTab, {10, 8, 90, 26}},
         {-1, UiControl::Static, nullptr, "受控（接收GPI触发）", kChild, {6, 34, 254, 46}},
         {IDC_RECEIVE, UiControl::Button, nullptr, "启动接收线程", kTab, {10, 50, 110, 68}},
         {IDC_TRIGGER_HIGH,
          UiControl::Button,
          nullptr,
          "高电平触发",
          kTab | BS_AUTOCHECKBOX,
          {120, 50, 190, 66}},
         {IDC_INTERRUPT,
          UiControl::Button,
          nullptr,
          "中断",
          kTab | BS_AUTOCHECKBOX,
          {196, 50, 250, 66}},
         {-1, UiControl::Static, nullptr, "端口", kChild, {10, 76, 40, 90}},
         {IDC_PORT, UiControl::ComboBox, nullptr, "", kTab | CBS_DROPDOWNLIST, {44, 74, 100, 150}},
         {-1, UiControl::Static, nullptr, "计数", kChild, {110, 76, 140, 90}},
         {IDC_COUNT, UiControl::Edit, nullptr, "", kTab | ES_READONLY, {144, 74, 250, 90}},
         {-1, UiControl::Static, nullptr, "主控（发送高低电平）", kChild, {6, 104, 254, 116}},
         {IDC_CHANNEL, UiControl::Edit, nullptr, "", kTab, {10, 122, 70, 138}},
         {IDC_HIGH, UiControl::Button, nullptr, "高", kTab, {80, 120, 130, 140}},
         {IDC_LOW, UiControl::Button, nullptr, "低", kTab, {136, 120, 186, 140}},
         {IDOK, UiControl::Button, nullptr, "退出", kTab, {196, 160, 250, 180}},
     }});

} // namespace

CGpiDlg::CGpiDlg(CWnd *parent) : CDialog(IDD, parent) {}

CGpiDlg::~CGpiDlg()
{
    EndReceive();
}

CString CGpiDlg::SynopText()
{
    CSimplexStringMap map;
    map["Interrupt"].SetAsBool(true);
    map.SetAt("Chn", "CHN1");
    map["OP"].SetAsInteger(100);
    return map.GetAsXmlProp('<');
}

BOOL CGpiDlg::OnInitDialog()
{
    if (CMenu *menu = GetSystemMenu(FALSE)) {
        menu->AppendMenu(MF_SEPARATOR);
        menu->AppendMenu(MF_STRING, CAboutDlg::IDM_ABOUTBOX, CAboutDlg::kMenuText);
    }
    // The port list before the base's data exchange, which shows the selection.
    if (auto *ports = dynamic_cast<CComboBox *>(GetDlgItem(IDC_PORT))) {
        for (const char *port : {"0", "1", "2", "3", "4", "5", "6", "7"}) ports->AddString(port);
        ports->SetCurSel(0);
    }
    return CDialog::OnInitDialog();
}

void CGpiDlg::DoDataExchange(CDataExchange *dx)
{
    CDialog::DoDataExchange(dx);
    int port = m_nPort;
    int interrupt = m_bInterrupt;
    int triggerHigh = m_bTriggerHigh;
    int count = m_nCount;
    DDX_CBIndex(dx, IDC_PORT, port);
    DDX_Check(dx, IDC_INTERRUPT, interrupt);
    DDX_Check(dx, IDC_TRIGGER_HIGH, triggerHigh);
    DDX_Text(dx, IDC_COUNT, count);
    DDX_Text(dx, IDC_CHANNEL, m_nOutputChannel);
    if (dx->m_bSaveAndValidate) {
        m_nPort = port;
        m_bInterrupt = interrupt;
        m_bTriggerHigh = triggerHigh;
    }
}

BOOL CGpiDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const int id = static_cast<int>(LOWORD(wParam));
    const UINT code = HIWORD(wParam);
    auto checked = [this](int box) {
        auto *button = dynamic_cast<CButton *>(GetDlgItem(box));
        return button && button->GetCheck() == BST_CHECKED ? 1 : 0;
    };
    switch (id) {
    case IDC_OPEN:
        OnOpenDevice();
        return TRUE;
    case IDC_RECEIVE:
        StartReceive();
        return TRUE;
    case IDC_HIGH:
        SetOutput(1);
        return TRUE;
    case IDC_LOW:
        SetOutput(0);
        return TRUE;
    case IDC_TRIGGER_HIGH:
        m_bTriggerHigh = checked(IDC_TRIGGER_HIGH);
        return TRUE;
    case IDC_INTERRUPT:
        m_bInterrupt = checked(IDC_INTERRUPT);
        return TRUE;
    case IDC_PORT:
        if (code == CBN_SELCHANGE)
            if (auto *ports = dynamic_cast<CComboBox *>(GetDlgItem(IDC_PORT)))
                m_nPort = ports->GetCurSel();
        return TRUE;
    default:
        return CDialog::OnCommand(wParam, lParam);
    }
}

void CGpiDlg::OnSysCommand(UINT id, LPARAM lParam)
{
    if (!CAboutDlg::IsAboutCommand(id)) {
        CDialog::OnSysCommand(id, lParam);
        return;
    }
    CAboutDlg about(this);
    about.DoModal();
}

void CGpiDlg::OnDestroy()
{
    // The thread writes into the count control: it ends before the controls go.
    EndReceive();
    CDialog::OnDestroy();
}

void CGpiDlg::OnOpenDevice()
{
    MessageBox(m_card.OpenDevice() ? "Open Succeed" : "Open Fail");
}

void CGpiDlg::SetOutput(uint16_t level)
{
    UpdateData(TRUE);
    const int channel = m_nOutputChannel;
    CString text;
    // A number the card cannot have is refused, not wrapped round onto another channel.
    if (channel < 0 || channel > UINT16_MAX) {
        text.Format("Dev=GPI channel %d out of range", channel);
        glReportLog(kLogDev, text, "");
    } else if (!m_card.SetChannelState(static_cast<uint16_t>(channel), level)) {
        text.Format("Dev=GPI set channel %d failed", channel);
        glReportLog(kLogDev, text, "");
    }
}

void CGpiDlg::StartReceive()
{
    if (m_thread.Active()) return;
    m_bStop = 0;
    m_stopEvent.Reset();
    m_thread.Create(&CGpiDlg::ReceiveThrdProc, this);
}

void CGpiDlg::EndReceive()
{
    if (m_thread.IsNull()) return;
    m_bStop = 1;
    m_stopEvent.Set();
    m_thread.StopWithin(kStopWaitMs, 0);
}

uint32_t CGpiDlg::ReceiveThrdProc(void *dialog)
{
    static_cast<CGpiDlg *>(dialog)->Receive();
    return 0;
}

void CGpiDlg::PostSynop(const CString &text)
{
    CDSClient client;
    client.PostNetMsg("Kest", "#SYNOP", static_cast<const char *>(text), nullptr);
}

void CGpiDlg::Receive()
{
    const CString synop = SynopText();
    if (!m_card.OpenDevice()) {
        glReportLog(kLogDev, "Dev=GPI Open failed", "");
        return;
    }
    uint16_t previous = 1;
    uint16_t level = 1;
    bool eventOn = false;
    while (!m_bStop) {
        // The card's event follows the box, also when it is ticked or cleared while the
        // thread runs (a wait for an event not enabled would fail at once, every time).
        const bool interrupt = m_bInterrupt != 0;
        if (interrupt != eventOn) {
            if (m_card.EnableEvent(kInputEvent, interrupt ? 1 : 0, 1) != 0 && interrupt) {
                glReportLog(kLogDev, "Dev=GPI don't surport event", "");
                return;
            }
            eventOn = interrupt;
        }
        if (interrupt) {
            // Events are waited for; nothing is counted or sent.
            WaitCardEvent(m_card, kInputEvent, kEventWaitMs, m_stopEvent);
            continue;
        }
        if (m_card.ReadChannelState(static_cast<uint16_t>(m_nPort.load()), 0, level)) {
            int64_t now = 0;
            glGetTimeEx(&now);
            const uint16_t trigger = m_bTriggerHigh ? 1 : 0;
            if (level != previous && level == trigger) {
                m_lLastTrigger = now;
                CString count;
                count.Format("%d", ++m_nCount);
                SetDlgItemText(IDC_COUNT, count);
                glReportLog(kLogDev, " Dev = GPI ", "");
                PostSynop(synop);
            }
            previous = level;
        }
        plat::Sleep(kPollMs);
    }
}
