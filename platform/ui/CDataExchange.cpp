#include "platform/ui/CDataExchange.h"
#include "platform/ui/CButton.h"
#include "platform/ui/CComboBox.h"
#include "platform/ui/CListBox.h"
#include "platform/ui/CWnd.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

CDataExchange::CDataExchange(CWnd *dialog, BOOL saveAndValidate)
    : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog)
{
}

CWnd *CDataExchange::PrepareCtrl(int id)
{
    CWnd *control = m_pDlgWnd ? m_pDlgWnd->GetDlgItem(id) : nullptr;
    if (!control) Fail();
    m_pLastCtrl = control;
    return control;
}

void CDataExchange::Fail()
{
    if (m_bSaveAndValidate && m_pLastCtrl) m_pLastCtrl->SetFocus();
    throw CUserException();
}

namespace {

template <class Control> Control *Prepare(CDataExchange *dx, int id)
{
    auto *control = dynamic_cast<Control *>(dx->PrepareCtrl(id));
    if (!control) dx->Fail();
    return control;
}

} // namespace

void DDX_Text(CDataExchange *dx, int id, CString &value)
{
    CWnd *control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        control->GetWindowText(value);
    else
        control->SetWindowText(value);
}

void DDX_Text(CDataExchange *dx, int id, int &value)
{
    CWnd *control = dx->PrepareCtrl(id);
    if (!dx->m_bSaveAndValidate) {
        CString text;
        text.Format("%d", value);
        control->SetWindowText(text);
        return;
    }
    CString text;
    control->GetWindowText(text);
    text.Trim();
    char *end = nullptr;
    errno = 0;
    long long number = strtoll(text, &end, 10);
    if (text.IsEmpty() || *end || errno == ERANGE || number < INT_MIN || number > INT_MAX) {
        control->MessageBox("请输入一个整数。", nullptr, MB_OK | MB_ICONEXCLAMATION);
        dx->Fail();
    }
    value = static_cast<int>(number);
}

void DDX_Check(CDataExchange *dx, int id, int &value)
{
    auto *button = Prepare<CButton>(dx, id);
    if (dx->m_bSaveAndValidate)
        value = button->GetCheck();
    else
        button->SetCheck(value);
}

void DDX_CBIndex(CDataExchange *dx, int id, int &value)
{
    auto *combo = Prepare<CComboBox>(dx, id);
    if (dx->m_bSaveAndValidate)
        value = combo->GetCurSel();
    else
        combo->SetCurSel(value);
}

void DDX_CBString(CDataExchange *dx, int id, CString &value)
{
    auto *combo = Prepare<CComboBox>(dx, id);
    if (dx->m_bSaveAndValidate) {
        combo->GetWindowText(value);
        return;
    }
    if (combo->SelectString(-1, value) == CB_ERR && combo->HasEditPart())
        combo->SetWindowText(value);
}

void DDX_LBIndex(CDataExchange *dx, int id, int &value)
{
    auto *list = Prepare<CListBox>(dx, id);
    if (dx->m_bSaveAndValidate)
        value = list->GetCurSel();
    else
        list->SetCurSel(value);
}
