// Buttons, combo boxes, list boxes, list views and date-time controls: their state, what a
// user's act changes and which notifications reach the parent.
#include "tests/ui/UiTestKit.h"

#include "platform/ui/CButton.h"
#include "platform/ui/CComboBox.h"
#include "platform/ui/CDateTimeCtrl.h"
#include "platform/ui/CListBox.h"
#include "platform/ui/CListCtrl.h"

using namespace uitest;

TEST(Buttons, AutoButtonsToggleAndNotifyOnlyWhileEnabledAndRadiosClearTheirGroupOnly)
{
    CRecorder host;
    auto check = Make<CButton>(host, "Button", 1, BS_AUTOCHECKBOX);
    ui::Click(host, 1);
    EXPECT_EQ(check->GetCheck(), BST_CHECKED);
    check->EnableWindow(FALSE);
    ui::Click(host, 1);
    EXPECT_EQ(check->GetCheck(), BST_CHECKED);
    EXPECT_EQ(host.notices, (std::vector<Notice>{{1, BN_CLICKED}}));

    auto a = Make<CButton>(host, "Button", 10, BS_AUTORADIOBUTTON | WS_GROUP);
    auto b = Make<CButton>(host, "Button", 11, BS_AUTORADIOBUTTON);
    auto c = Make<CButton>(host, "Button", 12, BS_AUTORADIOBUTTON | WS_GROUP); // next group
    a->SetCheck(BST_CHECKED);
    c->SetCheck(BST_CHECKED);
    ui::Click(host, 11);
    EXPECT_EQ(a->GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(b->GetCheck(), BST_CHECKED);
    EXPECT_EQ(c->GetCheck(), BST_CHECKED);

    auto push = Make<CButton>(host, "Button", 20, BS_PUSHBUTTON | WS_TABSTOP);
    push->SetFocus();
    host.notices.clear();
    ui::PressKey(VK_SPACE);
    EXPECT_EQ(host.notices, (std::vector<Notice>{{20, BN_CLICKED}}));
}

TEST(ComboBoxes, ShowTheSelectionAndNotifyOnlyForAUsersPick)
{
    CRecorder host;
    auto combo = Make<CComboBox>(host, "ComboBox", 5, CBS_DROPDOWNLIST);
    for (const char *text : {"立即弹出", "回零出带", "Stop", "stay"}) combo->AddString(text);
    EXPECT_EQ(combo->SetCurSel(1), 1);
    EXPECT_EQ(TextOf(*combo), "回零出带");
    EXPECT_TRUE(host.notices.empty());
    EXPECT_EQ(combo->SetCurSel(9), CB_ERR);
    EXPECT_EQ(combo->GetCurSel(), -1);
    EXPECT_EQ(TextOf(*combo), "");
    combo->SetWindowText("free text");
    EXPECT_EQ(TextOf(*combo), "") << "a drop-down list has no edit part";

    // Prefix searches ignore case and wrap around from the start item.
    EXPECT_EQ(combo->FindString(-1, "ST"), 2);
    EXPECT_EQ(combo->FindString(2, "st"), 3);
    EXPECT_EQ(combo->FindString(3, "st"), 2);
    EXPECT_EQ(combo->FindStringExact(-1, "sta"), CB_ERR);
    EXPECT_EQ(combo->SelectString(-1, "sta"), 3);

    combo->SetCurSel(2);
    combo->InsertString(0, "first");
    EXPECT_EQ(combo->GetCurSel(), 3) << "the selection follows its item";
    EXPECT_EQ(combo->DeleteString(3), 4);
    EXPECT_EQ(combo->GetCurSel(), -1);
    EXPECT_EQ(TextOf(*combo), "");

    ui::Pick(host, 5, 1);
    EXPECT_EQ(combo->GetCurSel(), 1);
    ui::Pick(host, 5, 7); // no such item: nothing happens
    EXPECT_EQ(combo->GetCurSel(), 1);
    EXPECT_EQ(host.notices, (std::vector<Notice>{{5, CBN_SELCHANGE}}));

    auto editable = Make<CComboBox>(host, "ComboBox", 6, CBS_DROPDOWN);
    editable->AddString("1");
    editable->SetWindowText("12");
    editable->SetCurSel(-1);
    EXPECT_EQ(TextOf(*editable), "12") << "an edit part keeps its own text";
}

TEST(ListBoxes, APickAndADoubleClickReachTheParent)
{
    CRecorder host;
    auto list = Make<CListBox>(host, "ListBox", 5004);
    list->AddString("Sw1");
    list->AddString("Sw2");
    ui::DoubleClickItem(host, 5004, 1);
    EXPECT_EQ(list->GetCurSel(), 1);
    EXPECT_EQ(host.notices, (std::vector<Notice>{{5004, LBN_SELCHANGE}, {5004, LBN_DBLCLK}}));
    CString text;
    list->GetText(1, text);
    EXPECT_EQ(text, "Sw2");
    EXPECT_EQ(list->SetCurSel(-1), LB_ERR);
    EXPECT_EQ(list->GetCurSel(), -1);
}

TEST(ListViews, ColumnsAndSubitemsStayAlignedWhenColumnsComeAndGo)
{
    CRecorder host;
    auto list = Make<CListCtrl>(host, "SysListView32", 5025, LVS_REPORT);
    EXPECT_EQ(list->InsertColumn(0, "编号", LVCFMT_LEFT, 40), 0);
    EXPECT_EQ(list->InsertColumn(5, "时间", LVCFMT_LEFT, 90), 1) << "past the end appends";
    EXPECT_EQ(list->InsertColumn(1, "ID", LVCFMT_LEFT, 80), 1);
    char heading[16];
    LVCOLUMN column;
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = heading;
    column.cchTextMax = sizeof heading;
    ASSERT_TRUE(list->GetColumn(2, &column));
    EXPECT_STREQ(heading, "时间");
    EXPECT_EQ(column.cx, 90);
    EXPECT_FALSE(list->GetColumn(3, &column));

    EXPECT_EQ(list->InsertItem(0, "001"), 0);
    EXPECT_TRUE(list->SetItemText(0, 2, "12:00"));
    EXPECT_FALSE(list->SetItemText(0, 3, "x")) << "no fourth column";
    EXPECT_FALSE(list->SetItemText(1, 0, "x")) << "no second row";
    EXPECT_EQ(list->GetItemText(0, 1), "");
    EXPECT_TRUE(list->DeleteColumn(1));
    EXPECT_EQ(list->GetItemText(0, 1), "12:00");
    EXPECT_EQ(list->SetExtendedStyle(0x221), 0u);
    EXPECT_EQ(list->GetExtendedStyle(), 0x221u);
}

TEST(ListViews, SelectionWalksAndUserClicksKeysAndDoubleClicks)
{
    CRecorder host;
    auto list = Make<CListCtrl>(host, "SysListView32", 7, LVS_REPORT);
    for (const char *text : {"a", "b", "c", "d"}) list->InsertItem(list->GetItemCount(), text);
    list->SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    list->SetItemState(3, LVIS_SELECTED, LVIS_SELECTED);
    std::vector<int> selected;
    for (POSITION pos = list->GetFirstSelectedItemPosition(); pos;)
        selected.push_back(list->GetNextSelectedItem(pos));
    EXPECT_EQ(selected, (std::vector<int>{1, 3}));
    EXPECT_EQ(list->GetSelectedCount(), 2u);
    EXPECT_EQ(list->GetNextItem(1, LVNI_SELECTED), 3);

    ui::ClickRow(host, 7, 2);
    EXPECT_EQ(list->GetSelectedCount(), 1u) << "a plain click selects that row alone";
    ui::ClickRow(host, 7, 0, true);
    EXPECT_EQ(list->GetSelectedCount(), 2u);
    ui::DoubleClickRow(host, 7, 3);
    EXPECT_EQ(host.lastItem, 3);
    ASSERT_EQ(host.notifies.size(), 4u);
    EXPECT_EQ(host.notifies.back().code, NM_DBLCLK);
    EXPECT_EQ(host.notifies.back().idFrom, 7u);
    EXPECT_EQ(CWnd::GetFocus(), list.get());
    ui::PressKey(VK_DELETE);
    EXPECT_EQ(host.listKeys, (std::vector<UINT>{VK_DELETE}));

    list->ModifyStyle(0, LVS_SINGLESEL);
    list->SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(list->GetSelectedCount(), 1u);
    EXPECT_TRUE(list->DeleteItem(0));
    EXPECT_EQ(list->GetFirstSelectedItemPosition(), nullptr);
}

TEST(DateTimeControls, ShowTheTimeThroughTheFormatAndNotifyOnlyForAUsersChange)
{
    CRecorder host;
    auto picker = Make<CDateTimeCtrl>(host, "SysDateTimePick32", 5033);
    const plat::SYSTEMTIME time{2024, 2, 0, 29, 13, 5, 9, 0};
    ASSERT_TRUE(picker->SetTime(&time));
    EXPECT_EQ(TextOf(*picker), "2024-02-29");
    picker->SetFormat("yyyy-MM-dd HH:mm:ss");
    EXPECT_EQ(TextOf(*picker), "2024-02-29 13:05:09");
    picker->SetFormat("d/M/yy h:m tt 'at' H");
    EXPECT_EQ(TextOf(*picker), "29/2/24 1:5 PM at 13");

    const plat::SYSTEMTIME bad{2023, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_FALSE(picker->SetTime(&bad));
    plat::SYSTEMTIME read{};
    EXPECT_EQ(picker->GetTime(&read), GDT_VALID);
    EXPECT_EQ(read.wDay, 29);
    EXPECT_EQ(read.wDayOfWeek, 4) << "2024-02-29 was a Thursday";
    EXPECT_TRUE(host.notifies.empty());

    const plat::SYSTEMTIME chosen{2025, 1, 0, 2, 3, 4, 5, 0};
    ui::SetTime(host, 5033, chosen);
    ASSERT_EQ(host.notifies.size(), 1u);
    EXPECT_EQ(host.notifies[0].code, DTN_DATETIMECHANGE);
    picker->SetFormat(nullptr);
    EXPECT_EQ(TextOf(*picker), "2025-01-02");
}
