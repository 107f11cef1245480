// The list box: string items with item data and one selected item. A user's pick sends
// LBN_SELCHANGE, a double click LBN_DBLCLK too, to the parent; setting the selection from
// code sends nothing.
#pragma once

#include "platform/ui/CItemListWnd.h"

constexpr int LB_ERR = -1;

class PLATUI_API CListBox : public CItemListWnd {
    DECLARE_DYNCREATE(CListBox)

    CListBox() = default;
    BOOL Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id);

    void GetText(int index, CString &text) const;
    int GetTextLen(int index) const;

protected:
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
