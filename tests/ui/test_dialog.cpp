// Dialogs: building from templates, data exchange both ways, modal runs scripted and headless,
// message boxes, and the keys a dialog takes (Tab, Return, Escape).
#include "tests/ui/UiTestKit.h"

#include "platform/ui/CButton.h"
#include "platform/ui/CComboBox.h"
#include "platform/ui/CDataExchange.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/CEdit.h"
#include "platform/ui/CListBox.h"
#include "platform/ui/DialogTemplate.h"

using namespace uitest;

namespace {

constexpr UINT IDD_FORM = 7100;
constexpr int IDC_NAME = 7101, IDC_COUNT = 7102, IDC_FLAG = 7103, IDC_KIND = 7104, IDC_LIST = 7105,
              IDC_LABEL = 7106, IDC_APPLY = 7107, IDC_KINDTEXT = 7108;

const CDlgTemplateReg g_form(
    {IDD_FORM,
     "表单",
     WS_POPUP | WS_CAPTION,
     {0, 0, 300, 200},
     {
         {IDC_LABEL, UiControl::Static, nullptr, "名称", WS_CHILD | WS_VISIBLE, {5, 5, 60, 20}},
         {IDC_NAME,
          UiControl::Edit,
          nullptr,
          "",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP,
          {70, 5, 200, 20}},
         {IDC_COUNT,
          UiControl::Edit,
          nullptr,
          "",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP,
          {70, 25, 200, 45}},
         {IDC_FLAG,
          UiControl::Button,
          nullptr,
          "flag",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
          {5, 50, 100, 70}},
         {IDC_KIND,
          UiControl::ComboBox,
          nullptr,
          "",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST,
          {5, 75, 100, 95}},
         {IDC_KINDTEXT,
          UiControl::ComboBox,
          nullptr,
          "",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN,
          {105, 75, 200, 95}},
         {IDC_LIST,
          UiControl::ListBox,
          nullptr,
          "",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP,
          {5, 100, 100, 150}},
         {IDC_APPLY,
          UiControl::Button,
          nullptr,
          "apply",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP,
          {5, 160, 60, 180}},
         {IDOK,
          UiControl::Button,
          nullptr,
          "OK",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
          {110, 160, 160, 180}},
         {IDCANCEL,
          UiControl::Button,
          nullptr,
          "Cancel",
          WS_CHILD | WS_VISIBLE | WS_TABSTOP,
          {170, 160, 220, 180}},
     }});

class CFormDlg : public CDialog {
public:
    CFormDlg() : CDialog(IDD_FORM) {}

    CString name = "name";
    int count = 3;
    int flag = 1;
    int kind = 1;
    CString kindText = "b";
    int listIndex = 0;
    int cancels = 0;
    int applies = 0;
    bool initFocus = true;

protected:
    BOOL OnInitDialog() override
    {
        for (int id : {IDC_KIND, IDC_KINDTEXT}) {
            auto *combo = static_cast<CComboBox *>(GetDlgItem(id));
            for (const char *text : {"a", "b", "c"}) combo->AddString(text);
        }
        auto *list = static_cast<CListBox *>(GetDlgItem(IDC_LIST));
        for (const char *text : {"x", "y"}) list->AddString(text);
        CDialog::OnInitDialog();
        return initFocus;
    }
    void DoDataExchange(CDataExchange *dx) override
    {
        DDX_Text(dx, IDC_NAME, name);
        DDX_Text(dx, IDC_COUNT, count);
        DDX_Check(dx, IDC_FLAG, flag);
        DDX_CBIndex(dx, IDC_KIND, kind);
        DDX_CBString(dx, IDC_KINDTEXT, kindText);
        DDX_LBIndex(dx, IDC_LIST, listIndex);
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        if (LOWORD(wParam) == IDC_APPLY && HIWORD(wParam) == BN_CLICKED) {
            ++applies;
            return TRUE;
        }
        return CDialog::OnCommand(wParam, lParam);
    }
    void OnCancel() override
    {
        ++cancels;
        CDialog::OnCancel();
    }
};

CString Text(CWnd &dlg, int id)
{
    CString text;
    dlg.GetDlgItemText(id, text);
    return text;
}

} // namespace

