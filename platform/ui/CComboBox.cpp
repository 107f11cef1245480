#include "platform/ui/CComboBox.h"
#include "platform/ui/UiState.h"

IMPLEMENT_DYNCREATE(CComboBox, CItemListWnd)

BOOL CComboBox::Create(uint32_t style, const CRect &rect, CWnd *parent, UINT id)
{
    return CWnd::Create("ComboBox", "", style, rect, parent, id);
}

void CComboBox::GetLBText(int index, CString &text) const
{
    if (!ItemText(index, text)) text.Empty();
}

int CComboBox::GetLBTextLen(int index) const
{
    CString text;
    return ItemText(index, text) ? text.GetLength() : CB_ERR;
}

BOOL CComboBox::HasEditPart() const
{
    return (GetStyle() & 0x3) != CBS_DROPDOWNLIST;
}

void CComboBox::OnSelectionChanged()
{
    CString text;
    if (!ItemText(GetCurSel(), text) && HasEditPart()) return;
    CWnd::DefWindowProc(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.GetString()));
}

LRESULT CComboBox::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETTEXT:
        if (!HasEditPart()) return CB_ERR;
        return CWnd::DefWindowProc(message, wParam, lParam);
    case UIM_PICK:
        if (!IsWindowEnabled() || wParam >= static_cast<WPARAM>(GetCount())) return 0;
        SetCurSel(static_cast<int>(wParam));
        NotifyParent(CBN_SELCHANGE);
        return 1;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default:
        return CWnd::DefWindowProc(message, wParam, lParam);
    }
}
