// A property sheet: pages shown one at a time in one modal dialog with OK, Cancel and Apply
// buttons. Pages are built when first shown; OK checks the shown page, applies every built
// page and ends with IDOK; Cancel cancels every built page and ends with IDCANCEL. The sheet
// does not own its pages.
#pragma once

#include "platform/String.h"
#include "platform/ui/CDialog.h"

#include <vector>

class CPropertyPage;

// Buttons for PressButton.
constexpr int PSBTN_OK = 3;
constexpr int PSBTN_APPLYNOW = 4;
constexpr int PSBTN_CANCEL = 5;

class PLATUI_API CPropertySheet : public CDialog {
    DECLARE_DYNAMIC(CPropertySheet)

    explicit CPropertySheet(const char *caption = nullptr, CWnd *parent = nullptr,
                            UINT selectPage = 0);

    void AddPage(CPropertyPage *page);
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage *GetPage(int index) const;
    CPropertyPage *GetActivePage() const { return GetPage(m_nActive); }
    int GetActiveIndex() const { return m_nActive; }
    // Leaves the shown page (when it lets go) and shows that one, building it first.
    BOOL SetActivePage(int index);
    BOOL SetActivePage(CPropertyPage *page);
    BOOL PressButton(int button);

protected:
    BOOL CreateModalWindow() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;
    void OnCancel() override;

private:
    friend class CPropertyPage;
    // A page was marked changed: Apply becomes usable.
    void PageChanged();
    // OnApply on every built page; FALSE (showing that page) when one refuses.
    BOOL ApplyPages();

    CString m_strCaption;
    UINT m_nStartPage;
    std::vector<CPropertyPage *> m_pages;
    int m_nActive = -1;
};
