#include "drivers/model/pages/CSettingFieldsPage.h"

#include "KestLib20/CResAccess.h"
#include "platform/ui/CComboBox.h"

IMPLEMENT_DYNAMIC(CSettingFieldsPage, CObjectSettingDlg)

namespace {

// The item of a stored value: its word, else the value as a number less the offset. A word
// field without a value selects nothing, so that its reader's default stays in force.
int SelectionOf(const tagPageField &field, IStringAccess &value)
{
    const CString text = value.GetAsString("");
    if (!field.words.empty() && text.IsEmpty()) return -1;
    for (size_t i = 0; i < field.words.size(); ++i)
        if (text.CompareNoCase(field.words[i]) == 0) return static_cast<int>(i);
    return value.GetAsInteger(0) - field.offset;
}

} // namespace

CSettingFieldsPage::CSettingFieldsPage(int templateId, const std::vector<tagPageField> &fields)
    : CObjectSettingDlg(templateId), m_fields(fields)
{
}

BOOL CSettingFieldsPage::OnInitDialog()
{
    CObjectSettingDlg::OnInitDialog();
    CResAccess setting(m_strSettingPath);
    for (const tagPageField &field : m_fields) {
        auto value = setting[field.key];
        if (!field.IsCombo()) {
            SetDlgItemText(field.id, value.GetAsString(""));
            continue;
        }
        auto *combo = dynamic_cast<CComboBox *>(GetDlgItem(field.id));
        if (!combo) continue;
        combo->ResetContent();
        for (const char *choice : field.choices) combo->AddString(choice);
        combo->SetCurSel(SelectionOf(field, value));
    }
    return TRUE;
}

void CSettingFieldsPage::OnOK()
{
    CResAccess setting(m_strSettingPath);
    for (const tagPageField &field : m_fields) {
        auto value = setting[field.key];
        if (!field.IsCombo()) {
            CString text;
            GetDlgItemText(field.id, text);
            value = text;
            continue;
        }
        auto *combo = dynamic_cast<CComboBox *>(GetDlgItem(field.id));
        if (!combo) continue;
        const int selection = combo->GetCurSel();
        if (field.words.empty())
            value.SetAsInteger(selection + field.offset);
        else if (selection >= 0 && selection < static_cast<int>(field.words.size()))
            value = field.words[static_cast<size_t>(selection)];
    }
    CObjectSettingDlg::OnOK();
}

BOOL CSettingFieldsPage::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) == EN_CHANGE) {
        SetModified(TRUE);
        return TRUE;
    }
    return CObjectSettingDlg::OnCommand(wParam, lParam);
}
