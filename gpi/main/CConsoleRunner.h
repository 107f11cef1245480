// Runs the program's dialogs on a terminal, as there is no display: each line of standard
// input acts on the dialog's controls ("click <id>", "pick <id> <item>", "text <id> <text>",
// "show <id>" prints "<id>=<text>", a check box as "<id>=[x] <caption>" or "<id>=[ ]
// <caption>"; "sys <command>" chooses a system menu entry); "quit" or the end of input cancels
// the dialog. Message boxes and the device log ("LOG_DEV", where the card and the dialog say
// why something failed) are printed. Texts are GBK; on a UTF-8 terminal they are printed, and
// typed, in UTF-8.
#pragma once

#include "Kest20/CLogReader.h"
#include "platform/String.h"
#include "platform/ui/ModalRunner.h"

#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>

class CConsoleRunner : public CModalRunner {
public:
    // Whether the terminal's locale (LC_ALL, LC_CTYPE, LANG) names UTF-8.
    static bool IsUtf8Terminal();

    CConsoleRunner(std::istream &in, std::ostream &out, bool utf8Terminal = IsUtf8Terminal());
    ~CConsoleRunner() override;
    CConsoleRunner(const CConsoleRunner &) = delete;
    CConsoleRunner &operator=(const CConsoleRunner &) = delete;

    INT_PTR RunModal(CDialog &dialog) override;
    int RunMessageBox(CWnd *owner, const char *text, const char *caption, UINT type) override;

private:
    void Execute(CDialog &dialog, const std::string &line);
    // One line of GBK text, in the terminal's character set; any thread.
    void Print(const std::string &text);
    int OnDeviceLog(const char *type, const char *text, const char *info);

    std::istream &m_in;
    std::ostream &m_out;
    const bool m_bUtf8;
    std::mutex m_outLock;
    CModalRunner *m_pPrevious;
    std::unique_ptr<CLogReader> m_pDeviceLog;
};
