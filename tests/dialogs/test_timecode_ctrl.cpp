// The timecode entry control: its window class, what each field takes, wrapping, keyboard
// moves between the fields and out of the control, negative timecodes, painting, and data
// exchange with a timecode.
#include "drivers/model/CMxtTimecodeCtrl.h"

#include "platform/ui/CDialog.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/UiInput.h"
#include "platform/ui/WndClass.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr UINT IDD_TC = 7400;
constexpr int IDC_BEFORE = 7401, IDC_TC = 7402, IDC_AFTER = 7403;
constexpr int HH = 1, MM = 2, SS = 3, FF = 4;

// 148 wide with the client edge: 144 inside, four fields of 30 and three colons of 8.
const CDlgTemplateReg g_template({IDD_TC,
                                  "tc",
                                  WS_POPUP,
                                  {0, 0, 300, 100},
                                  {
                                      {IDC_BEFORE,
                                       UiControl::Edit,
                                       nullptr,
                                       "",
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                       {0, 0, 50, 20}},
                                      {IDC_TC,
                                       UiControl::Custom,
                                       "CMxtTimecodeCtrl",
                                       "",
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                       {0, 30, 148, 54}},
                                      {IDC_AFTER,
                                       UiControl::Edit,
                                       nullptr,
                                       "",
                                       WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                       {0, 60, 50, 80}},
                                  }});

class CTcDialog : public CDialog {
public:
    CTcDialog() : CDialog(IDD_TC) {}
    timecode_t value;
    int enters = 0;
    int changes = 0;
    void OnEnter() { ++enters; }

protected:
    BOOL OnInitDialog() override
    {
        Ctrl().SetEnterCallback(this, &CTcDialog::OnEnter);
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange *dx) override { DDX_MxtTimecode(dx, IDC_TC, value); }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        if (LOWORD(wParam) == IDC_TC && HIWORD(wParam) == EN_CHANGE) ++changes;
        return CDialog::OnCommand(wParam, lParam);
    }

public:
    CMxtTimecodeCtrl &Ctrl() { return *dynamic_cast<CMxtTimecodeCtrl *>(GetDlgItem(IDC_TC)); }
};

// A modeless dialog with the control, for tests that act on it directly.
struct TimecodeFixture : ::testing::Test {
    CTcDialog dlg;
    CMxtTimecodeCtrl *tc = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(dlg.Create(IDD_TC));
        tc = &dlg.Ctrl();
    }
    CEdit &Field(int id) { return *static_cast<CEdit *>(tc->GetDlgItem(id)); }
    std::string Text(int id)
    {
        CString text;
        Field(id).GetWindowText(text);
        return text.GetString();
    }
    std::string Shown() { return Text(HH) + ":" + Text(MM) + ":" + Text(SS) + ":" + Text(FF); }
    void Into(int id) { Field(id).SetFocus(); }
    std::pair<int, int> Sel(int id)
    {
        int start, end;
        Field(id).GetSel(start, end);
        return {start, end};
    }
};

} // namespace

TEST(TimecodeCtrl, TheWindowClassIsRegisteredWhenTheLibraryLoads)
{
    tagWndClass cls;
    ASSERT_TRUE(GetClassInfo("CMxtTimecodeCtrl", &cls));
    EXPECT_EQ(cls.style, 0x4003u);
    EXPECT_EQ(cls.hCursor, IDC_IBEAM);
    EXPECT_EQ(cls.hbrBackground, COLOR_WINDOW + 1);
    EXPECT_FALSE(CMxtTimecodeCtrl::RegisterWndClass()) << "already registered";
}

TEST_F(TimecodeFixture, BuildsFourCentredTwoCharacterFieldsWithAClientEdge)
{
    EXPECT_EQ(Shown(), "00:00:00:00");
    EXPECT_EQ(tc->GetWndClassName(), "CMxtTimecodeCtrl");
    EXPECT_TRUE(tc->GetExStyle() & WS_EX_CLIENTEDGE);
    for (int id : {HH, MM, SS, FF}) {
        EXPECT_TRUE(Field(id).GetStyle() & ES_CENTER);
        EXPECT_EQ(Field(id).GetLimitText(), 2);
    }
    CRect rect;
    Field(MM).GetWindowRect(&rect);
    EXPECT_EQ(rect, CRect(38, 0, 68, 20));
    Field(FF).GetWindowRect(&rect);
    EXPECT_EQ(rect, CRect(114, 0, 144, 20));
}

