#include "drivers/sources/robot/COvraCartLibraryView.h"

#include "platform/ui/CDC.h"

IMPLEMENT_DYNCREATE(COvraCartLibraryView, CListCtrl)

namespace {

constexpr uint32_t kGridAndFullRow = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;

CString Number(int value)
{
    CString text;
    text.Format("%d", value);
    return text;
}

// One blank in the font the window draws with.
int Inset(const CDC &dc)
{
    return dc.GetTextExtent(" ").cx;
}

} // namespace

void COvraCartLibraryView::AddColumn(const tagLibraryColumn &column)
{
    m_columns.push_back(column);
}

int COvraCartLibraryView::FindColumn(int32_t id, tagLibraryColumn &out) const
{
    for (const tagLibraryColumn &column : m_columns) {
        if (column.id != id) continue;
        out = column;
        return 1;
    }
    return 0;
}

int COvraCartLibraryView::FindCell(const tagLibraryColumn &column, int32_t key)
{
    for (const tagLibraryCell &cell : column.cells)
        if (cell.key == key) return 1;
    return 0;
}

int COvraCartLibraryView::AddRow(int32_t key)
{
    for (tagLibraryColumn &column : m_columns) column.cells.push_back({key, CString()});
    return 0;
}

int COvraCartLibraryView::SetColor(int32_t value, COLORREF fill, COLORREF text, BOOL replace)
{
    auto [entry, added] = m_colors.try_emplace(value);
    if (!added && !replace) return 0;
    entry->second = {value, fill, text};
    return 1;
}

void COvraCartLibraryView::SetSelectionColors(COLORREF fill, COLORREF text)
{
    m_selectionFill = fill;
    m_selectionText = text;
}

int COvraCartLibraryView::GetFirstSelected(int &column, int &row)
{
    m_bIterating = false;
    return GetNextSelected(column, row);
}

int COvraCartLibraryView::GetNextSelected(int &column, int &row)
{
    // Goes on after the key returned last, so a selection changed meanwhile is still walked
    // safely.
    auto next = m_bIterating ? m_selection.upper_bound(m_nIterKey) : m_selection.begin();
    if (next == m_selection.end()) return 0;
    m_nIterKey = *next;
    m_bIterating = true;
    column = *next / kColumnKeyFactor;
    row = *next % kColumnKeyFactor;
    return 1;
}

BOOL COvraCartLibraryView::IsCellSelected(int column, int row) const
{
    return m_selection.count(row + column * kColumnKeyFactor) ? TRUE : FALSE;
}

void COvraCartLibraryView::SelectCell(int column, int row)
{
    const bool toggle = GetKeyState(VK_LCONTROL) < 0;
    // A point beside the cells clears the selection as a click on a cell would, but is no
    // cell: it never becomes a key of the selection.
    if (column < 0 || row < 0) {
        if (!toggle) m_selection.clear();
        return;
    }
    const int32_t key = row + column * kColumnKeyFactor;
    if (m_selection.count(key)) {
        if (toggle) m_selection.erase(key);
        return;
    }
    if (!toggle) m_selection.clear();
    m_selection.insert(key);
}

void COvraCartLibraryView::InvalidateCell(int, int)
{
    // The layer repaints whole windows: the cell's rectangle is part of it.
    Invalidate(TRUE);
}

void COvraCartLibraryView::OnInitialUpdate()
{
    SetExtendedStyle(GetExtendedStyle() | kGridAndFullRow);
    while (DeleteColumn(0)) {
    }
    DeleteAllItems();
    const CDC measure(nullptr, GetFont());
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const tagLibraryColumn &column = m_columns[i];
        int width = column.width & 0xFFFF;
        // The last column is as wide as its heading.
        if (i + 1 == m_columns.size())
            width = measure.GetTextExtent(column.title).cx + 2 * Inset(measure);
        InsertColumn(column.id, column.title, LVCFMT_LEFT, width);
    }
    if (m_columns.empty()) return;
    for (const tagLibraryCell &cell : m_columns.front().cells)
        InsertItem(cell.key, Number(cell.key));
}

int COvraCartLibraryView::ColumnWidth(int column) const
{
    LVCOLUMN info;
    info.mask = LVCF_WIDTH;
    return GetColumn(column, &info) ? info.cx : 0;
}

CRect COvraCartLibraryView::CellRect(int column, int row) const
{
    int left = 0;
    for (int c = 0; c < column; ++c) left += ColumnWidth(c);
    const int top = kHeaderHeight + row * m_nRowHeight;
    return {left, top, left + ColumnWidth(column), top + m_nRowHeight};
}

std::vector<tagCellDraw> COvraCartLibraryView::RowPlan(int row)
{
    std::vector<tagCellDraw> plan;
    plan.push_back({CellRect(0, row), Number(row + 1), false, false, 0, RGB(0, 0, 0)});
    LVCOLUMN info;
    for (int column = 1; GetColumn(column, &info); ++column) {
        tagCellDraw cell{CellRect(column, row), CString(), false, false, 0, RGB(0, 0, 0)};
        int32_t value = 0;
        if (m_pCellOwner && m_pfnCell) m_pfnCell(m_pCellOwner, column - 1, row, cell.text, value);
        const auto color = m_colors.find(value);
        if (color != m_colors.end()) {
            const bool selected = IsCellSelected(column, row);
            cell.filled = true;
            cell.bordered = selected;
            cell.fill = selected ? m_selectionFill : color->second.fill;
            cell.color = selected ? m_selectionText : color->second.text;
        }
        plan.push_back(cell);
    }
    return plan;
}

void COvraCartLibraryView::DrawItem(CDC &dc, int row)
{
    const COLORREF saved = dc.GetTextColor();
    const int inset = Inset(dc);
    for (const tagCellDraw &cell : RowPlan(row)) {
        if (cell.filled) dc.FillSolidRect(cell.rect, cell.fill);
        if (cell.bordered) dc.Rectangle(cell.rect);
        dc.SetTextColor(cell.color);
        CRect text = cell.rect;
        text.DeflateRect(inset, 0);
        dc.DrawText(cell.text, text, kTextFormat);
    }
    dc.SetTextColor(saved);
}

void COvraCartLibraryView::HitTest(CPoint point, int &column, int &row) const
{
    column = row = -1;
    if (point.y < kHeaderHeight || m_nRowHeight <= 0) return;
    const int hitRow = (point.y - kHeaderHeight) / m_nRowHeight;
    if (hitRow >= GetItemCount()) return;
    int left = 0;
    LVCOLUMN info;
    info.mask = LVCF_WIDTH;
    for (int c = 0; GetColumn(c, &info); ++c) {
        if (point.x >= left && point.x < left + info.cx) {
            column = c;
            row = hitRow;
            return;
        }
        left += info.cx;
    }
}

void COvraCartLibraryView::OnPaint()
{
    CPaintDC dc(this);
    for (int row = 0; row < GetItemCount(); ++row) DrawItem(dc, row);
}

void COvraCartLibraryView::OnLButtonDown(UINT flags, CPoint point)
{
    int column = -1, row = -1;
    HitTest(point, column, row);
    if (m_pClickOwner && m_pfnClick) m_pfnClick(m_pClickOwner, point.x, point.y, column, row);
    SelectCell(column, row);
    CListCtrl::OnLButtonDown(flags, point);
}
