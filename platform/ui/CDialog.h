// The dialog: a window built from a dialog template (see DialogTemplate.h), run modally
// through the modal runner (see ModalRunner.h) or made modeless. It moves the focus between
// its tab stops with Tab, sends IDOK for Return and IDCANCEL for Escape (unless the focused
// control wants those keys), and exchanges data with its controls through UpdateData.
#pragma once

#include "platform/ui/CWnd.h"

class PLATUI_API CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)

    CDialog() = default;
    explicit CDialog(UINT templateId, CWnd *parent = nullptr);
    ~CDialog() override;

    // Builds the dialog, runs it through the modal runner and destroys it; the result given
    // to EndDialog, or -1 when the dialog could not be built.
    virtual INT_PTR DoModal();
    // Builds a modeless dialog: a child of `parent` when its template has WS_CHILD.
    BOOL Create(UINT templateId, CWnd *parent = nullptr);
    // Ends a modal run with `result`; a modeless dialog is hidden.
    void EndDialog(int result);
    BOOL HasEnded() const { return m_bEnded; }
    int GetModalResult() const { return m_nModalResult; }

    // UpdateData(FALSE); TRUE puts the focus on the first tab stop.
    virtual BOOL OnInitDialog();
    // UpdateData(TRUE), then EndDialog(IDOK) when it succeeded.
    virtual void OnOK();
    virtual void OnCancel();

    // Focuses the control; an edit gets its whole text selected, as by Tab.
    void GotoDlgCtrl(CWnd *control);

    BOOL PreTranslateMessage(MSG *msg) override;

protected:
    // Makes the window (a child when `child`), its controls from the template, sends
    // WM_INITDIALOG and sets the first focus.
    BOOL CreateFromTemplate(CWnd *parent, bool child);
    // The window for a modal run; a property sheet builds its own.
    virtual BOOL CreateModalWindow();
    // Sends WM_INITDIALOG and, when OnInitDialog asks for it, focuses the first tab stop.
    void InitDialog();
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // SC_CLOSE from the system menu cancels the dialog, as its Cancel button would.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Lets the dialog's window delete a control object it was given when it is destroyed.
    static void AdoptControl(CWnd *control) { control->m_bAutoDelete = true; }
    // IDOK and IDCANCEL clicked: OnOK and OnCancel.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDTemplate = 0;
    CWnd *m_pParentWnd = nullptr;

private:
    // The dialog that Return and Escape go to: the outermost one this dialog is a child of.
    CDialog *OuterDialog();

    bool m_bModal = false;
    bool m_bEnded = false;
    int m_nModalResult = -1;
};
