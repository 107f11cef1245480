// Windows: the tree of parents and children, destruction, focus, visibility and enabled
// state, tab order, client areas, the window-class registry and the recording canvas.
#include "tests/ui/UiTestKit.h"

#include "platform/ui/CEdit.h"
#include "platform/ui/WndClass.h"

#include <string>
#include <thread>

using namespace uitest;

namespace {

// Records the focus and enable messages it gets, in order.
class CProbe : public CWnd {
public:
    std::vector<std::string> log;
    int createAnswer = 0;

protected:
    int OnCreate(CREATESTRUCT *) override { return createAnswer; }
    void OnSetFocus(CWnd *old) override { log.push_back(old ? "set from other" : "set"); }
    void OnKillFocus(CWnd *next) override { log.push_back(next ? "kill to other" : "kill"); }
    void OnEnable(BOOL enable) override { log.push_back(enable ? "enable" : "disable"); }
};

// Draws one line and one text, so a paint record can be checked in order.
class CPainter : public CWnd {
protected:
    void OnPaint() override
    {
        CPaintDC dc(this);
        dc.MoveTo(1, 2);
        dc.LineTo(30, 2);
        dc.SetTextColor(RGB(1, 2, 3));
        dc.TextOut(4, 5, "ab中");
    }
};

CWnd *MakePainter()
{
    return new CPainter;
}

} // namespace

TEST(Windows, DestroyingAParentDestroysItsChildren)
{
    CRecorder host;
    auto owned = Make<CWnd>(host, nullptr, 7);
    std::unique_ptr<CWnd> object(AfxCreateWndObject("Edit"));
    CWnd *made = object.get();
    ASSERT_NE(dynamic_cast<CEdit *>(made), nullptr);
    ASSERT_TRUE(made->CWnd::Create("edit", "x", WS_CHILD, CRect(), &host, 8));
    EXPECT_EQ(host.GetDlgItem(7), owned.get());
    EXPECT_EQ(host.GetDlgItem(8), made);
    EXPECT_EQ(host.GetWindow(GW_CHILD), owned.get());
    EXPECT_EQ(owned->GetWindow(GW_HWNDNEXT), made);
    EXPECT_EQ(made->GetWindow(GW_HWNDPREV), owned.get());
    EXPECT_TRUE(host.IsChild(made));
    EXPECT_FALSE(made->IsChild(&host));

    host.DestroyWindow();
    EXPECT_FALSE(IsWindow(made));
    EXPECT_EQ(owned->GetSafeHwnd(), nullptr);
    EXPECT_EQ(owned->GetParent(), nullptr);
    EXPECT_EQ(host.GetDlgItem(7), nullptr);
}

TEST(Windows, ADeletedChildLeavesItsParentsList)
{
    CRecorder host;
    auto child = Make<CWnd>(host, nullptr, 3);
    child.reset();
    EXPECT_EQ(host.GetDlgItem(3), nullptr);
    EXPECT_EQ(host.GetWindow(GW_CHILD), nullptr);
}

TEST(Windows, CreationFailsForAnUnknownClassAndForAHandlerThatRefuses)
{
    CRecorder host;
    CWnd unknown;
    EXPECT_FALSE(unknown.Create("NoSuchClass", "", WS_CHILD, CRect(), &host, 1));
    EXPECT_EQ(unknown.GetSafeHwnd(), nullptr);

    CProbe refusing;
    refusing.createAnswer = -1;
    EXPECT_FALSE(refusing.Create(nullptr, "", WS_CHILD, CRect(), &host, 2));
    EXPECT_FALSE(IsWindow(&refusing));
    EXPECT_EQ(host.GetDlgItem(2), nullptr);
}

TEST(Focus, MovesWithKillBeforeSetAndIsLostWhenTheWindowGoesAwayOrIsDisabled)
{
    CRecorder host;
    CProbe a, b;
    ASSERT_TRUE(a.Create(nullptr, "", WS_CHILD | WS_VISIBLE, CRect(), &host, 1));
    ASSERT_TRUE(b.Create(nullptr, "", WS_CHILD | WS_VISIBLE, CRect(), &host, 2));
    a.SetFocus();
    EXPECT_EQ(b.SetFocus(), &a);
    EXPECT_EQ(CWnd::GetFocus(), &b);
    EXPECT_EQ(a.log, (std::vector<std::string>{"set", "kill to other"}));
    EXPECT_EQ(b.log, (std::vector<std::string>{"set from other"}));

    b.log.clear();
    EXPECT_FALSE(b.EnableWindow(FALSE)); // was enabled
    EXPECT_EQ(CWnd::GetFocus(), nullptr);
    EXPECT_EQ(b.log, (std::vector<std::string>{"kill", "disable"}));
    EXPECT_TRUE(b.EnableWindow(FALSE)); // no change, no message
    EXPECT_EQ(b.log.size(), 2u);

    a.SetFocus();
    host.ShowWindow(SW_HIDE); // hiding a parent takes the focus from its children
    EXPECT_EQ(CWnd::GetFocus(), nullptr);
    EXPECT_FALSE(a.IsWindowVisible());
    host.ShowWindow(SW_SHOW);
    a.SetFocus();
    a.DestroyWindow();
    EXPECT_EQ(CWnd::GetFocus(), nullptr);
}

