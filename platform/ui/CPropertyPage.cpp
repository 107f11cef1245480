#include "platform/ui/CPropertyPage.h"
#include "platform/ui/CPropertySheet.h"

IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)

CPropertyPage::CPropertyPage(UINT templateId) : CDialog(templateId) {}

BOOL CPropertyPage::CreatePage(CPropertySheet *sheet)
{
    m_bModified = false;
    return CreateFromTemplate(sheet, true);
}

BOOL CPropertyPage::OnSetActive()
{
    return TRUE;
}

BOOL CPropertyPage::OnKillActive()
{
    return UpdateData(TRUE);
}

BOOL CPropertyPage::OnApply()
{
    OnOK();
    m_bModified = false;
    return TRUE;
}

void CPropertyPage::OnOK() {}

void CPropertyPage::OnCancel() {}

void CPropertyPage::SetModified(BOOL changed)
{
    m_bModified = changed != FALSE;
    if (auto *sheet = dynamic_cast<CPropertySheet *>(GetParent())) sheet->PageChanged();
}
