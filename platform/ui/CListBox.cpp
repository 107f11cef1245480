#include "platform/ui/CListBox.h"
#include "platform/ui/UiState.h"

IMPLEMENT_DYNCREATE(CListBox, CItemListWnd)

BOOL CListBox::Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id)
{
    return CWnd::Create("ListBox", "", style, rect, parent, id);
}

void CListBox::GetText(int index, CString &text) const
{
    if (!ItemText(index, text)) text.Empty();
}

int CListBox::GetTextLen(int index) const
{
    CString text;
    return ItemText(index, text) ? text.GetLength() : LB_ERR;
}

LRESULT CListBox::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case UIM_PICK:
    case UIM_PICK_DBLCLK:
        if (!IsWindowEnabled() || wParam >= static_cast<WPARAM>(GetCount())) return 0;
        SetCurSel(static_cast<int>(wParam));
        SetFocus();
        NotifyParent(LBN_SELCHANGE);
        if (message == UIM_PICK_DBLCLK) NotifyParent(LBN_DBLCLK);
        return 1;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default:
        return CWnd::DefWindowProc(message, wParam, lParam);
    }
}