TEST(TabOrder, SkipsHiddenDisabledAndNonStopsEntersControlParentsAndWraps)
{
    CRecorder host;
    auto first = Make<CWnd>(host, nullptr, 1, WS_TABSTOP);
    auto label = Make<CWnd>(host, nullptr, 2);
    auto hidden = Make<CWnd>(host, nullptr, 3, WS_TABSTOP);
    hidden->ShowWindow(SW_HIDE);
    auto disabled = Make<CWnd>(host, nullptr, 4, WS_TABSTOP | WS_DISABLED);
    auto panel = Make<CWnd>(host, nullptr, 5);
    panel->ModifyStyleEx(0, WS_EX_CONTROLPARENT);
    auto inner = Make<CWnd>(*panel, nullptr, 51, WS_TABSTOP);
    auto compound = Make<CWnd>(host, nullptr, 6, WS_TABSTOP);
    auto part = Make<CWnd>(*compound, nullptr, 61, WS_TABSTOP);

    EXPECT_EQ(host.GetNextDlgTabItem(nullptr), first.get());
    EXPECT_EQ(host.GetNextDlgTabItem(nullptr, TRUE), compound.get());
    EXPECT_EQ(host.GetNextDlgTabItem(first.get()), inner.get());
    EXPECT_EQ(host.GetNextDlgTabItem(inner.get()), compound.get());
    // A window inside a tab stop counts as that stop.
    EXPECT_EQ(host.GetNextDlgTabItem(part.get()), first.get());
    EXPECT_EQ(host.GetNextDlgTabItem(first.get(), TRUE), compound.get());
    EXPECT_EQ(host.GetNextDlgTabItem(label.get()), first.get());
}

TEST(Windows, ClientAreaLosesTheEdgeAndDlgItemIntReadsOnlyWholeNumbers)
{
    CRecorder host;
    auto plain = Make<CWnd>(host, nullptr, 1, 0, "", CRect(10, 10, 110, 30));
    auto framed = Make<CWnd>(host, nullptr, 2, WS_BORDER, "", CRect(0, 0, 100, 20));
    CRect rect;
    plain->GetClientRect(&rect);
    EXPECT_EQ(rect, CRect(0, 0, 100, 20));
    plain->ModifyStyleEx(0, WS_EX_CLIENTEDGE);
    plain->GetClientRect(&rect);
    EXPECT_EQ(rect, CRect(0, 0, 96, 16));
    framed->GetClientRect(&rect);
    EXPECT_EQ(rect, CRect(0, 0, 98, 18));

    BOOL ok = FALSE;
    host.SetDlgItemText(1, " -12 ");
    EXPECT_EQ(static_cast<int>(host.GetDlgItemInt(1, &ok)), -12);
    EXPECT_TRUE(ok);
    host.GetDlgItemInt(1, &ok, FALSE);
    EXPECT_FALSE(ok);
    host.SetDlgItemText(1, "12x");
    EXPECT_EQ(host.GetDlgItemInt(1, &ok), 0u);
    EXPECT_FALSE(ok);
    host.SetDlgItemInt(2, 4000000000u, FALSE);
    EXPECT_EQ(TextOf(*framed), "4000000000");
}

