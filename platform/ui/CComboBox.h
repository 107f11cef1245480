// The combo box: a list of string items with one selected item shown as its text; with
// CBS_DROPDOWN it also has an edit part whose text may differ from every item. A user's pick
// sends CBN_SELCHANGE to the parent; setting the selection from code does not.
#pragma once

#include "platform/ui/CItemListWnd.h"

constexpr int CB_ERR = -1;

class PLATUI_API CComboBox : public CItemListWnd {
    DECLARE_DYNCREATE(CComboBox)

    CComboBox() = default;
    BOOL Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id);

    void GetLBText(int index, CString &text) const;
    int GetLBTextLen(int index) const;
    // Whether the combo has an edit part (any style but CBS_DROPDOWNLIST).
    BOOL HasEditPart() const;

protected:
    // Shows the selected item's text; an edit part keeps its text without a selection.
    void OnSelectionChanged() override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
