#include "gpi/main/CConsoleRunner.h"

#include "platform/ui/CDialog.h"
#include "platform/ui/UiInput.h"

#include <iostream>
#include <sstream>
#include <string>

CConsoleRunner::CConsoleRunner(std::istream &in, std::ostream &out)
    : m_in(in), m_out(out), m_pPrevious(AfxSetModalRunner(this))
{
}

CConsoleRunner::~CConsoleRunner()
{
    AfxSetModalRunner(m_pPrevious);
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
    m_out << (text ? text : "") << std::endl;
    return IDOK;
}

void CConsoleRunner::Execute(CDialog &dialog, const std::string &line)
{
    std::istringstream words(line);
    std::string command;
    int id = 0;
    const bool read = static_cast<bool>(words >> command >> id);
    if (read && command == "sys") {
        if (id < 0 || !ui::ChooseSystemMenu(dialog, static_cast<UINT>(id)))
            m_out << "?" << std::endl;
        return;
    }
    if (!read || !dialog.GetDlgItem(id)) {
        m_out << "?" << std::endl;
        return;
    }
    if (command == "click") {
        ui::Click(dialog, id);
    } else if (command == "pick") {
        int item = 0;
        words >> item;
        ui::Pick(dialog, id, item);
    } else if (command == "text") {
        std::string text;
        std::getline(words >> std::ws, text);
        dialog.SetDlgItemText(id, text.c_str());
    } else if (command == "show") {
        CString text;
        dialog.GetDlgItemText(id, text);
        m_out << id << "=" << static_cast<const char *>(text) << std::endl;
    } else {
        m_out << "?" << std::endl;
    }
}
