// Dialog data exchange: DoDataExchange moves values between a dialog's members and its
// controls, one DDX_ call per control, in the direction UpdateData asks for. A value that
// fails its check shows a message, puts the focus on the control and ends the exchange, so
// UpdateData answers FALSE.
#pragma once

#include "platform/String.h"
#include "platform/ui/UiTypes.h"

#include <exception>

class CWnd;

// Ends a data exchange that failed; UpdateData catches it.
class PLATUI_API CUserException : public std::exception {
public:
    const char *what() const noexcept override { return "data exchange failed"; }
};

class PLATUI_API CDataExchange {
public:
    CDataExchange(CWnd *dialog, BOOL saveAndValidate);

    // The control with that id; a missing control fails the exchange.
    CWnd *PrepareCtrl(int id);
    // Focuses the control prepared last and throws CUserException.
    [[noreturn]] void Fail();

    BOOL m_bSaveAndValidate;
    CWnd *m_pDlgWnd;

private:
    CWnd *m_pLastCtrl = nullptr;
};

PLATUI_API void DDX_Text(CDataExchange *dx, int id, CString &value);
// Saving reads a decimal integer (blanks around it allowed); anything else fails.
PLATUI_API void DDX_Text(CDataExchange *dx, int id, int &value);
// A button's check state (0, 1).
PLATUI_API void DDX_Check(CDataExchange *dx, int id, int &value);
// The selected index of a combo box (-1 for none).
PLATUI_API void DDX_CBIndex(CDataExchange *dx, int id, int &value);
// Loading selects the first item starting with the text (or, for a combo with an edit part,
// shows the text itself); saving reads the combo's text.
PLATUI_API void DDX_CBString(CDataExchange *dx, int id, CString &value);
// The selected index of a list box (-1 for none).
PLATUI_API void DDX_LBIndex(CDataExchange *dx, int id, int &value);
