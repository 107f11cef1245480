#include "gpi/main/CConsoleRunner.h"

#include "platform/Gbk.h"
#include "platform/Process.h"
#include "platform/ui/CButton.h"
#include "platform/ui/CComboBox.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/CEdit.h"
#include "platform/ui/CListBox.h"
#include "platform/ui/CStatic.h"
#include "platform/ui/UiInput.h"

#include <iostream>
#include <sstream>
#include <vector>

namespace {

constexpr const char *kDeviceLog = "LOG_DEV";
constexpr int32_t kExactType = 1;

// Whether a locale name chooses a character set of the GB family, whose bytes the texts are
// already in: one named (GBK, GB2312, GB18030, EUC-CN), or none named for Chinese of China or
// Singapore, where the C library's default is GB2312.
bool NamesGbCharset(std::string value)
{
    for (char &c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string charset = value.substr(0, value.find('@'));
    const size_t dot = charset.find('.');
    if (dot == std::string::npos) return charset == "zh_cn" || charset == "zh_sg";
    const std::string name = charset.substr(dot + 1);
    return name.rfind("gb", 0) == 0 || name == "euc-cn" || name == "euccn";
}

constexpr const char *kCommands = "commands: click <id> | pick <id> <item> | text <id> <text> | "
                                  "show <id> | sys <command> | help | quit";

bool IsCheckBox(CWnd *control)
{
    auto *button = dynamic_cast<CButton *>(control);
    if (!button) return false;
    const uint32_t style = button->GetButtonStyle();
    return style == BS_CHECKBOX || style == BS_AUTOCHECKBOX;
}

bool IsReadOnly(CWnd *control)
{
    return (control->GetStyle() & ES_READONLY) != 0;
}

// The items of a combo box or list box; false for other controls.
bool ItemsOf(CWnd *control, std::vector<CString> &items)
{
    items.clear();
    if (auto *combo = dynamic_cast<CComboBox *>(control)) {
        for (int i = 0; i < combo->GetCount(); ++i) combo->GetLBText(i, items.emplace_back());
        return true;
    }
    if (auto *list = dynamic_cast<CListBox *>(control)) {
        for (int i = 0; i < list->GetCount(); ++i) list->GetText(i, items.emplace_back());
        return true;
    }
    return false;
}

// A list whose text is only ever one of its items.
bool IsChoiceList(CWnd *control)
{
    auto *combo = dynamic_cast<CComboBox *>(control);
    return dynamic_cast<CListBox *>(control) || (combo && !combo->HasEditPart());
}

const char *KindOf(CWnd *control)
{
    if (IsCheckBox(control)) return "check box";
    if (dynamic_cast<CButton *>(control)) return "button";
    if (IsChoiceList(control)) return "list";
    if (dynamic_cast<CComboBox *>(control)) return "combo box";
    if (dynamic_cast<CEdit *>(control)) return "edit";
    if (dynamic_cast<CStatic *>(control)) return "label";
    return control->GetWndClassName();
}

std::string Padded(std::string text, size_t width)
{
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

} // namespace

bool CConsoleRunner::IsUtf8Terminal()
{
    // The first of these that is set decides, as for the C library's own locale.
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        std::string value;
        if (plat::GetEnv(name, &value) && !value.empty()) return !NamesGbCharset(value);
    }
    return true;
}

CConsoleRunner::CConsoleRunner(std::istream &in, std::ostream &out, bool utf8Terminal)
    : m_in(in), m_out(out), m_bUtf8(utf8Terminal), m_pPrevious(AfxSetModalRunner(this)),
      m_pDeviceLog(
          std::make_unique<CLogReader>(&CConsoleRunner::OnDeviceLog, this, kDeviceLog, kExactType))
{
}

CConsoleRunner::~CConsoleRunner()
{
    m_pDeviceLog.reset();
    AfxSetModalRunner(m_pPrevious);
}

void CConsoleRunner::Print(const std::string &text)
{
    const std::string shown = m_bUtf8 ? plat::GbkToUtf8(text) : text;
    std::lock_guard<std::mutex> lk(m_outLock);
    m_out << shown << std::endl;
}

int CConsoleRunner::OnDeviceLog(const char *, const char *text, const char *)
{
    Print(text ? text : "");
    return 1;
}

void CConsoleRunner::PrintControls(CDialog &dialog)
{
    CString caption;
    dialog.GetWindowText(caption);
    Print(static_cast<const char *>(caption));
    for (CWnd *control = dialog.GetWindow(GW_CHILD); control;
         control = control->GetWindow(GW_HWNDNEXT)) {
        const int id = control->GetDlgCtrlID();
        CString text;
        control->GetWindowText(text);
        // Ids right-aligned; labels have none.
        const std::string number = id >= 0 ? std::to_string(id) : "";
        std::string line = std::string(8 - std::min<size_t>(8, number.size()), ' ') + number +
                           "  " + Padded(KindOf(control), 10) + " ";
        if (IsCheckBox(control))
            line += static_cast<CButton *>(control)->GetCheck() == BST_CHECKED ? "[x] " : "[ ] ";
        line += static_cast<const char *>(text);
        std::vector<CString> items;
        if (ItemsOf(control, items) && !items.empty()) {
            line += "  (items 0 to " + std::to_string(items.size() - 1) + ":";
            for (size_t i = 0; i < items.size(); ++i)
                line += std::string(i ? ", " : " ") + static_cast<const char *>(items[i]);
            line += ")";
        }
        if (dynamic_cast<CEdit *>(control) && IsReadOnly(control)) line += "  (read-only)";
        Print(line);
    }
    if (CMenu *menu = dialog.GetSystemMenu(FALSE)) {
        for (int i = 0; i < menu->GetMenuItemCount(); ++i) {
            const UINT command = menu->GetMenuItemID(i);
            CString text;
            if (command == 0 || !menu->GetMenuString(command, text, MF_BYCOMMAND)) continue;
            Print("  " + Padded("sys " + std::to_string(command), 18) + " " +
                  static_cast<const char *>(text));
        }
    }
    Print(kCommands);
}

bool CConsoleRunner::Pick(CDialog &dialog, CWnd *control, int item)
{
    const int id = control->GetDlgCtrlID();
    const std::string name = std::to_string(id);
    std::vector<CString> items;
    if (ItemsOf(control, items)) {
        if (item < 0 || item >= static_cast<int>(items.size())) {
            Print("? " + name + " has no item " + std::to_string(item) +
                  (items.empty() ? std::string(" (it has none)")
                                 : " (items 0 to " + std::to_string(items.size() - 1) + ")"));
            return false;
        }
        ui::Pick(dialog, id, item);
        return true;
    }
    if (IsCheckBox(control)) {
        if (item != 0 && item != 1) {
            Print("? pick " + name + " takes 1 (ticked) or 0 (clear)");
            return false;
        }
        // A click ticks or clears it as a user's would, telling the dialog.
        const bool ticked = static_cast<CButton *>(control)->GetCheck() == BST_CHECKED;
        if (ticked != (item == 1)) ui::Click(dialog, id);
        return true;
    }
    return SetText(dialog, control, std::to_string(item));
}

bool CConsoleRunner::SetText(CDialog &dialog, CWnd *control, const std::string &text)
{
    const int id = control->GetDlgCtrlID();
    const std::string name = std::to_string(id);
    std::vector<CString> items;
    if (IsChoiceList(control) && ItemsOf(control, items)) {
        for (size_t i = 0; i < items.size(); ++i)
            if (text == static_cast<const char *>(items[i]))
                return Pick(dialog, control, static_cast<int>(i));
        Print("? " + name + " has no item \"" + (m_bUtf8 ? plat::GbkToUtf8(text) : text) + "\"");
        return false;
    }
    if (dynamic_cast<CButton *>(control) || dynamic_cast<CStatic *>(control)) {
        Print("? " + name + " is a " + KindOf(control) + ": its text is not typed" +
              (dynamic_cast<CButton *>(control) ? " (click " + name + ")" : std::string()));
        return false;
    }
    if (IsReadOnly(control)) {
        Print("? " + name + " is read-only");
        return false;
    }
    dialog.SetDlgItemText(id, text.c_str());
    return true;
}

INT_PTR CConsoleRunner::RunModal(CDialog &dialog)
{
    PrintControls(dialog);
    std::string line;
    while (!dialog.HasEnded() && std::getline(m_in, line)) {
        if (line == "quit") break;
        Execute(dialog, line);
    }
    if (!dialog.HasEnded()) ui::PressCancel(dialog);
    if (!dialog.HasEnded()) dialog.EndDialog(IDCANCEL);
    return dialog.GetModalResult();
}

int CConsoleRunner::RunMessageBox(CWnd *, const char *text, const char *, UINT)
{
    Print(text ? text : "");
    return IDOK;
}

void CConsoleRunner::Execute(CDialog &dialog, const std::string &line)
{
    std::istringstream words(line);
    std::string command;
    int id = 0;
    if (!(words >> command)) return;
    if (command == "help") {
        PrintControls(dialog);
        return;
    }
    if (command != "click" && command != "pick" && command != "text" && command != "show" &&
        command != "sys") {
        Print("? unknown command \"" + command + "\" (click, pick, text, show, sys, help, quit)");
        return;
    }
    if (!(words >> id)) {
        Print("? " + command + " needs " + (command == "sys" ? "a command" : "a control id"));
        return;
    }
    if (command == "sys") {
        if (id < 0 || !ui::ChooseSystemMenu(dialog, static_cast<UINT>(id)))
            Print("? no system menu command " + std::to_string(id));
        return;
    }
    CWnd *control = dialog.GetDlgItem(id);
    if (!control) {
        Print("? no control " + std::to_string(id));
        return;
    }
    if (command == "click") {
        ui::Click(dialog, id);
    } else if (command == "pick") {
        int item = 0;
        if (!(words >> item)) {
            Print("? pick needs an item number");
            return;
        }
        Pick(dialog, control, item);
    } else if (command == "text") {
        std::string text;
        std::getline(words >> std::ws, text);
        if (m_bUtf8) text = plat::Utf8ToGbk(text);
        SetText(dialog, control, text);
    } else {
        CString text;
        dialog.GetDlgItemText(id, text);
        std::string shown = std::to_string(id) + "=";
        if (IsCheckBox(control))
            shown += static_cast<CButton *>(control)->GetCheck() == BST_CHECKED ? "[x] " : "[ ] ";
        Print(shown + static_cast<const char *>(text));
    }
}