TEST(Dialogs, AScriptedRunSeesTheLoadedFieldsAndOkReadsThemBack)
{
    ui::CScriptedRunner runner;
    CFormDlg dlg;
    runner.Then([](CDialog &shown) {
        EXPECT_EQ(Text(shown, IDC_LABEL), "名称");
        EXPECT_EQ(Text(shown, IDC_NAME), "name");
        EXPECT_EQ(Text(shown, IDC_COUNT), "3");
        EXPECT_EQ(Text(shown, IDC_KIND), "b");
        EXPECT_EQ(Text(shown, IDC_KINDTEXT), "b");
        EXPECT_EQ(CWnd::GetFocus(), shown.GetDlgItem(IDC_NAME));
        ui::TypeText("新名"); // the whole text was selected by the first focus
        ui::PressKey(VK_TAB);
        ui::TypeText("-42");
        ui::Click(shown, IDC_FLAG);
        ui::Pick(shown, IDC_KIND, 2);
        ui::Pick(shown, IDC_LIST, 1);
        shown.SetDlgItemText(IDC_KINDTEXT, "free");
        ui::PressOK(shown);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(runner.Runs(), (std::vector<CString>{"表单"}));
    EXPECT_EQ(dlg.name, "新名");
    EXPECT_EQ(dlg.count, -42);
    EXPECT_EQ(dlg.flag, 0);
    EXPECT_EQ(dlg.kind, 2);
    EXPECT_EQ(dlg.kindText, "free");
    EXPECT_EQ(dlg.listIndex, 1);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr) << "the run destroys the window";
    EXPECT_EQ(CWnd::GetFocus(), nullptr);
}

TEST(Dialogs, ABadNumberKeepsTheDialogOpenWithAMessageAndCancelKeepsTheMembers)
{
    ui::CScriptedRunner runner;
    CFormDlg dlg;
    runner.Then([](CDialog &shown) {
        ui::Focus(shown, IDC_COUNT);
        ui::TypeText("12a");
        ui::Focus(shown, IDC_NAME);
        ui::TypeText("changed");
        ui::PressOK(shown);
        EXPECT_FALSE(shown.HasEnded());
        EXPECT_EQ(CWnd::GetFocus(), shown.GetDlgItem(IDC_COUNT)) << "the failing field";
        ui::PressKey(VK_ESCAPE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    ASSERT_EQ(runner.Boxes().size(), 1u);
    EXPECT_EQ(runner.Boxes()[0].text, "请输入一个整数。");
    EXPECT_EQ(dlg.count, 3);
    EXPECT_EQ(dlg.name, "changed") << "fields before the bad one were read";
    EXPECT_EQ(dlg.cancels, 1);
}

TEST(Dialogs, TheHeadlessRunnerCancelsAndAScriptThatLeavesTheDialogOpenIsCancelled)
{
    CFormDlg headless;
    EXPECT_EQ(headless.DoModal(), IDCANCEL);
    EXPECT_EQ(headless.cancels, 1);
    EXPECT_EQ(AfxMessageBox("?", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(AfxMessageBox("!", MB_OK), IDOK);
    EXPECT_EQ(AfxMessageBox("?", MB_OKCANCEL), IDCANCEL);

    {
        ui::CScriptedRunner runner;
        runner.Answer(IDYES);
        CFormDlg open;
        runner.Then([](CDialog &shown) { ui::Focus(shown, IDC_NAME); });
        EXPECT_EQ(open.DoModal(), IDCANCEL);
        EXPECT_EQ(open.cancels, 1);
        EXPECT_EQ(AfxMessageBox("?", MB_YESNO), IDYES);
        EXPECT_EQ(AfxMessageBox("?", MB_YESNO), IDNO) << "answers run out: the headless answer";
    }
    EXPECT_EQ(dynamic_cast<CHeadlessRunner *>(AfxGetModalRunner()) != nullptr, true)
        << "the scripted runner puts the default back";
}

TEST(Dialogs, ANestedRunTakesTheNextScript)
{
    ui::CScriptedRunner runner;
    CFormDlg outer;
    int innerResult = 0;
    runner.Then([&](CDialog &shown) {
        CFormDlg inner;
        inner.name = "inner";
        innerResult = static_cast<int>(inner.DoModal());
        EXPECT_EQ(CWnd::GetFocus(), nullptr) << "the inner dialog is gone";
        ui::PressOK(shown);
    });
    runner.Then([](CDialog &shown) {
        EXPECT_EQ(Text(shown, IDC_NAME), "inner");
        ui::PressOK(shown);
    });
    EXPECT_EQ(outer.DoModal(), IDOK);
    EXPECT_EQ(innerResult, IDOK);
    EXPECT_EQ(runner.PendingScripts(), 0u);
}

TEST(Dialogs, TabCyclesTheStopsReturnPressesOkOrTheFocusedButtonEscapeCancels)
{
    ui::CScriptedRunner runner;
    CFormDlg dlg;
    runner.Then([&](CDialog &shown) {
        ui::PressKey(VK_TAB, true); // back from the first stop wraps to Cancel
        EXPECT_EQ(CWnd::GetFocus(), shown.GetDlgItem(IDCANCEL));
        ui::PressKey(VK_TAB);
        EXPECT_EQ(CWnd::GetFocus(), shown.GetDlgItem(IDC_NAME));
        int start, end;
        static_cast<CEdit *>(shown.GetDlgItem(IDC_NAME))->GetSel(start, end);
        EXPECT_EQ(end - start, 4) << "Tab selects an edit's text";
        ui::Focus(shown, IDC_APPLY);
        ui::PressKey(VK_RETURN);
        EXPECT_EQ(dlg.applies, 1);
        EXPECT_FALSE(shown.HasEnded());
        ui::Focus(shown, IDC_COUNT);
        ui::PressKey(VK_RETURN);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);

    CFormDlg noFocus;
    noFocus.initFocus = false;
    runner.Then([](CDialog &) { EXPECT_EQ(CWnd::GetFocus(), nullptr); });
    EXPECT_EQ(noFocus.DoModal(), IDCANCEL);
}

TEST(Dialogs, TemplatesThatCannotBeBuiltGiveMinusOneAndLeaveNoWindow)
{
    CDialog missing(7199);
    EXPECT_EQ(missing.DoModal(), -1);

    CDlgTemplateReg broken(
        {7198,
         "broken",
         WS_POPUP,
         {0, 0, 100, 100},
         {
             {1, UiControl::Edit, nullptr, "", WS_CHILD, {0, 0, 10, 10}},
             {2, UiControl::Custom, "NoSuchControl", "", WS_CHILD, {0, 0, 10, 10}},
         }});
    CDialog dlg(7198);
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
}

TEST(Dialogs, ALaterTemplateHidesAnEarlierOneOfTheSameIdUntilItGoes)
{
    {
        CDlgTemplateReg replacement({IDD_FORM, "replacement", WS_POPUP, {0, 0, 10, 10}, {}});
        EXPECT_STREQ(AfxFindDlgTemplate(IDD_FORM)->caption, "replacement");
    }
    EXPECT_STREQ(AfxFindDlgTemplate(IDD_FORM)->caption, "表单");
}

TEST(Dialogs, AModelessDialogFromAChildTemplateBecomesAChildAndEndDialogHidesIt)
{
    CDlgTemplateReg panel(
        {7197,
         "panel",
         WS_CHILD | WS_VISIBLE,
         {0, 0, 100, 100},
         {
             {1, UiControl::Edit, nullptr, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, {0, 0, 10, 10}},
         }});
    CRecorder host;
    CDialog dlg;
    ASSERT_TRUE(dlg.Create(7197, &host));
    EXPECT_EQ(dlg.GetParent(), &host);
    EXPECT_TRUE(dlg.IsWindowVisible());
    dlg.EndDialog(IDOK);
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_TRUE(IsWindow(&dlg));
    host.DestroyWindow();
    EXPECT_FALSE(IsWindow(&dlg));
}
