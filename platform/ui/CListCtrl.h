// The list view in report form: columns with headings and widths, rows of item and subitem
// texts, and a selection of rows. A user's click selects a row (NM_CLICK), a
// double click also sends NM_DBLCLK, and a key pressed while the list has the focus sends
// LVN_KEYDOWN to the parent.
#pragma once

#include "platform/Collections.h"
#include "platform/ui/CWnd.h"

#include <vector>

constexpr int LVCFMT_LEFT = 0;
constexpr UINT LVIS_FOCUSED = 0x1;
constexpr UINT LVIS_SELECTED = 0x2;
constexpr int LVNI_ALL = 0;
constexpr int LVNI_SELECTED = 0x2;
constexpr UINT LVCF_FMT = 0x1;
constexpr UINT LVCF_WIDTH = 0x2;
constexpr UINT LVCF_TEXT = 0x4;

struct LVCOLUMN {
    UINT mask = 0;
    int fmt = LVCFMT_LEFT;
    int cx = 0;
    char *pszText = nullptr;
    int cchTextMax = 0;
    int iSubItem = 0;
};

class PLATUI_API CListCtrl : public CWnd {
    DECLARE_DYNCREATE(CListCtrl)

    CListCtrl() = default;
    BOOL Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id);

    uint32_t SetExtendedStyle(uint32_t exStyle);
    uint32_t GetExtendedStyle() const { return m_dwListExStyle; }

    // The new column's index (past the end appends); -1 for a negative index.
    int InsertColumn(int column, const char *heading, int format = LVCFMT_LEFT, int width = -1,
                     int subItem = -1);
    BOOL DeleteColumn(int column);
    // Fills what the mask asks for; FALSE for a bad column.
    BOOL GetColumn(int column, LVCOLUMN *info) const;

    int GetItemCount() const { return static_cast<int>(m_rows.size()); }
    // The new row's index (past the end appends); -1 for a negative index.
    int InsertItem(int item, const char *text);
    BOOL DeleteItem(int item);
    BOOL DeleteAllItems();
    BOOL SetItemText(int item, int subItem, const char *text);
    CString GetItemText(int item, int subItem) const;
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const;
    UINT GetSelectedCount() const;
    // The next row after `item` (-1: from the top) with the flags; -1 when none.
    int GetNextItem(int item, int flags) const;
    POSITION GetFirstSelectedItemPosition() const;
    // The selected row at `pos`; moves `pos` to the next selected row (null after the last).
    int GetNextSelectedItem(POSITION &pos) const;

protected:
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Column {
        CString heading;
        int format;
        int width;
    };
    struct Row {
        std::vector<CString> texts;
        UINT state = 0;
    };
    bool ValidRow(int item) const { return item >= 0 && item < GetItemCount(); }
    void UserClick(int row, bool add, UINT code);

    uint32_t m_dwListExStyle = 0;
    std::vector<Column> m_columns;
    std::vector<Row> m_rows;
};
