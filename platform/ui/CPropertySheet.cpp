#include "platform/ui/CPropertySheet.h"
#include "platform/ui/CButton.h"
#include "platform/ui/CPropertyPage.h"

#include <algorithm>
#include <memory>

IMPLEMENT_DYNAMIC(CPropertySheet, CDialog)

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 320;
constexpr int kButtonTop = kHeight - 32;

} // namespace

CPropertySheet::CPropertySheet(const char *caption, CWnd *parent, UINT selectPage)
    : m_strCaption(caption), m_nStartPage(selectPage)
{
    m_pParentWnd = parent;
}

void CPropertySheet::AddPage(CPropertyPage *page)
{
    if (page) m_pages.push_back(page);
}

CPropertyPage *CPropertySheet::GetPage(int index) const
{
    return index >= 0 && index < GetPageCount() ? m_pages[static_cast<size_t>(index)] : nullptr;
}

BOOL CPropertySheet::CreateModalWindow()
{
    m_nActive = -1;
    if (!CreateEx(WS_EX_CONTROLPARENT, nullptr, m_strCaption, WS_POPUP | WS_CAPTION | WS_VISIBLE,
                  CRect(0, 0, kWidth, kHeight), nullptr, 0))
        return FALSE;
    const struct {
        int id;
        const char *text;
        uint32_t style;
    } buttons[] = {{IDOK, "确定", BS_DEFPUSHBUTTON},
                   {IDCANCEL, "取消", BS_PUSHBUTTON},
                   {ID_APPLY_NOW, "应用", BS_PUSHBUTTON | WS_DISABLED}};
    int left = kWidth - 3 * 84;
    for (const auto &b : buttons) {
        auto button = std::make_unique<CButton>();
        if (!button->Create(b.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | b.style,
                            CRect(left, kButtonTop, left + 76, kButtonTop + 24), this,
                            static_cast<UINT>(b.id)))
            return FALSE;
        AdoptControl(button.release());
        left += 84;
    }
    if (!m_pages.empty() &&
        !SetActivePage(std::min<int>(static_cast<int>(m_nStartPage), GetPageCount() - 1)))
        return FALSE;
    // The first focus goes to the shown page's first stop, ahead of the sheet's buttons.
    if (SendMessage(WM_INITDIALOG)) {
        CPropertyPage *page = GetActivePage();
        CWnd *first = page ? page->GetNextDlgTabItem(nullptr) : nullptr;
        GotoDlgCtrl(first ? first : GetNextDlgTabItem(nullptr));
    }
    return TRUE;
}

BOOL CPropertySheet::SetActivePage(int index)
{
    CPropertyPage *next = GetPage(index);
    if (!next || !GetSafeHwnd()) return FALSE;
    if (index == m_nActive) return TRUE;
    CPropertyPage *current = GetActivePage();
    if (current && !current->OnKillActive()) return FALSE;
    if (!next->GetSafeHwnd() && !next->CreatePage(this)) return FALSE;
    if (!next->OnSetActive()) return FALSE;
    if (current) current->ShowWindow(SW_HIDE);
    next->ShowWindow(SW_SHOW);
    m_nActive = index;
    return TRUE;
}

BOOL CPropertySheet::SetActivePage(CPropertyPage *page)
{
    auto at = std::find(m_pages.begin(), m_pages.end(), page);
    return at == m_pages.end() ? FALSE : SetActivePage(static_cast<int>(at - m_pages.begin()));
}

void CPropertySheet::PageChanged()
{
    if (CWnd *apply = GetDlgItem(ID_APPLY_NOW)) apply->EnableWindow(TRUE);
}

BOOL CPropertySheet::ApplyPages()
{
    for (CPropertyPage *page : m_pages) {
        if (!page->GetSafeHwnd() || page->OnApply()) continue;
        SetActivePage(page);
        return FALSE;
    }
    bool anyModified = std::any_of(m_pages.begin(), m_pages.end(),
                                   [](CPropertyPage *page) { return page->IsModified(); });
    if (CWnd *apply = GetDlgItem(ID_APPLY_NOW)) apply->EnableWindow(anyModified);
    return TRUE;
}

void CPropertySheet::OnOK()
{
    CPropertyPage *current = GetActivePage();
    if (current && !current->OnKillActive()) return;
    if (ApplyPages()) EndDialog(IDOK);
}

void CPropertySheet::OnCancel()
{
    for (CPropertyPage *page : m_pages)
        if (page->GetSafeHwnd()) page->OnCancel();
    EndDialog(IDCANCEL);
}

BOOL CPropertySheet::PressButton(int button)
{
    switch (button) {
    case PSBTN_OK:
        OnOK();
        return TRUE;
    case PSBTN_CANCEL:
        OnCancel();
        return TRUE;
    case PSBTN_APPLYNOW: {
        CPropertyPage *current = GetActivePage();
        if (current && current->OnKillActive()) ApplyPages();
        return TRUE;
    }
    default:
        return FALSE;
    }
}

BOOL CPropertySheet::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == ID_APPLY_NOW && HIWORD(wParam) == BN_CLICKED)
        return PressButton(PSBTN_APPLYNOW);
    return CDialog::OnCommand(wParam, lParam);
}
