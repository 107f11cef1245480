// The modal runner: what runs a modal dialog and a message box. There is no display, so the
// default runner closes every dialog as its Cancel button would (IDCANCEL) and answers every
// message box with its cancelling button; tests install a scripted runner (see UiInput.h).
#pragma once

#include "platform/ui/UiTypes.h"

class CDialog;

class PLATUI_API CModalRunner {
public:
    virtual ~CModalRunner() = default;
    // Runs the built dialog until it has ended; its result.
    virtual INT_PTR RunModal(CDialog &dialog) = 0;
    // The button that answers the box.
    virtual int RunMessageBox(CWnd *owner, const char *text, const char *caption, UINT type) = 0;
};

class PLATUI_API CHeadlessRunner : public CModalRunner {
public:
    // Sends IDCANCEL to the dialog and ends it with IDCANCEL if that did not.
    INT_PTR RunModal(CDialog &dialog) override;
    // IDOK for MB_OK, IDNO for MB_YESNO, else IDCANCEL.
    int RunMessageBox(CWnd *owner, const char *text, const char *caption, UINT type) override;
};

// The runner in use; never null.
PLATUI_API CModalRunner *AfxGetModalRunner();
// Installs `runner` (null puts the default back); the runner installed before, null for the
// default.
PLATUI_API CModalRunner *AfxSetModalRunner(CModalRunner *runner);
// A message box without an owner.
PLATUI_API int AfxMessageBox(const char *text, UINT type = MB_OK);
