// Property sheets: pages built when first shown, leaving a page checks it, OK applies every
// built page, Cancel cancels them, Apply follows the pages' modified marks, and the keys of a
// page reach the sheet.
#include "tests/ui/UiTestKit.h"

#include "platform/ui/CDataExchange.h"
#include "platform/ui/CPropertyPage.h"
#include "platform/ui/CPropertySheet.h"
#include "platform/ui/DialogTemplate.h"

#include <string>

using namespace uitest;

namespace {

constexpr UINT IDD_PAGE = 7200;
constexpr int IDC_VALUE = 7201;

const CDlgTemplateReg g_page({IDD_PAGE,
                              "页",
                              WS_CHILD,
                              {0, 0, 200, 100},
                              {
                                  {IDC_VALUE,
                                   UiControl::Edit,
                                   nullptr,
                                   "",
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                   {5, 5, 100, 25}},
                              }});

// A page whose value must be a number; it journals what the sheet asks of it.
class CNumberPage : public CPropertyPage {
public:
    CNumberPage(std::string name, std::vector<std::string> &journal)
        : CPropertyPage(IDD_PAGE), m_name(std::move(name)), m_journal(journal)
    {
    }

    int value = 0;
    bool refuseApply = false;

protected:
    BOOL OnInitDialog() override
    {
        m_journal.push_back(m_name + " init");
        return CPropertyPage::OnInitDialog();
    }
    void DoDataExchange(CDataExchange *dx) override { DDX_Text(dx, IDC_VALUE, value); }
    BOOL OnApply() override
    {
        m_journal.push_back(m_name + " apply");
        return refuseApply ? FALSE : CPropertyPage::OnApply();
    }
    void OnCancel() override { m_journal.push_back(m_name + " cancel"); }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        if (LOWORD(wParam) == IDC_VALUE && HIWORD(wParam) == EN_CHANGE) SetModified();
        return CPropertyPage::OnCommand(wParam, lParam);
    }

private:
    std::string m_name;
    std::vector<std::string> &m_journal;
};

struct SheetFixture : ::testing::Test {
    std::vector<std::string> journal;
    CNumberPage first{"first", journal};
    CNumberPage second{"second", journal};
    CNumberPage third{"third", journal};
    CPropertySheet sheet{"设置"};
    ui::CScriptedRunner runner;

    void SetUp() override
    {
        sheet.AddPage(&first);
        sheet.AddPage(&second);
        sheet.AddPage(&third);
    }
};

} // namespace

TEST_F(SheetFixture, PagesAreBuiltWhenShownAndOkAppliesOnlyTheBuiltOnes)
{
    runner.Then([&](CDialog &shown) {
        EXPECT_EQ(&shown, &sheet);
        EXPECT_EQ(journal, (std::vector<std::string>{"first init"}));
        EXPECT_EQ(CWnd::GetFocus(), first.GetDlgItem(IDC_VALUE)) << "the shown page's first stop";
        ui::TypeText("7");
        EXPECT_TRUE(sheet.SetActivePage(1));
        EXPECT_FALSE(first.IsWindowVisible());
        EXPECT_TRUE(second.IsWindowVisible());
        ui::PressOK(shown);
    });
    EXPECT_EQ(sheet.DoModal(), IDOK);
    EXPECT_EQ(runner.Runs(), (std::vector<CString>{"设置"}));
    EXPECT_EQ(journal, (std::vector<std::string>{"first init", "second init", "first apply",
                                                 "second apply"}));
    EXPECT_EQ(first.value, 7);
    EXPECT_EQ(first.GetSafeHwnd(), nullptr) << "pages go with the sheet's window";
}

TEST_F(SheetFixture, ABadPageCannotBeLeftAndARefusingApplyKeepsTheSheetOpenOnThatPage)
{
    second.refuseApply = true;
    runner.Then([&](CDialog &shown) {
        ui::TypeText("x");
        EXPECT_FALSE(sheet.SetActivePage(2));
        EXPECT_EQ(sheet.GetActiveIndex(), 0);
        ASSERT_EQ(runner.Boxes().size(), 1u);
        ui::PressKey(VK_BACK);
        ui::TypeText("1");
        ASSERT_TRUE(sheet.SetActivePage(&third));
        ASSERT_TRUE(sheet.SetActivePage(1));
        ui::PressOK(shown);
        EXPECT_FALSE(shown.HasEnded());
        EXPECT_EQ(sheet.GetActivePage(), &second);
        ui::PressCancel(shown);
    });
    EXPECT_EQ(sheet.DoModal(), IDCANCEL);
    EXPECT_EQ(journal, (std::vector<std::string>{"first init", "third init", "second init",
                                                 "first apply", "second apply", "first cancel",
                                                 "second cancel", "third cancel"}));
}

TEST_F(SheetFixture, ApplyFollowsTheModifiedMarksAndThePagesKeysReachTheSheet)
{
    runner.Then([&](CDialog &shown) {
        CWnd *apply = shown.GetDlgItem(ID_APPLY_NOW);
        ASSERT_NE(apply, nullptr);
        EXPECT_FALSE(apply->IsWindowEnabled());
        ui::TypeText("5");
        EXPECT_TRUE(first.IsModified());
        EXPECT_TRUE(apply->IsWindowEnabled());
        ui::Click(shown, ID_APPLY_NOW);
        EXPECT_FALSE(first.IsModified());
        EXPECT_FALSE(apply->IsWindowEnabled());
        EXPECT_EQ(first.value, 5);
        EXPECT_FALSE(shown.HasEnded());
        ui::Focus(first, IDC_VALUE);
        ui::PressKey(VK_RETURN); // Return in a page's edit is the sheet's OK
    });
    EXPECT_EQ(sheet.DoModal(), IDOK);

    journal.clear();
    runner.Then([](CDialog &) { ui::PressKey(VK_ESCAPE); });
    EXPECT_EQ(sheet.DoModal(), IDCANCEL);
    EXPECT_EQ(journal, (std::vector<std::string>{"first init", "first cancel"}));
}

TEST(PropertySheets, StartOnTheChosenPageAndRunWithoutPages)
{
    std::vector<std::string> journal;
    CNumberPage a("a", journal), b("b", journal);
    CPropertySheet sheet("start", nullptr, 1);
    sheet.AddPage(&a);
    sheet.AddPage(&b);
    EXPECT_EQ(sheet.DoModal(), IDCANCEL); // headless
    EXPECT_EQ(journal, (std::vector<std::string>{"b init", "b cancel"}));

    CPropertySheet empty("empty");
    EXPECT_EQ(empty.DoModal(), IDCANCEL);
}
