// The library view of a tape cart: the cells of the robot's shelf as a grid, one row per cell
// number and one column per attribute, each cell drawn by the view in the colours its value
// is given. The embedding program fills the cells through a callback, hears of clicks through
// another, and reads back the cells the operator selected (one, or several with the left Ctrl
// key held). A selected cell's key is row + column x 10000.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "platform/String.h"
#include "platform/ui/CListCtrl.h"

#include <cstdint>
#include <set>
#include <unordered_map>
#include <vector>

struct tagLibraryCell {
    int32_t key = -1;
    CString text;
};

struct tagLibraryColumn {
    int32_t id = 0;    // the list column's index
    int32_t width = 0; // its low 16 bits: the width in pixels
    CString title;
    std::vector<tagLibraryCell> cells;
};

// The colours a cell value is drawn in (0x00BBGGRR).
struct tagCellColor {
    int32_t value = 0;
    COLORREF fill = 0;
    COLORREF text = 0;
};

// What one cell of a row is drawn as.
struct tagCellDraw {
    CRect rect;     // the cell's rectangle
    CString text;   // drawn inset by one blank at both sides
    bool filled;    // the rectangle is filled first
    bool bordered;  // and outlined (a selected cell)
    COLORREF fill;  // when filled
    COLORREF color; // the text's
};

class KSOVRA20_API COvraCartLibraryView : public CListCtrl {
    DECLARE_DYNCREATE(COvraCartLibraryView)

    // (owner, data column from 0, row, text to fill, value to fill).
    using CellCallback = void (*)(void *owner, int column, int row, CString &text, int32_t &value);
    // (owner, x, y, list column, row) in client coordinates.
    using ClickCallback = void (*)(void *owner, int x, int y, int column, int row);

    static constexpr int32_t kColumnKeyFactor = 10000;
    static constexpr uint32_t kTextFormat = 0x924; // vcentre, single line, no clip, no prefix
    static constexpr int kHeaderHeight = 20;

    COvraCartLibraryView() = default;

    void AddColumn(const tagLibraryColumn &column);
    // 1 and the first column with that id, else 0.
    int FindColumn(int32_t id, tagLibraryColumn &out) const;
    // 1 when the column holds a cell with that key.
    static int FindCell(const tagLibraryColumn &column, int32_t key);
    // Appends {key, ""} to every column; 0.
    int AddRow(int32_t key);
    // Enters the colours of a value; an entry there already changes only with `replace` (0
    // otherwise). 1 when set.
    int SetColor(int32_t value, COLORREF fill, COLORREF text, BOOL replace);
    void SetSelectionColors(COLORREF fill, COLORREF text);
    void SetRowHeight(int pixels) { m_nRowHeight = pixels; }
    int GetRowHeight() const { return m_nRowHeight; }

    // Walk the selected cells: 1 with the column and row of one, 0 when there are no more.
    int GetFirstSelected(int &column, int &row);
    int GetNextSelected(int &column, int &row);
    BOOL IsCellSelected(int column, int row) const;
    // Left Ctrl held: the cell's selection toggles. Otherwise an unselected cell becomes the
    // only one selected, and a selected one stays as it is.
    void SelectCell(int column, int row);
    // Repaints the cell of data column `column` (from 0) in `row`.
    void InvalidateCell(int column, int row);

    // Builds the list's columns and rows from the column list.
    virtual void OnInitialUpdate();
    // The cells of row `row` as they are drawn: the number column, then every data column.
    std::vector<tagCellDraw> RowPlan(int row);
    // Draws the row into `dc`.
    virtual void DrawItem(CDC &dc, int row);
    // The list column and row under a point; -1 for each that nothing is under.
    void HitTest(CPoint point, int &column, int &row) const;

    void *m_pCellOwner = nullptr;
    CellCallback m_pfnCell = nullptr;
    void *m_pClickOwner = nullptr;
    ClickCallback m_pfnClick = nullptr;

protected:
    void OnPaint() override;
    void OnLButtonDown(UINT flags, CPoint point) override;

private:
    CRect CellRect(int column, int row) const;
    int ColumnWidth(int column) const;

    std::vector<tagLibraryColumn> m_columns;
    std::unordered_map<int32_t, tagCellColor> m_colors;
    std::set<int32_t> m_selection;
    COLORREF m_selectionFill = 0xFF0000;
    COLORREF m_selectionText = 0xFFFFFF;
    int32_t m_nIterKey = -1; // the key GetNextSelected goes on after
    bool m_bIterating = false;
    int m_nRowHeight = 15;
};