TEST_F(TimecodeFixture, TwoDigitsMoveOnAndValuesPastTheRangeWrapToTheMinimum)
{
    Into(MM);
    ui::TypeText("2");
    EXPECT_EQ(CWnd::GetFocus(), &Field(MM));
    ui::TypeText("5");
    EXPECT_EQ(Text(MM), "25");
    EXPECT_EQ(CWnd::GetFocus(), &Field(SS));
    EXPECT_EQ(Sel(SS), std::make_pair(0, 2)) << "the next field is selected";

    Into(MM);
    ui::TypeText("75");
    EXPECT_EQ(Text(MM), "00");
    EXPECT_EQ(CWnd::GetFocus(), &Field(SS));

    Into(FF);
    ui::TypeText("3");
    ui::TypeText("a-: ");
    EXPECT_EQ(Text(FF), "3") << "only digits reach a field";
    ui::TypeText("0");
    EXPECT_EQ(Text(FF), "00") << "frames run to 24";
    EXPECT_EQ(CWnd::GetFocus(), &Field(HH)) << "past the last field is the first";
    ui::TypeText("-");
    EXPECT_EQ(Text(HH), "00") << "no minus sign without negatives";
    EXPECT_GE(dlg.changes, 4);
}

TEST_F(TimecodeFixture, UpAndDownStepAndWrapAtBothEnds)
{
    Into(FF);
    ui::PressKey(VK_DOWN);
    EXPECT_EQ(Text(FF), "24");
    ui::PressKey(VK_UP);
    EXPECT_EQ(Text(FF), "00");
    tc->SetTimecode(23, 59, 0, 0, 1);
    Into(HH);
    ui::PressKey(VK_UP);
    EXPECT_EQ(Text(HH), "00");
    ui::PressKey(VK_DOWN);
    EXPECT_EQ(Text(HH), "23");
    Into(MM);
    ui::PressKey(VK_UP);
    EXPECT_EQ(Text(MM), "00");
    int changes = dlg.changes;
    ui::PressKey(VK_DOWN);
    EXPECT_EQ(dlg.changes, changes + 1) << "a step is a change";
}

TEST_F(TimecodeFixture, LeftAndRightLeaveAFieldAtItsEdgesOrFromASelection)
{
    Into(HH); // focus selects the whole text
    EXPECT_EQ(Sel(HH), std::make_pair(0, 2));
    ui::PressKey(VK_RIGHT);
    EXPECT_EQ(CWnd::GetFocus(), &Field(MM));
    Field(MM).SetSel(1, 1);
    ui::PressKey(VK_LEFT);
    EXPECT_EQ(CWnd::GetFocus(), &Field(MM)) << "the caret moves inside the field first";
    EXPECT_EQ(Sel(MM), std::make_pair(0, 0));
    ui::PressKey(VK_LEFT);
    EXPECT_EQ(CWnd::GetFocus(), &Field(HH));
    Field(HH).SetSel(0, 0);
    ui::PressKey(VK_LEFT);
    EXPECT_EQ(CWnd::GetFocus(), &Field(FF)) << "left of the hours is the frames";
    EXPECT_EQ(Sel(FF), std::make_pair(0, 2));
    Field(FF).SetSel(2, 2);
    ui::PressKey(VK_RIGHT);
    EXPECT_EQ(CWnd::GetFocus(), &Field(HH));
    Field(HH).SetSel(1, 1);
    ui::PressKey(VK_RIGHT);
    EXPECT_EQ(CWnd::GetFocus(), &Field(HH));
}

