// A property page: a child dialog of a property sheet, built from its template when the
// sheet first shows it. Leaving it checks its fields (OnKillActive); the sheet's OK and Apply
// hand every page that was built to OnApply.
#pragma once

#include "platform/ui/CDialog.h"

class CPropertySheet;

class PLATUI_API CPropertyPage : public CDialog {
    DECLARE_DYNAMIC(CPropertyPage)

    explicit CPropertyPage(UINT templateId = 0);

    // The page is shown; FALSE keeps the sheet on the page it was on.
    virtual BOOL OnSetActive();
    // The page is left: UpdateData(TRUE); FALSE keeps it shown.
    virtual BOOL OnKillActive();
    // OK or Apply: OnOK and clears the modified mark; FALSE keeps the sheet open.
    virtual BOOL OnApply();
    // The page's own confirmation; it does not end the sheet.
    void OnOK() override;
    // The sheet is cancelled.
    void OnCancel() override;

    // Marks the page changed and lets the sheet's Apply button be used.
    void SetModified(BOOL changed = TRUE);
    BOOL IsModified() const { return m_bModified; }

private:
    friend class CPropertySheet;
    BOOL CreatePage(CPropertySheet *sheet);

    bool m_bModified = false;
};
