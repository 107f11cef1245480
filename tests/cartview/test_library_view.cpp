// The tape-cart library view over a known inventory of four cells: its columns and rows, the
// colours of each cell's value, the selection by click (with and without the left Ctrl key)
// and its keys, and what each row draws.
#include "drivers/sources/robot/COvraCartLibraryView.h"

#include "platform/ui/UiInput.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlue = 0xFF0000;

class CHost : public CWnd {
public:
    CHost() { Create(nullptr, "host", WS_POPUP | WS_VISIBLE, CRect(0, 0, 400, 300), nullptr, 0); }
};

// Four cells: a cassette, an empty cell, a cassette marked for the port, an empty cell.
struct Inventory {
    struct Cell {
        const char *label;
        int32_t value; // 0 empty, 1 cassette, 2 bound for the port
    };
    std::vector<Cell> cells = {{"NEWS0001", 1}, {"", 0}, {"AD000042", 2}, {"", 0}};
    std::vector<std::pair<int, int>> asked; // data column, row

    static void Fill(void *owner, int column, int row, CString &text, int32_t &value)
    {
        auto *self = static_cast<Inventory *>(owner);
        self->asked.emplace_back(column, row);
        const Cell &cell = self->cells.at(static_cast<size_t>(row));
        text = column == 0 ? cell.label : (cell.value ? "满" : "空");
        value = cell.value;
    }
};

struct Clicks {
    std::vector<std::vector<int>> seen; // x, y, column, row
    static void Record(void *owner, int x, int y, int column, int row)
    {
        static_cast<Clicks *>(owner)->seen.push_back({x, y, column, row});
    }
};

class LibraryView : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.AddColumn({0, 40, "号", {}});
        view.AddColumn({1, 0x10050, "标签", {}}); // only the low 16 bits are the width
        view.AddColumn({2, 60, "状态", {}});
        for (int32_t key = 0; key < 4; ++key) view.AddRow(key);
        ASSERT_EQ(view.SetColor(1, kGreen, kBlack, FALSE), 1);
        ASSERT_EQ(view.SetColor(2, kGrey, kWhite, FALSE), 1);
        view.m_pCellOwner = &inventory;
        view.m_pfnCell = &Inventory::Fill;
        view.m_pClickOwner = &clicks;
        view.m_pfnClick = &Clicks::Record;
        ASSERT_TRUE(
            view.Create(WS_CHILD | WS_VISIBLE | WS_BORDER, CRect(0, 0, 300, 200), &host, 100));
        view.OnInitialUpdate();
    }

    // The point in the middle of a cell (list column, row).
    CPoint Centre(int column, int row) const
    {
        const int lefts[] = {0, 40, 120};
        const int widths[] = {40, 80, 32 + 16};
        return {lefts[column] + widths[column] / 2,
                COvraCartLibraryView::kHeaderHeight + row * view.GetRowHeight() + 7};
    }

    std::set<std::pair<int, int>> Selected()
    {
        std::set<std::pair<int, int>> cells;
        int column = 0, row = 0;
        for (int more = view.GetFirstSelected(column, row); more;
             more = view.GetNextSelected(column, row))
            cells.insert({column, row});
        return cells;
    }

    CHost host;
    COvraCartLibraryView view;
    Inventory inventory;
    Clicks clicks;
};

} // namespace

TEST_F(LibraryView, TheGridHasItsColumnsAndOneRowPerCell)
{
    EXPECT_EQ(view.GetExtendedStyle() & 0x21u, 0x21u) << "grid lines and full-row select";
    const struct {
        int width;
        const char *title;
    } columns[] = {{40, "号"}, {80, "标签"}, {48, "状态"}}; // the last fits its heading
    for (int i = 0; i < 3; ++i) {
        char title[16];
        LVCOLUMN info;
        info.mask = LVCF_WIDTH | LVCF_TEXT;
        info.pszText = title;
        info.cchTextMax = sizeof title;
        ASSERT_TRUE(view.GetColumn(i, &info));
        EXPECT_EQ(info.cx, columns[i].width) << i;
        EXPECT_STREQ(title, columns[i].title);
    }
    ASSERT_EQ(view.GetItemCount(), 4);
    EXPECT_EQ(view.GetItemText(3, 0), "3");

    tagLibraryColumn found;
    ASSERT_EQ(view.FindColumn(1, found), 1);
    EXPECT_EQ(found.title, "标签");
    EXPECT_EQ(view.FindCell(found, 3), 1);
    EXPECT_EQ(view.FindCell(found, 4), 0);
    EXPECT_EQ(view.FindColumn(9, found), 0);

    // A colour entry changes only when asked to.
    EXPECT_EQ(view.SetColor(1, kWhite, kWhite, FALSE), 0);
    EXPECT_EQ(view.RowPlan(0)[1].fill, kGreen);
    EXPECT_EQ(view.SetColor(1, kWhite, kBlack, TRUE), 1);
    EXPECT_EQ(view.RowPlan(0)[1].fill, kWhite);
}