TEST_F(TimecodeFixture, TabLeavesTheControlReturnCallsTheEnterCallbackDeleteIsAChange)
{
    dlg.GotoDlgCtrl(tc); // tabbing onto the control lands in the hours
    EXPECT_EQ(CWnd::GetFocus(), &Field(HH));
    EXPECT_TRUE(tc->HasFocus());
    Into(SS);
    ui::PressKey(VK_TAB);
    EXPECT_EQ(CWnd::GetFocus(), dlg.GetDlgItem(IDC_AFTER));
    EXPECT_FALSE(tc->HasFocus());
    ui::PressKey(VK_TAB, true);
    EXPECT_EQ(CWnd::GetFocus(), &Field(HH));
    ui::PressKey(VK_TAB, true);
    EXPECT_EQ(CWnd::GetFocus(), dlg.GetDlgItem(IDC_BEFORE));

    Into(MM);
    ui::PressKey(VK_RETURN);
    EXPECT_EQ(dlg.enters, 1);
    EXPECT_FALSE(dlg.HasEnded()) << "the field takes Return, not the dialog";

    Field(MM).SetSel(0, 1);
    int changes = dlg.changes;
    ui::PressKey(VK_DELETE);
    EXPECT_EQ(Text(MM), "0");
    EXPECT_EQ(dlg.changes, changes + 1);
}

TEST_F(TimecodeFixture, AClickSelectsOneCharacter)
{
    // A field is 30 wide and "00" 16: the text runs from x 7 to 23.
    ui::ClickAt(Field(SS), CPoint(6, 5));
    EXPECT_EQ(CWnd::GetFocus(), &Field(SS));
    EXPECT_EQ(Sel(SS), std::make_pair(0, 1));
    ui::ClickAt(Field(SS), CPoint(25, 5));
    EXPECT_EQ(Sel(SS), std::make_pair(1, 2));
    ui::ClickAt(Field(SS), CPoint(14, 5));
    EXPECT_EQ(Sel(SS), std::make_pair(1, 2));
}

TEST_F(TimecodeFixture, NegativeTimecodesShowAMinusSignAndReadBack)
{
    tc->SetAllowNegative(1);
    tc->SetTimecode(timecode_t(-250)); // minus ten seconds
    EXPECT_EQ(Shown(), "-0:00:10:00");
    EXPECT_EQ(tc->GetTimecode().nFrames, -250);
    tc->SetTimecode(1, 5, 0, 0, -1);
    EXPECT_EQ(Shown(), "-1:05:00:00");
    EXPECT_EQ(tc->GetTimecode().nFrames, -(90000 + 5 * 1500));
    tc->SetTimecode(0, 0, 0, 0, 1);

    Into(HH);
    ui::PressKey(VK_DOWN);
    EXPECT_EQ(Text(HH), "-0");
    ui::PressKey(VK_DOWN);
    EXPECT_EQ(Text(HH), "-1");
    ui::PressKey(VK_UP);
    EXPECT_EQ(Text(HH), "00");
    tc->SetTimecode(0, 0, 0, 0, -1);
    ui::PressKey(VK_UP);
    EXPECT_EQ(Text(HH), "00") << "up from minus zero is zero";
    ui::PressKey(VK_UP);
    EXPECT_EQ(Text(HH), "01");
    tc->SetTimecode(9, 0, 0, 0, -1);
    ui::PressKey(VK_DOWN);
    EXPECT_EQ(Text(HH), "23") << "below -9 wraps to the maximum";
}

TEST_F(TimecodeFixture, AMinusSignIsTypedOnlyAtTheStartOfTheHours)
{
    tc->SetAllowNegative(1);
    Into(HH);
    ui::TypeText("-");
    EXPECT_EQ(Text(HH), "-") << "over the whole selection";
    ui::TypeText("5");
    EXPECT_EQ(Text(HH), "-5");
    EXPECT_EQ(CWnd::GetFocus(), &Field(MM));

    Field(HH).SetWindowText("7");
    Into(HH);
    Field(HH).SetSel(1, 1);
    ui::TypeText("-");
    EXPECT_EQ(Text(HH), "7") << "not after a character";
    Field(HH).SetSel(0, 0);
    ui::TypeText("-");
    EXPECT_EQ(Text(HH), "-7");

    Into(MM);
    ui::TypeText("-");
    EXPECT_EQ(Text(MM), "00");
}

