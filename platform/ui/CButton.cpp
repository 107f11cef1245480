#include "platform/ui/CButton.h"

IMPLEMENT_DYNCREATE(CButton, CWnd)

BOOL CButton::Create(const char *text, uint32_t style, const CRect &rect, CWnd *parent, UINT id)
{
    return CWnd::Create("Button", text, style, rect, parent, id);
}

bool CButton::IsRadio() const
{
    uint32_t type = GetButtonStyle();
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

void CButton::Click()
{
    if (!GetSafeHwnd() || !IsWindowEnabled()) return;
    switch (GetButtonStyle()) {
    case BS_AUTOCHECKBOX:
        m_nCheck = m_nCheck == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        break;
    case BS_AUTORADIOBUTTON:
        ClearGroup();
        m_nCheck = BST_CHECKED;
        break;
    default:
        break;
    }
    NotifyParent(BN_CLICKED);
}

// A group runs from a sibling marked WS_GROUP up to the next one so marked.
void CButton::ClearGroup()
{
    CWnd *first = this;
    while (!(first->GetStyle() & WS_GROUP)) {
        CWnd *previous = first->GetWindow(GW_HWNDPREV);
        if (!previous) break;
        first = previous;
    }
    for (CWnd *wnd = first; wnd; wnd = wnd->GetWindow(GW_HWNDNEXT)) {
        if (wnd != first && (wnd->GetStyle() & WS_GROUP)) break;
        auto *button = dynamic_cast<CButton *>(wnd);
        if (button && button != this && button->IsRadio()) button->m_nCheck = BST_UNCHECKED;
    }
}

LRESULT CButton::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case BM_CLICK:
        Click();
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) Click();
        return 0;
    case WM_GETDLGCODE: {
        UINT type = GetButtonStyle();
        if (IsRadio()) return DLGC_BUTTON | DLGC_RADIOBUTTON;
        if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        return DLGC_BUTTON;
    }
    default:
        return CWnd::DefWindowProc(message, wParam, lParam);
    }
}
