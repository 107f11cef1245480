#include "gpi/main/CConsoleRunner.h"

#include "platform/Gbk.h"
#include "platform/Process.h"
#include "platform/ui/CButton.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/UiInput.h"

#include <iostream>
#include <sstream>

namespace {

constexpr const char *kDeviceLog = "LOG_DEV";
constexpr int32_t kExactType = 1;

bool NamesUtf8(std::string value)
{
    for (char &c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return value.find("utf-8") != std::string::npos || value.find("utf8") != std::string::npos;
}

bool IsCheckBox(CWnd *control)
{
    auto *button = dynamic_cast<CButton *>(control);
    if (!button) return false;
    const uint32_t style = button->GetButtonStyle();
    return style == BS_CHECKBOX || style == BS_AUTOCHECKBOX;
}

} // namespace

bool CConsoleRunner::IsUtf8Terminal()
{
    // The first of these that is set decides, as for the C library's own locale.
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        std::string value;
        if (plat::GetEnv(name, &value) && !value.empty()) return NamesUtf8(value);
    }
    return false;
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

INT_PTR CConsoleRunner::RunModal(CDialog &dialog)
{
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
    if (command != "click" && command != "pick" && command != "text" && command != "show" &&
        command != "sys") {
        Print("? unknown command \"" + command + "\" (click, pick, text, show, sys, quit)");
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
        ui::Pick(dialog, id, item);
    } else if (command == "text") {
        std::string text;
        std::getline(words >> std::ws, text);
        if (m_bUtf8) text = plat::Utf8ToGbk(text);
        dialog.SetDlgItemText(id, text.c_str());
    } else {
        CString text;
        dialog.GetDlgItemText(id, text);
        std::string shown = std::to_string(id) + "=";
        if (IsCheckBox(control))
            shown += static_cast<CButton *>(control)->GetCheck() == BST_CHECKED ? "[x] " : "[ ] ";
        Print(shown + static_cast<const char *>(text));
    }
}