TEST_F(TimecodeFixture, TurningNegativesOffKeepsTheHoursFromZero)
{
    tc->SetAllowNegative(1);
    tc->SetAllowNegative(0);
    Into(HH);
    ui::PressKey(VK_DOWN);
    EXPECT_EQ(Text(HH), "23");
}

TEST_F(TimecodeFixture, PaintsTheColonsAndGreysThemWhenDisabled)
{
    tc->UpdateWindow();
    auto texts = [&] {
        std::vector<tagCanvasOp> ops;
        for (const tagCanvasOp &op : tc->GetCanvas())
            if (op.kind == tagCanvasOp::TEXT) ops.push_back(op);
        return ops;
    };
    auto colons = texts();
    ASSERT_EQ(colons.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(colons[i].text, ":");
        EXPECT_EQ(colons[i].rect, CRect(30 + 38 * i, 0, 38 + 38 * i, 20));
        EXPECT_EQ(colons[i].color, GetSysColor(COLOR_WINDOWTEXT));
    }
    EXPECT_EQ(tc->GetCanvas().front().color, GetSysColor(COLOR_WINDOW)) << "the class background";

    tc->EnableWindow(FALSE);
    for (int id : {HH, MM, SS, FF}) EXPECT_FALSE(Field(id).IsWindowEnabled());
    tc->UpdateWindow();
    const auto &ops = tc->GetCanvas();
    EXPECT_TRUE(std::any_of(ops.begin(), ops.end(), [](const tagCanvasOp &op) {
        return op.kind == tagCanvasOp::FILL && op.color == GetSysColor(COLOR_BTNFACE) &&
               op.rect == CRect(0, 0, 144, 20);
    }));
    for (const tagCanvasOp &op : texts()) EXPECT_EQ(op.color, GetSysColor(COLOR_GRAYTEXT));
    tc->EnableWindow(TRUE);
    EXPECT_TRUE(Field(SS).IsWindowEnabled());
}

TEST_F(TimecodeFixture, AFontGoesToTheFieldsAndSetsTheColonWidth)
{
    CFont font;
    LOGFONT lf;
    lf.lfHeight = 20;
    lf.lfWidth = 4; // colons of 4: fields of (144 - 12) / 4 = 33
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    tc->SetFont(&font);
    for (int id : {HH, MM, SS, FF}) EXPECT_EQ(Field(id).GetFont(), &font);
    CRect rect;
    Field(SS).GetWindowRect(&rect);
    EXPECT_EQ(rect, CRect(74, 0, 107, 20));
}

TEST(TimecodeCtrl, DataExchangeLoadsAndSavesAndLeavesAFieldBeingTypedAlone)
{
    ui::CScriptedRunner runner;
    CTcDialog dlg;
    dlg.value = timecode_t(90000 + 2 * 1500 + 3 * 25 + 4); // 01:02:03:04
    runner.Then([](CDialog &shown) {
        auto &tc = static_cast<CTcDialog &>(shown).Ctrl();
        EXPECT_EQ(tc.GetTimecode().nFrames, 90000 + 2 * 1500 + 3 * 25 + 4);
        tc.GetDlgItem(SS)->SetFocus();
        ui::TypeText("4"); // over the selected "03": the field shows "4"
        auto &typed = static_cast<CTcDialog &>(shown);
        typed.value = tc.GetTimecode();
        shown.UpdateData(FALSE);
        CString text;
        tc.GetDlgItem(SS)->GetWindowText(text);
        EXPECT_EQ(text, "4") << "same value with the focus inside: not rewritten";
        typed.value = timecode_t(0);
        shown.UpdateData(FALSE);
        tc.GetDlgItem(SS)->GetWindowText(text);
        EXPECT_EQ(text, "00") << "a different value is shown";
        ui::Focus(shown, IDC_AFTER);
        tc.SetTimecode(0, 10, 0, 0, 1);
        typed.value = tc.GetTimecode();
        shown.UpdateData(FALSE);
        ui::PressOK(shown);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.value.nFrames, 10 * 1500);
}
