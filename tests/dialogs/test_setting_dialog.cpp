// The setting-dialog entry points: finding an object's setting and class, keeping only the
// setting pages, handing each page the path and name, the object-property page's listing of
// the setting, and opening control panels by class and key.
#include "tests/dialogs/DialogTestKit.h"
#include "tests/Kest20/FakeSettings.h"

#include "devext/device/CMxtControlDialog.h"
#include "devext/device/CMxtDialogCollection.h"
#include "platform/ui/CEdit.h"
#include "platform/ui/CPropertySheet.h"
#include "platform/ui/UiInput.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr int IDC_OBJECT_NAME = 5005;
constexpr int IDC_OBJECT_SETTINGS = 5004;

// What one sheet showed: its caption, and per page its class name and what it was given.
struct ShownSheet {
    CString caption;
    std::vector<CString> classes;
    std::vector<CString> paths;
    std::vector<CString> names;
};

// A script that records the sheet, visiting every page, and presses `button`.
ui::CScriptedRunner::Script Record(ShownSheet &shown, UINT button = IDOK)
{
    return [&shown, button](CDialog &dlg) {
        auto &sheet = dynamic_cast<CPropertySheet &>(dlg);
        dlg.GetWindowText(shown.caption);
        for (int i = 0; i < sheet.GetPageCount(); ++i) {
            EXPECT_TRUE(sheet.SetActivePage(i));
            auto *page = dynamic_cast<CObjectSettingDlg *>(sheet.GetPage(i));
            ASSERT_NE(page, nullptr);
            shown.classes.push_back(page->GetRuntimeClass()->m_lpszClassName);
            shown.paths.push_back(page->m_strSettingPath);
            shown.names.push_back(page->m_strObjectName);
        }
        if (button == IDOK) ui::PressOK(dlg);
        if (button == IDCANCEL) ui::PressCancel(dlg);
    };
}

} // namespace

TEST(SettingDialog, FindsTheSettingUnderEtcAndTheClassFromItsRegisteredName)
{
    FakeSettings settings;
    settings.SetSubEntries("/etc", {"tvx", "dev"});
    settings.Set("/etc/dev/Line1", "class", "Test.DevLine");
    ui::CScriptedRunner runner;
    ShownSheet shown;
    runner.Then(Record(shown));
    EXPECT_EQ(glDoSettingDialog("设备属性", "Line1", nullptr, nullptr), IDOK);
    EXPECT_EQ(shown.caption, "设备属性");
    // Only setting pages: the panel, the popup and the plain property page are left out.
    EXPECT_EQ(shown.classes,
              (std::vector<CString>{"CTestLinePage", "CTestBasePage", "CObjectPropertyPage"}));
    EXPECT_EQ(shown.paths, std::vector<CString>(3, "/etc/dev/Line1"));
    EXPECT_EQ(shown.names, std::vector<CString>(3, "Line1"));
    EXPECT_EQ(CTestSettingPage::s_live, 0) << "the pages are deleted afterwards";
}

TEST(SettingDialog, APageSeesThePathAndNameWhenItOpens)
{
    ui::CScriptedRunner runner;
    runner.Then([](CDialog &dlg) {
        auto *page =
            dynamic_cast<CTestSettingPage *>(dynamic_cast<CPropertySheet &>(dlg).GetPage(0));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->seenPath, "/etc/dev/X");
        EXPECT_EQ(page->seenName, "X");
    });
    EXPECT_EQ(glDoSettingDialog("c", "X", "/etc/dev/X", "CTestDevPlain"), IDCANCEL);
}

TEST(SettingDialog, WithoutASettingAnywhereTheDefaultPathIsReadAndAMissingClassGivesZero)
{
    FakeSettings settings;
    settings.SetSubEntries("/etc", {"dev"});
    ui::CScriptedRunner runner;
    EXPECT_EQ(glDoSettingDialog("c", "Nowhere", nullptr, ""), 0);
    EXPECT_TRUE(runner.Runs().empty());

    settings.Set("/etc/tvx/Nowhere", "class", "CTestDevPlain"); // not under a root listed
    ShownSheet shown;
    runner.Then(Record(shown));
    EXPECT_EQ(glDoSettingDialog("c", "Nowhere", "", nullptr), IDOK);
    EXPECT_EQ(shown.paths, std::vector<CString>(2, "/etc/tvx/Nowhere"));
}

TEST(SettingDialog, AGivenClassIsUsedAsItIsAndEveryObjectHasTheObjectPage)
{
    ui::CScriptedRunner runner;
    ShownSheet shown;
    runner.Then(Record(shown, IDCANCEL));
    EXPECT_EQ(glDoSettingDialog("c", "Obj", "/etc/tvx/Obj", "CKestnut"), IDCANCEL);
    EXPECT_EQ(shown.classes, (std::vector<CString>{"CObjectPropertyPage"}));

    EXPECT_EQ(glDoSettingDialog("c", "Obj", "/etc/tvx/Obj", "CNotAClass"), 0)
        << "a name that is no class only has pages registered under that very name";
    EXPECT_EQ(runner.Runs().size(), 1u);
}