TEST_F(LibraryView, ClicksSelectCellsAsTheCtrlKeySays)
{
    const struct {
        int column, row;
        bool ctrl;
        std::set<std::pair<int, int>> selected;
    } steps[] = {
        {1, 2, false, {{1, 2}}},
        {2, 2, true, {{1, 2}, {2, 2}}},
        {1, 2, false, {{1, 2}, {2, 2}}}, // a selected cell stays as it is without Ctrl
        {1, 2, true, {{2, 2}}},          // with Ctrl only that cell goes
        {1, 0, false, {{1, 0}}},         // an unselected cell becomes the only one
        {1, 0, true, {}},
    };
    for (const auto &step : steps) {
        ui::ClickAt(view, Centre(step.column, step.row), step.ctrl);
        EXPECT_EQ(Selected(), step.selected) << step.column << "," << step.row;
    }
    ASSERT_EQ(clicks.seen.size(), std::size(steps));
    const CPoint first = Centre(1, 2);
    EXPECT_EQ(clicks.seen[0], (std::vector<int>{first.x, first.y, 1, 2}));

    // Beside the cells (past the last column, below the last row): the click is told; with
    // Ctrl the selection stays, without it the selection is cleared; the point is never kept
    // as a cell.
    const std::set<std::pair<int, int>> two{{1, 1}, {2, 3}};
    for (const CPoint beside : {CPoint(250, 30), CPoint(60, 190)}) {
        ui::ClickAt(view, Centre(1, 1));
        ui::ClickAt(view, Centre(2, 3), true);
        ASSERT_EQ(Selected(), two);
        ui::ClickAt(view, beside, true);
        EXPECT_EQ(clicks.seen.back(), (std::vector<int>{beside.x, beside.y, -1, -1}));
        EXPECT_EQ(Selected(), two) << beside.x << "," << beside.y;
        ui::ClickAt(view, beside);
        EXPECT_TRUE(Selected().empty()) << beside.x << "," << beside.y;
    }

    // The key of column 2, row 37 is 20037.
    view.SelectCell(2, 37);
    EXPECT_TRUE(view.IsCellSelected(2, 37));
    EXPECT_EQ(Selected(), (std::set<std::pair<int, int>>{{2, 37}}));
}

TEST_F(LibraryView, EachRowDrawsItsNumberAndItsCellsInTheirColours)
{
    ui::ClickAt(view, Centre(1, 2));       // a coloured cell
    ui::ClickAt(view, Centre(2, 1), true); // a cell whose value has no colour
    ui::ClickAt(view, Centre(2, 2), true);
    const struct {
        int row;
        std::vector<tagCellDraw> cells; // rect left alone: checked below
    } rows[] = {
        {0,
         {{{}, "1", false, false, 0, kBlack},
          {{}, "NEWS0001", true, false, kGreen, kBlack},
          {{}, "满", true, false, kGreen, kBlack}}},
        {1,
         {{{}, "2", false, false, 0, kBlack},
          {{}, "", false, false, 0, kBlack},
          {{}, "空", false, false, 0, kBlack}}}, // selected, but no colour: black, no fill
        {2,
         {{{}, "3", false, false, 0, kBlack},
          {{}, "AD000042", true, true, kBlue, kWhite},
          {{}, "满", true, true, kBlue, kWhite}}},
    };
    for (const auto &expected : rows) {
        const auto plan = view.RowPlan(expected.row);
        ASSERT_EQ(plan.size(), 3u);
        for (size_t i = 0; i < plan.size(); ++i) {
            const tagCellDraw &want = expected.cells[i];
            EXPECT_EQ(plan[i].text, want.text) << expected.row << "/" << i;
            EXPECT_EQ(plan[i].filled, want.filled) << expected.row << "/" << i;
            EXPECT_EQ(plan[i].bordered, want.bordered) << expected.row << "/" << i;
            if (want.filled) {
                EXPECT_EQ(plan[i].fill, want.fill) << expected.row << "/" << i;
            }
            EXPECT_EQ(plan[i].color, want.color) << expected.row << "/" << i;
        }
        EXPECT_EQ(plan[1].rect, CRect(40, 20 + expected.row * 15, 120, 35 + expected.row * 15));
    }
    // The data columns are asked for from 0.
    EXPECT_NE(std::find(inventory.asked.begin(), inventory.asked.end(), std::make_pair(1, 2)),
              inventory.asked.end());

    // Painted: every row's number, the fills and the border of the selected cells, the texts
    // inset by one blank.
    view.SetSelectionColors(kGrey, kBlack);
    view.InvalidateCell(0, 2);
    view.UpdateWindow();
    std::vector<CString> numbers;
    int fills = 0, borders = 0;
    for (const tagCanvasOp &op : view.GetCanvas()) {
        if (op.kind == tagCanvasOp::FILL) ++fills;
        if (op.kind == tagCanvasOp::RECTANGLE) ++borders;
        if (op.kind == tagCanvasOp::TEXT && op.rect.left == 8) numbers.push_back(op.text);
        if (op.kind == tagCanvasOp::TEXT) {
            EXPECT_EQ(op.format, COvraCartLibraryView::kTextFormat);
        }
        if (op.kind == tagCanvasOp::TEXT && op.text == "AD000042") {
            EXPECT_EQ(op.color, kBlack) << "the selection's text colour";
        }
    }
    EXPECT_EQ(numbers, (std::vector<CString>{"1", "2", "3", "4"}));
    EXPECT_EQ(fills, 4) << "two cassettes of two coloured cells";
    EXPECT_EQ(borders, 2);
}
