// Opens one control panel registered for a class under a dialog key, and owns it until it is
// closed. Holders cannot be copied: each panel has one owner.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CControlDlg.h"

class DEVEXT20_API CMxtControlDialog {
public:
    CMxtControlDialog() = default;
    ~CMxtControlDialog();
    CMxtControlDialog(const CMxtControlDialog &) = delete;
    CMxtControlDialog &operator=(const CMxtControlDialog &) = delete;

    // Closes a panel still held, then makes (without its window) the panel of the first
    // registration of `className` whose dialog is a control panel and whose key is `key`
    // (any key when null or empty). 1 when a panel was made.
    int OpenDialog(const char *className, const char *key);
    // The panel's OnInitParam; 0 without a panel.
    int InitParam(const char *param);
    // The panel's modal result; 0 without a panel.
    INT_PTR DoModal();
    // Deletes the panel; 1.
    int CloseDialog();
    CControlDlg *GetDialog() const { return m_pDialog; }

private:
    CControlDlg *m_pDialog = nullptr;
};
