#include "platform/ui/CListCtrl.h"
#include "platform/ui/UiState.h"

#include <algorithm>
#include <cstring>

IMPLEMENT_DYNCREATE(CListCtrl, CWnd)

namespace {

constexpr int kDefaultColumnWidth = 60;

POSITION ToPosition(int index)
{
    return reinterpret_cast<POSITION>(static_cast<intptr_t>(index) + 1);
}

} // namespace

BOOL CListCtrl::Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id)
{
    return CWnd::Create("SysListView32", "", style, rect, parent, id);
}

uint32_t CListCtrl::SetExtendedStyle(uint32_t exStyle)
{
    uint32_t old = m_dwListExStyle;
    m_dwListExStyle = exStyle;
    return old;
}

int CListCtrl::InsertColumn(int column, const char *heading, int format, int width, int)
{
    if (column < 0) return -1;
    column = std::min(column, static_cast<int>(m_columns.size()));
    m_columns.insert(m_columns.begin() + column, Column{heading ? heading : "", format,
                                                        width < 0 ? kDefaultColumnWidth : width});
    return column;
}

BOOL CListCtrl::DeleteColumn(int column)
{
    if (column < 0 || column >= static_cast<int>(m_columns.size())) return FALSE;
    m_columns.erase(m_columns.begin() + column);
    for (Row &row : m_rows)
        if (column < static_cast<int>(row.texts.size()))
            row.texts.erase(row.texts.begin() + column);
    return TRUE;
}

BOOL CListCtrl::GetColumn(int column, LVCOLUMN *info) const
{
    if (!info || column < 0 || column >= static_cast<int>(m_columns.size())) return FALSE;
    const Column &c = m_columns[static_cast<size_t>(column)];
    if (info->mask & LVCF_FMT) info->fmt = c.format;
    if (info->mask & LVCF_WIDTH) info->cx = c.width;
    if ((info->mask & LVCF_TEXT) && info->pszText && info->cchTextMax > 0) {
        strncpy(info->pszText, c.heading, static_cast<size_t>(info->cchTextMax - 1));
        info->pszText[info->cchTextMax - 1] = '\0';
    }
    info->iSubItem = column;
    return TRUE;
}

int CListCtrl::InsertItem(int item, const char *text)
{
    if (item < 0) return -1;
    item = std::min(item, GetItemCount());
    Row row;
    row.texts.push_back(text ? text : "");
    m_rows.insert(m_rows.begin() + item, std::move(row));
    return item;
}

BOOL CListCtrl::DeleteItem(int item)
{
    if (!ValidRow(item)) return FALSE;
    m_rows.erase(m_rows.begin() + item);
    return TRUE;
}

BOOL CListCtrl::DeleteAllItems()
{
    m_rows.clear();
    return TRUE;
}

// Subitems exist up to the last column (the item text itself without columns).
BOOL CListCtrl::SetItemText(int item, int subItem, const char *text)
{
    if (!ValidRow(item) || subItem < 0 ||
        subItem >= std::max(1, static_cast<int>(m_columns.size())))
        return FALSE;
    auto &texts = m_rows[static_cast<size_t>(item)].texts;
    if (subItem >= static_cast<int>(texts.size())) texts.resize(static_cast<size_t>(subItem) + 1);
    texts[static_cast<size_t>(subItem)] = text ? text : "";
    return TRUE;
}

CString CListCtrl::GetItemText(int item, int subItem) const
{
    if (!ValidRow(item) || subItem < 0) return CString();
    const auto &texts = m_rows[static_cast<size_t>(item)].texts;
    return subItem < static_cast<int>(texts.size()) ? texts[static_cast<size_t>(subItem)]
                                                    : CString();
}

// Item -1 sets the state of every row. A single-selection list keeps one selected row.
BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask)
{
    if (item != -1 && !ValidRow(item)) return FALSE;
    const bool selecting = (mask & LVIS_SELECTED) && (state & LVIS_SELECTED);
    for (int i = 0; i < GetItemCount(); ++i) {
        Row &row = m_rows[static_cast<size_t>(i)];
        if (item == -1 || i == item)
            row.state = (row.state & ~mask) | (state & mask);
        else if (selecting && (GetStyle() & LVS_SINGLESEL))
            row.state &= ~LVIS_SELECTED;
    }
    return TRUE;
}

UINT CListCtrl::GetItemState(int item, UINT mask) const
{
    return ValidRow(item) ? m_rows[static_cast<size_t>(item)].state & mask : 0;
}

UINT CListCtrl::GetSelectedCount() const
{
    return static_cast<UINT>(std::count_if(m_rows.begin(), m_rows.end(), [](const Row &row) {
        return (row.state & LVIS_SELECTED) != 0;
    }));
}

int CListCtrl::GetNextItem(int item, int flags) const
{
    for (int i = std::max(0, item + 1); i < GetItemCount(); ++i)
        if (!(flags & LVNI_SELECTED) || (m_rows[static_cast<size_t>(i)].state & LVIS_SELECTED))
            return i;
    return -1;
}

POSITION CListCtrl::GetFirstSelectedItemPosition() const
{
    int first = GetNextItem(-1, LVNI_SELECTED);
    return first < 0 ? nullptr : ToPosition(first);
}

int CListCtrl::GetNextSelectedItem(POSITION &pos) const
{
    const int item = static_cast<int>(reinterpret_cast<intptr_t>(pos)) - 1;
    int next = GetNextItem(item, LVNI_SELECTED);
    pos = next < 0 ? nullptr : ToPosition(next);
    return item;
}

void CListCtrl::UserClick(int row, bool add, UINT code)
{
    if (!IsWindowEnabled() || !ValidRow(row)) return;
    SetFocus();
    if (!add) SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    NMITEMACTIVATE click;
    click.iItem = row;
    NotifyParent(NM_CLICK, &click.hdr);
    if (code == NM_DBLCLK) {
        NMITEMACTIVATE dblclk;
        dblclk.iItem = row;
        NotifyParent(NM_DBLCLK, &dblclk.hdr);
    }
}

LRESULT CListCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case UIM_CLICK_ROW:
        UserClick(static_cast<int>(wParam), lParam != 0, NM_CLICK);
        return 0;
    case UIM_DBLCLK_ROW:
        UserClick(static_cast<int>(wParam), false, NM_DBLCLK);
        return 0;
    case WM_KEYDOWN: {
        NMLVKEYDOWN key;
        key.wVKey = static_cast<uint16_t>(wParam);
        NotifyParent(LVN_KEYDOWN, &key.hdr);
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default:
        return CWnd::DefWindowProc(message, wParam, lParam);
    }
}
