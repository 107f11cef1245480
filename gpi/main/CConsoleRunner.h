// Runs the program's dialogs on a terminal, as there is no display: each line of standard
// input acts on the dialog's controls ("click <id>", "pick <id> <item>", "text <id> <text>",
// "show <id>" prints "<id>=<text>", "sys <command>" chooses a system menu entry); "quit" or the end
// of input cancels the dialog. Message boxes are printed and answered OK.
#pragma once

#include "platform/ui/ModalRunner.h"

#include <iosfwd>

class CConsoleRunner : public CModalRunner {
public:
    CConsoleRunner(std::istream &in, std::ostream &out);
    ~CConsoleRunner() override;
    CConsoleRunner(const CConsoleRunner &) = delete;
    CConsoleRunner &operator=(const CConsoleRunner &) = delete;

    INT_PTR RunModal(CDialog &dialog) override;
    int RunMessageBox(CWnd *owner, const char *text, const char *caption, UINT type) override;

private:
    void Execute(CDialog &dialog, const std::string &line);

    std::istream &m_in;
    std::ostream &m_out;
    CModalRunner *m_pPrevious;
};
