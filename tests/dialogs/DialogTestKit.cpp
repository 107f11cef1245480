#include "tests/dialogs/DialogTestKit.h"

#include "devext/device/CMxtDialogReg.h"
#include "platform/ui/DialogTemplate.h"

#include <cstring>

using namespace dlgtest;

IMPLEMENT_KEST_CLASS(CTestDevBase, CKestnut)
IMPLEMENT_KEST_CLASS(CTestDevLine, CTestDevBase, "test line", "Test.DevLine")
IMPLEMENT_KEST_CLASS(CTestDevPlain, CTestDevBase)

IMPLEMENT_DYNCREATE(CTestLinePage, CObjectSettingDlg)
IMPLEMENT_DYNCREATE(CTestBasePage, CObjectSettingDlg)
IMPLEMENT_DYNCREATE(CTestPlainPage, CPropertyPage)
IMPLEMENT_DYNCREATE(CTestPanel, CControlDlg)
IMPLEMENT_DYNCREATE(CTestPopup, CDialog)

CTestLinePage::CTestLinePage() : CTestSettingPage(IDD_TEST_PAGE) {}
CTestBasePage::CTestBasePage() : CTestSettingPage(IDD_TEST_PAGE) {}
CTestPlainPage::CTestPlainPage() : CPropertyPage(IDD_TEST_PAGE) {}
CTestPanel::CTestPanel() : CControlDlg(static_cast<int>(IDD_TEST_PANEL)) {}

int CTestPanel::OnInitParam(const char *text)
{
    param = text;
    return static_cast<int>(strlen(text ? text : ""));
}

namespace {

const CDlgTemplateReg g_page({IDD_TEST_PAGE, "测试页", WS_CHILD, {0, 0, 200, 100}, {}});
const CDlgTemplateReg g_panel({IDD_TEST_PANEL,
                               "控制",
                               WS_POPUP,
                               {0, 0, 200, 100},
                               {
                                   {IDC_PANEL_TEXT,
                                    UiControl::Edit,
                                    nullptr,
                                    "",
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                    {5, 5, 100, 25}},
                               }});

const CMxtDialogReg g_line(RUNTIME_CLASS(CTestLinePage), "Line_Setting_Dlg", "线路",
                           "CTestDevLine");
const CMxtDialogReg g_panelReg(RUNTIME_CLASS(CTestPanel), "Test_Control_Dlg", "控制",
                               "CTestDevLine");
const CMxtDialogReg g_popup(RUNTIME_CLASS(CTestPopup), "Popup_Dlg", "弹出", "CTestDevLine");
const CMxtDialogReg g_plain(RUNTIME_CLASS(CTestPlainPage), "Plain_Page_Dlg", "普通",
                            "CTestDevLine");
const CMxtDialogReg g_base(RUNTIME_CLASS(CTestBasePage), "Base_Setting_Dlg", "基本",
                           "CTestDevBase");

} // namespace
