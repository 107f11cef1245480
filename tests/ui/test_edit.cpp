// The edit control: typing over the selection within the limit, deleting, caret keys, change
// notifications, clicks, and the multi-line caret scroll.
#include "tests/ui/UiTestKit.h"

#include "platform/ui/CEdit.h"

using namespace uitest;

namespace {

struct EditFixture : ::testing::Test {
    CRecorder host;
    CEdit edit;

    void SetUp() override
    {
        ASSERT_TRUE(
            edit.Create(WS_CHILD | WS_VISIBLE | WS_TABSTOP, CRect(0, 0, 100, 24), &host, 9));
        edit.SetFocus();
    }
    std::pair<int, int> Sel() const
    {
        int start, end;
        edit.GetSel(start, end);
        return {start, end};
    }
    size_t Changes() const
    {
        size_t n = 0;
        for (const Notice &notice : host.notices) n += notice == Notice{9, EN_CHANGE};
        return n;
    }
};

} // namespace

TEST_F(EditFixture, TypingReplacesTheSelectionAndStopsAtTheLimit)
{
    edit.SetWindowText("hello");
    edit.SetSel(1, 4); // "ell"
    ui::TypeText("EY");
    EXPECT_EQ(TextOf(edit), "hEYo");
    EXPECT_EQ(Sel(), std::make_pair(3, 3));

    edit.LimitText(5);
    host.notices.clear();
    ui::TypeText("12");
    EXPECT_EQ(TextOf(edit), "hEY1o") << "the second character does not fit";
    EXPECT_EQ(Changes(), 1u) << "a refused character changes nothing";
    edit.SetSel(0, -1);
    ui::TypeText("z");
    EXPECT_EQ(TextOf(edit), "z") << "a full edit still takes a character over a selection";
    edit.ReplaceSel("long text past the limit");
    EXPECT_EQ(TextOf(edit), "zlong text past the limit") << "code is not held to the limit";
    EXPECT_TRUE(edit.GetModify());
}

TEST_F(EditFixture, BackspaceAndDeleteRemoveWholeCharactersAtTheirEdgesOnly)
{
    edit.SetWindowText("a中b");
    edit.SetSel(3, 3); // after the two-byte character
    ui::PressKey(VK_BACK);
    EXPECT_EQ(TextOf(edit), "ab");
    ui::PressKey(VK_HOME);
    ui::PressKey(VK_BACK);
    EXPECT_EQ(TextOf(edit), "ab") << "nothing before the caret";
    ui::PressKey(VK_DELETE);
    EXPECT_EQ(TextOf(edit), "b");
    ui::PressKey(VK_END);
    host.notices.clear();
    ui::PressKey(VK_DELETE);
    EXPECT_EQ(TextOf(edit), "b");
    EXPECT_EQ(Changes(), 0u);

    edit.SetWindowText("x中");
    edit.SetSel(1, 1);
    ui::PressKey(VK_DELETE);
    EXPECT_EQ(TextOf(edit), "x");
}

TEST_F(EditFixture, ArrowsMoveTheCaretAndCollapseASelectionToItsEnds)
{
    edit.SetWindowText("abcd");
    edit.SetSel(1, 3);
    ui::PressKey(VK_LEFT);
    EXPECT_EQ(Sel(), std::make_pair(1, 1));
    edit.SetSel(1, 3);
    ui::PressKey(VK_RIGHT);
    EXPECT_EQ(Sel(), std::make_pair(3, 3));
    ui::PressKey(VK_RIGHT);
    ui::PressKey(VK_RIGHT);
    EXPECT_EQ(edit.GetCaretPos(), 4) << "stops at the end";
    edit.SetSel(-1, 0); // deselects, the caret stays
    EXPECT_EQ(Sel(), std::make_pair(4, 4));
    edit.SetSel(2, 99);
    EXPECT_EQ(Sel(), std::make_pair(2, 4));
}

TEST_F(EditFixture, TextsSetFromCodeDoNotNotifyAndReadOnlyRefusesTyping)
{
    edit.SetWindowText("one");
    edit.ReplaceSel("two ");
    EXPECT_EQ(TextOf(edit), "two one");
    EXPECT_EQ(Changes(), 0u) << "only a user's change notifies";
    edit.SetWindowText("one");
    EXPECT_FALSE(edit.GetModify());
    EXPECT_EQ(Sel(), std::make_pair(0, 0));

    CEdit lines;
    ASSERT_TRUE(
        lines.Create(WS_CHILD | ES_MULTILINE | ES_READONLY, CRect(0, 0, 100, 40), &host, 10));
    lines.SetWindowText("a\r\nb");
    lines.SetFocus();
    ui::TypeText("x");
    ui::PressKey(VK_DELETE);
    EXPECT_EQ(TextOf(lines), "a\r\nb");
}

TEST_F(EditFixture, AClickInACentredEditPutsTheCaretAtTheNearestCharacter)
{
    CEdit centred;
    ASSERT_TRUE(centred.Create(WS_CHILD | ES_CENTER, CRect(0, 0, 80, 20), &host, 11));
    centred.SetWindowText("12"); // 16 wide in the system font: from x 32 to 48
    ui::ClickAt(centred, CPoint(33, 5));
    EXPECT_EQ(CWnd::GetFocus(), &centred);
    EXPECT_EQ(centred.GetCaretPos(), 0);
    ui::ClickAt(centred, CPoint(41, 5));
    EXPECT_EQ(centred.GetCaretPos(), 1);
    ui::ClickAt(centred, CPoint(79, 5));
    EXPECT_EQ(centred.GetCaretPos(), 2);
}

TEST_F(EditFixture, AMultiLineEditTakesReturnAndScrollsToTheCaret)
{
    CEdit lines;
    // 40 high in a 16-high font: two lines are seen.
    ASSERT_TRUE(
        lines.Create(WS_CHILD | ES_MULTILINE | ES_WANTRETURN, CRect(0, 0, 100, 40), &host, 12));
    lines.SetFocus();
    ui::TypeText("a");
    ui::PressKey(VK_RETURN);
    ui::TypeText("b");
    EXPECT_EQ(TextOf(lines), "a\r\nb");
    lines.SetWindowText("1\r\n2\r\n3\r\n4\r\n5");
    EXPECT_EQ(lines.GetLineCount(), 5);
    lines.SetSel(lines.GetWindowTextLength(), lines.GetWindowTextLength());
    lines.SendMessage(EM_SCROLLCARET);
    EXPECT_EQ(lines.GetFirstVisibleLine(), 3);
    lines.SetSel(0, 0);
    lines.SendMessage(EM_SCROLLCARET);
    EXPECT_EQ(lines.GetFirstVisibleLine(), 0);
}
