// Buttons: push buttons, check boxes and radio buttons. A click (BM_CLICK, or Space while the
// button has the focus) on an enabled button toggles an automatic check box, checks an
// automatic radio button and clears the other radio buttons of its group, and sends
// BN_CLICKED to the parent.
#pragma once

#include "platform/ui/CWnd.h"

constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;

class PLATUI_API CButton : public CWnd {
    DECLARE_DYNCREATE(CButton)

    CButton() = default;
    BOOL Create(const char *text, uint32_t style, const CRect &rect, CWnd *parent, UINT id);

    int GetCheck() const { return m_nCheck; }
    void SetCheck(int check) { m_nCheck = check; }
    uint32_t GetButtonStyle() const { return GetStyle() & BS_TYPEMASK; }

protected:
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool IsRadio() const;
    void Click();
    void ClearGroup();

    int m_nCheck = BST_UNCHECKED;
};
