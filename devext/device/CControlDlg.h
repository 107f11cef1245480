// The base of control panels: dialogs that drive a device or a manager by hand, registered
// in the setting-dialog registry and opened by class and key through CMxtControlDialog.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/ui/CDialog.h"

class DEVEXT20_API CControlDlg : public CDialog {
    DECLARE_DYNCREATE(CControlDlg)

    explicit CControlDlg(int templateId = 0, CWnd *parent = nullptr);

    // Hands the panel its parameter text; the base takes none and answers 0.
    virtual int OnInitParam(const char *param);
    // Creates the panel as a child of `parent`; the base makes nothing and answers 0.
    virtual int CreateEx(CWnd *parent);
};