TEST(WndClasses, ACustomClassIsMadeByNameWithItsBackgroundAndNamesAreUnique)
{
    tagWndClass cls;
    cls.style = CS_HREDRAW;
    cls.pfnCreate = &MakePainter;
    cls.hbrBackground = COLOR_BTNFACE + 1;
    cls.lpszClassName = "TestPainter";
    ASSERT_TRUE(AfxRegisterClass(&cls));
    cls.lpszClassName = "testpainter";
    EXPECT_FALSE(AfxRegisterClass(&cls));
    tagWndClass found;
    ASSERT_TRUE(GetClassInfo("TESTPAINTER", &found));
    EXPECT_EQ(found.style, CS_HREDRAW);
    EXPECT_STREQ(found.lpszClassName, "TestPainter");

    CRecorder host;
    std::unique_ptr<CWnd> object(AfxCreateWndObject("TestPainter"));
    CWnd *made = object.get();
    ASSERT_NE(dynamic_cast<CPainter *>(made), nullptr);
    ASSERT_TRUE(made->CWnd::Create("TestPainter", "", WS_CHILD | WS_VISIBLE, CRect(0, 0, 50, 20),
                                   &host, 1));
    made->UpdateWindow();
    const auto &ops = made->GetCanvas();
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0].kind, tagCanvasOp::FILL);
    EXPECT_EQ(ops[0].color, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ops[0].rect, CRect(0, 0, 50, 20));
    EXPECT_EQ(ops[1].kind, tagCanvasOp::LINE);
    EXPECT_EQ(ops[1].rect, CRect(1, 2, 30, 2));
    EXPECT_EQ(ops[2].kind, tagCanvasOp::TEXT);
    EXPECT_EQ(ops[2].text, "ab中");
    EXPECT_EQ(ops[2].color, RGB(1, 2, 3));
    // The system font is 8 wide: two letters and one two-byte character are 32.
    EXPECT_EQ(ops[2].rect, CRect(4, 5, 36, 21));

    made->UpdateWindow(); // valid now: no new paint
    EXPECT_EQ(made->GetCanvas().size(), 3u);
    CFont font;
    LOGFONT lf;
    lf.lfHeight = 20;
    lf.lfWidth = 5;
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    made->SetFont(&font);
    made->UpdateWindow();
    EXPECT_EQ(made->GetCanvas()[2].rect, CRect(4, 5, 24, 25));

    EXPECT_TRUE(UnregisterClass("TestPainter"));
    EXPECT_EQ(AfxCreateWndObject("TestPainter"), nullptr);
}

TEST(Windows, TextsMayBeSetFromAnotherThreadWhileTheOwnerWorksTheWindow)
{
    CRecorder host;
    CEdit status;
    ASSERT_TRUE(status.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 20), &host, 1));
    status.SetFocus();
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) status.SetWindowText(i % 2 ? "odd text" : "even");
    });
    for (int i = 0; i < 2000; ++i) {
        ui::TypeText("x");
        int start, end;
        status.GetSel(start, end);
    }
    writer.join();
    int start, end;
    status.GetSel(start, end);
    EXPECT_LE(start, end);
    EXPECT_LE(end, status.GetWindowTextLength()) << "the caret never lies past the text";
    EXPECT_TRUE(host.notices.size() >= 2000u) << "the owner's typing still notifies";
}

namespace {

// Records the system commands it is sent and, like a plain window, does nothing with them.
class CSysRecorder : public uitest::CRecorder {
public:
    std::vector<UINT> commands;

protected:
    void OnSysCommand(UINT id, LPARAM lParam) override
    {
        commands.push_back(id);
        CRecorder::OnSysCommand(id, lParam);
    }
};

} // namespace

TEST(SystemMenu, EntriesAreAddedChosenAndRevertedAndCloseCancelsADialog)
{
    CSysRecorder wnd;
    CMenu *menu = wnd.GetSystemMenu(FALSE);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->GetMenuItemCount(), 1);
    EXPECT_EQ(menu->GetMenuItemID(0), SC_CLOSE);
    menu->AppendMenu(MF_SEPARATOR);
    menu->AppendMenu(MF_STRING, 0x20, "条目");
    EXPECT_EQ(wnd.GetSystemMenu(FALSE), menu) << "one menu per window";
    CString text;
    EXPECT_EQ(menu->GetMenuString(2, text, MF_BYPOSITION), 4);
    EXPECT_EQ(text, "条目");
    EXPECT_EQ(menu->GetMenuString(0x21, text, MF_BYCOMMAND), 0);
    EXPECT_EQ(menu->GetMenuItemID(1), 0u);
    EXPECT_EQ(menu->GetMenuItemID(3), 0xFFFFFFFFu);

    EXPECT_TRUE(ui::ChooseSystemMenu(wnd, 0x20));
    EXPECT_FALSE(ui::ChooseSystemMenu(wnd, 0)) << "a separator is no entry";
    EXPECT_FALSE(ui::ChooseSystemMenu(wnd, 0x30));
    EXPECT_EQ(wnd.commands, std::vector<UINT>{0x20});
    EXPECT_EQ(wnd.GetSystemMenu(TRUE), nullptr);
    EXPECT_FALSE(ui::ChooseSystemMenu(wnd, 0x20)) << "reverted to the close entry alone";
    EXPECT_TRUE(ui::ChooseSystemMenu(wnd, SC_CLOSE));
    EXPECT_TRUE(IsWindow(&wnd)) << "a plain window is left as it is";
}
