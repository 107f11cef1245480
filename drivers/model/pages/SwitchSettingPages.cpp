#include "drivers/model/pages/SwitchSettingPages.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/CMxtControlDialog.h"
#include "devext/device/CMxtDialogReg.h"
#include "platform/ui/CComboBox.h"
#include "platform/ui/CListBox.h"
#include "platform/ui/DialogTemplate.h"

IMPLEMENT_DYNCREATE(CPropDeviceMutilSwitch, CObjectSettingDlg)
IMPLEMENT_DYNCREATE(CPropDeviceQuartz, CObjectSettingDlg)

namespace {

constexpr uint32_t kField = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

using Mutil = CPropDeviceMutilSwitch;
using Quartz = CPropDeviceQuartz;

const CDlgTemplateReg g_mutilTemplate({Mutil::IDD,
                                       "MutilSwitch设置",
                                       WS_CHILD,
                                       {0, 0, 240, 200},
                                       {
                                           {Mutil::IDC_MEMBERS,
                                            UiControl::ListBox,
                                            nullptr,
                                            "",
                                            kField | WS_BORDER | WS_VSCROLL,
                                            {10, 10, 230, 190}},
                                       }});

const CDlgTemplateReg g_quartzTemplate(
    {Quartz::IDD,
     "Quartz设置",
     WS_CHILD,
     {0, 0, 240, 120},
     {
         {-1, UiControl::Static, nullptr, "BUS", WS_CHILD | WS_VISIBLE, {10, 12, 60, 26}},
         {Quartz::IDC_BUS,
          UiControl::ComboBox,
          nullptr,
          "",
          kField | CBS_DROPDOWN,
          {64, 10, 140, 100}},
         {-1, UiControl::Static, nullptr, "COM", WS_CHILD | WS_VISIBLE, {10, 38, 60, 52}},
         {Quartz::IDC_COM,
          UiControl::ComboBox,
          nullptr,
          "",
          kField | CBS_DROPDOWN,
          {64, 36, 140, 126}},
         {Quartz::IDC_TASKS, UiControl::Button, nullptr, "切换任务", kField, {10, 70, 110, 90}},
     }});

const CMxtDialogReg g_mutilReg(RUNTIME_CLASS(CPropDeviceMutilSwitch), "BMutilSwitch_Setting_Dlg",
                               "MutilSwitch设置", "CVideoSwitch_Mutil");
const CMxtDialogReg g_quartzReg(RUNTIME_CLASS(CPropDeviceQuartz), "Quartz_Setting_Dlg",
                                "Quartz设置", "CVideoSwitch_Quartz");

} // namespace

CPropDeviceMutilSwitch::CPropDeviceMutilSwitch() : CObjectSettingDlg(IDD) {}

BOOL CPropDeviceMutilSwitch::OnInitDialog()
{
    CObjectSettingDlg::OnInitDialog();
    auto *list = dynamic_cast<CListBox *>(GetDlgItem(IDC_MEMBERS));
    if (!list) return TRUE;
    CStringArray members;
    CResAccess(m_strSettingPath)["Dev"].GetAsStringArray(members);
    list->ResetContent();
    for (const CString &member : members) list->AddString(member);
    return TRUE;
}

BOOL CPropDeviceMutilSwitch::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) != IDC_MEMBERS || HIWORD(wParam) != LBN_SELCHANGE)
        return CObjectSettingDlg::OnCommand(wParam, lParam);
    auto *list = dynamic_cast<CListBox *>(GetDlgItem(IDC_MEMBERS));
    const int chosen = list ? list->GetCurSel() : LB_ERR;
    if (chosen == LB_ERR) return TRUE;
    CString member;
    list->GetText(chosen, member);
    glDoSettingDialog("设备属性", member, nullptr, static_cast<const char *>(nullptr));
    return TRUE;
}

CPropDeviceQuartz::CPropDeviceQuartz() : CObjectSettingDlg(IDD) {}

BOOL CPropDeviceQuartz::OnInitDialog()
{
    CObjectSettingDlg::OnInitDialog();
    CResAccess setting(m_strSettingPath);
    for (const auto &[id, key] : {std::pair{IDC_BUS, "BUS"}, std::pair{IDC_COM, "COM"}}) {
        auto *combo = dynamic_cast<CComboBox *>(GetDlgItem(id));
        if (!combo) continue;
        combo->ResetContent();
        for (int n = 1; n <= 16; ++n) {
            CString choice;
            choice.Format("%d", n);
            combo->AddString(choice);
        }
        CString shown;
        shown.Format("%d", setting[key].GetAsInteger(0));
        combo->SetWindowText(shown);
    }
    return TRUE;
}

BOOL CPropDeviceQuartz::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) != IDC_TASKS || HIWORD(wParam) != BN_CLICKED)
        return CObjectSettingDlg::OnCommand(wParam, lParam);
    CMxtControlDialog panel;
    panel.OpenDialog("CVideoSwitchTaskList", nullptr);
    panel.InitParam(nullptr);
    panel.DoModal();
    panel.CloseDialog();
    return TRUE;
}