TEST(SettingDialog, TheListOverloadKeepsOnlySettingPagesAndTheDefaultRunnerCancels)
{
    tagMxtDlgInfoArray regs;
    CMxtDialogCollection::Collect(regs, "CTestDevLine");
    ASSERT_EQ(regs.GetSize(), 4);
    EXPECT_EQ(glDoSettingDialog("c", "L", "/etc/dev/L", regs), IDCANCEL);
    ASSERT_EQ(regs.GetSize(), 1);
    EXPECT_EQ(regs[0]->m_strDialogKey, "Line_Setting_Dlg");

    tagMxtDlgInfoArray none;
    CMxtDialogCollection::Collect(none, "CTestDevLine", RUNTIME_CLASS(CControlDlg));
    EXPECT_EQ(glDoSettingDialog("c", "L", "/etc/dev/L", none), 0);
    EXPECT_EQ(CTestSettingPage::s_live, 0);
}

TEST(ObjectPropertyPage, ListsTheKeysPaddedToOneWidthWithTheCaretAtTheEnd)
{
    FakeSettings settings;
    settings.SetSubEntries("/etc/tvx/Obj", {"A", "Longer"});
    settings.Set("/etc/tvx/Obj", "A", "1");
    settings.Set("/etc/tvx/Obj", "Longer", "two words");
    ui::CScriptedRunner runner;
    runner.Then([](CDialog &dlg) {
        CPropertyPage *page = dynamic_cast<CPropertySheet &>(dlg).GetPage(0);
        CString text;
        page->GetDlgItemText(IDC_OBJECT_NAME, text);
        EXPECT_EQ(text, "Obj");
        auto *edit = dynamic_cast<CEdit *>(page->GetDlgItem(IDC_OBJECT_SETTINGS));
        ASSERT_NE(edit, nullptr);
        edit->GetWindowText(text);
        // Each key padded to 12 (the longest, 6, plus 6), then " = " and the value.
        EXPECT_EQ(text, CString("A") + CString(' ', 11) + " = 1\r\n" + "Longer" + CString(' ', 6) +
                            " = two words\r\n");
        int start, end;
        edit->GetSel(start, end);
        EXPECT_EQ(start, text.GetLength());
        EXPECT_EQ(end, text.GetLength());
        EXPECT_TRUE(edit->GetStyle() & ES_READONLY);
    });
    EXPECT_EQ(glDoSettingDialog("对象", "Obj", "/etc/tvx/Obj", "CKestnut"), IDCANCEL);

    settings.SetSubEntries("/etc/tvx/Short", {"k"});
    runner.Then([](CDialog &dlg) {
        CString text;
        dynamic_cast<CPropertySheet &>(dlg).GetPage(0)->GetDlgItemText(IDC_OBJECT_SETTINGS, text);
        EXPECT_EQ(text, "k    = \r\n") << "width 4, (1 + 6) rounded down; no value read: empty";
    });
    glDoSettingDialog("对象", "Short", "/etc/tvx/Short", "CKestnut");
}

TEST(ControlDialog, OpensThePanelOfAClassAndKeyAndClosesIt)
{
    CMxtControlDialog holder;
    EXPECT_EQ(holder.InitParam("x"), 0);
    EXPECT_EQ(holder.DoModal(), 0);

    ASSERT_EQ(holder.OpenDialog("ctestdevline", "Test_Control_Dlg"), 1);
    auto *panel = dynamic_cast<CTestPanel *>(holder.GetDialog());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->GetSafeHwnd(), nullptr) << "its window is not made yet";
    EXPECT_EQ(holder.InitParam("abc"), 3);
    EXPECT_EQ(panel->param, "abc");

    ui::CScriptedRunner runner;
    runner.Then([](CDialog &dlg) {
        EXPECT_NE(dlg.GetDlgItem(dlgtest::IDC_PANEL_TEXT), nullptr);
        ui::PressOK(dlg);
    });
    EXPECT_EQ(holder.DoModal(), IDOK);
    EXPECT_EQ(holder.CloseDialog(), 1);
    EXPECT_EQ(holder.GetDialog(), nullptr);

    ASSERT_EQ(holder.OpenDialog("CTestDevLine", nullptr), 1) << "any key";
    EXPECT_EQ(holder.OpenDialog("CTestDevLine", "Line_Setting_Dlg"), 0) << "not a panel";
    EXPECT_EQ(holder.GetDialog(), nullptr) << "the panel held before is closed";
    EXPECT_EQ(holder.OpenDialog("CTestDevLine", "test_control_dlg"), 0) << "keys match exactly";
    EXPECT_EQ(holder.OpenDialog("CTestDevBase", "Test_Control_Dlg"), 0) << "no base classes";
}
