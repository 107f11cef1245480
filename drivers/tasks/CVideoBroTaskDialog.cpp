#include "drivers/tasks/CVideoBroTaskDialog.h"

#include "drivers/model/CMxtTimecodeCtrl.h"

#include "KestLib20/CFileTime.h"
#include "platform/ui/CDateTimeCtrl.h"
#include "platform/ui/DialogTemplate.h"

namespace {

constexpr uint32_t kEditStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;

const CDlgTemplateReg g_template({CVideoBroTaskDialog::IDD,
                                  "增加任务",
                                  WS_POPUP | WS_CAPTION,
                                  {0, 0, 260, 190},
                                  {
                                      {CVideoBroTaskDialog::IDC_START,
                                       UiControl::DateTime,
                                       nullptr,
                                       "",
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                       {60, 7, 200, 21}},
                                      {CVideoBroTaskDialog::IDC_CLIP_ID,
                                       UiControl::Edit,
                                       nullptr,
                                       "",
                                       kEditStyle,
                                       {60, 27, 200, 41}},
                                      {CVideoBroTaskDialog::IDC_DEV_ID,
                                       UiControl::Edit,
                                       nullptr,
                                       "",
                                       kEditStyle,
                                       {60, 47, 200, 61}},
                                      {CVideoBroTaskDialog::IDC_DURATION,
                                       UiControl::Custom,
                                       CMxtTimecodeCtrl::kWndClassName,
                                       "",
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                       {60, 67, 200, 81}},
                                      {CVideoBroTaskDialog::IDC_STATUS,
                                       UiControl::Edit,
                                       nullptr,
                                       "",
                                       kEditStyle,
                                       {60, 87, 200, 101}},
                                      {CVideoBroTaskDialog::IDC_TASK_ID,
                                       UiControl::Edit,
                                       nullptr,
                                       "",
                                       kEditStyle,
                                       {60, 107, 200, 121}},
                                      {IDOK,
                                       UiControl::Button,
                                       nullptr,
                                       "确定",
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                       {60, 160, 120, 175}},
                                      {IDCANCEL,
                                       UiControl::Button,
                                       nullptr,
                                       "取消",
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                       {140, 160, 200, 175}},
                                  }});

} // namespace

CVideoBroTaskDialog::CVideoBroTaskDialog(CWnd *parent) : CDialog(IDD, parent)
{
    SetTask(tagVideoBroTask(), false);
}

void CVideoBroTaskDialog::SetTask(const tagVideoBroTask &task, bool modify)
{
    m_task = task;
    m_strCaption = modify ? "任务修改" : "增加任务";
}

BOOL CVideoBroTaskDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(m_strCaption);
    SetDlgItemText(IDC_CLIP_ID, m_task.ID);
    SetDlgItemText(IDC_DEV_ID, m_task.Dev);
    SetDlgItemInt(IDC_TASK_ID, static_cast<UINT>(m_task.TaskID));
    SetDlgItemInt(IDC_STATUS, static_cast<UINT>(m_task.Status));
    if (auto *start = dynamic_cast<CDateTimeCtrl *>(GetDlgItem(IDC_START))) {
        // Local time, the form in which OnOK reads it back.
        plat::SYSTEMTIME now{};
        CFileTime::GetCurrentTime().Get(now);
        start->SetTime(&now);
        start->SetFormat("yyyy-MM-dd HH:mm:ss");
    }
    if (auto *duration = dynamic_cast<CMxtTimecodeCtrl *>(GetDlgItem(IDC_DURATION)))
        duration->SetTimecode(timecode_t(m_task.DUR));
    return TRUE;
}

void CVideoBroTaskDialog::OnOK()
{
    CString text;
    GetDlgItemText(IDC_CLIP_ID, text);
    m_task.ID = text;
    GetDlgItemText(IDC_DEV_ID, text);
    m_task.Dev = text;
    m_task.TaskID = static_cast<int32_t>(GetDlgItemInt(IDC_TASK_ID));
    m_task.Status = static_cast<int32_t>(GetDlgItemInt(IDC_STATUS));
    if (auto *duration = dynamic_cast<CMxtTimecodeCtrl *>(GetDlgItem(IDC_DURATION)))
        m_task.DUR = duration->GetTimecode();
    if (auto *start = dynamic_cast<CDateTimeCtrl *>(GetDlgItem(IDC_START))) {
        plat::SYSTEMTIME local{};
        if (start->GetTime(&local) == GDT_VALID) m_task.Start = CFileTime(local).GetTime();
    }
    CDialog::OnOK();
}
