// The object-property page: registered for CClassA, so every framework object and device has
// it. It shows the object's name and, one per line, the keys of its setting with their values.
#include "devext/device/CObjectSettingDlg.h"

#include "KestLib20/CResAccess.h"
#include "platform/ui/CEdit.h"
#include "platform/ui/DialogTemplate.h"

#include <algorithm>

namespace {

constexpr UINT IDD_OBJECT_PROPERTY = 5000;
constexpr int IDC_OBJECT_NAME = 5005;
constexpr int IDC_OBJECT_SETTINGS = 5004;

// The settings list is for reading: its edit is read-only and takes no tab stop, so the
// sheet's first focus does not select it all.
const CDlgTemplateReg g_template(
    {IDD_OBJECT_PROPERTY,
     "对象属性",
     WS_CHILD,
     {0, 0, 400, 260},
     {
         {IDC_OBJECT_NAME, UiControl::Static, nullptr, "", WS_CHILD | WS_VISIBLE, {7, 7, 393, 25}},
         {IDC_OBJECT_SETTINGS,
          UiControl::Edit,
          nullptr,
          "",
          WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
          {7, 30, 393, 253}},
     }});

// "key<spaces> = value\r\n" per key; keys are padded to the longest key plus 6, rounded down
// to a multiple of 4.
CString SettingsText(const char *settingPath)
{
    CResAccess setting(settingPath);
    CStringArray keys;
    setting.EnumSub(keys, "*");
    int longest = 0;
    for (const CString &key : keys) longest = std::max(longest, key.GetLength());
    const int width = (longest + 6) / 4 * 4;
    CString text;
    for (const CString &key : keys) {
        text += key + CString(' ', width - key.GetLength()) + " = " + setting[key].GetAsString("") +
                "\r\n";
    }
    return text;
}

class CObjectPropertyPage : public CObjectSettingDlg {
    DECLARE_DYNCREATE(CObjectPropertyPage)

    CObjectPropertyPage() : CObjectSettingDlg(IDD_OBJECT_PROPERTY) {}

    BOOL OnInitDialog() override
    {
        CObjectSettingDlg::OnInitDialog();
        SetDlgItemText(IDC_OBJECT_NAME, m_strObjectName);
        if (auto *edit = dynamic_cast<CEdit *>(GetDlgItem(IDC_OBJECT_SETTINGS))) {
            const CString text = SettingsText(m_strSettingPath);
            edit->SetWindowText(text);
            edit->SetSel(text.GetLength(), text.GetLength());
            edit->SendMessage(EM_SCROLLCARET);
        }
        return TRUE;
    }
};

IMPLEMENT_DYNCREATE(CObjectPropertyPage, CObjectSettingDlg)

const CMxtDialogReg g_registration(RUNTIME_CLASS(CObjectPropertyPage), "Class_Setting_Dlg",
                                   "对象属性", "CClassA");

} // namespace
