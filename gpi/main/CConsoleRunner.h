// Runs the program's dialogs on a terminal, as there is no display. Each dialog starts by
// printing its controls with their ids, kinds and texts, its system menu commands and the
// commands below ("help" prints them again). Each line of standard input acts on the dialog's
// controls: "click <id>"; "pick <id> <item>" chooses an item of a list by its number (from 0),
// ticks (1) or clears (0) a check box, or puts the number in an edit; "text <id> <text>" sets
// an edit's text or chooses the list item of that text; "show <id>" prints "<id>=<text>", a
// check box as "<id>=[x] <caption>" or "<id>=[ ] <caption>"; "sys <command>" chooses a system
// menu entry; "quit" or the end of input cancels the dialog. What a control cannot take is
// refused with a line starting "?". Message boxes and the device log ("LOG_DEV", where the
// card and the dialog say why something failed) are printed. Texts are GBK; they are printed,
// and typed, in UTF-8 unless the locale names a GB character set (zh_CN.GBK, zh_CN.GB18030,
// ...), whose terminal takes them as they are. The C locale (or none set, as on a fresh
// machine) gets UTF-8, which the terminals that show Chinese at all take.
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
    // Whether the terminal takes UTF-8: its locale (LC_ALL, LC_CTYPE, LANG) names no GB
    // character set.
    static bool IsUtf8Terminal();

    CConsoleRunner(std::istream &in, std::ostream &out, bool utf8Terminal = IsUtf8Terminal());
    ~CConsoleRunner() override;
    CConsoleRunner(const CConsoleRunner &) = delete;
    CConsoleRunner &operator=(const CConsoleRunner &) = delete;

    INT_PTR RunModal(CDialog &dialog) override;
    int RunMessageBox(CWnd *owner, const char *text, const char *caption, UINT type) override;

private:
    void Execute(CDialog &dialog, const std::string &line);
    void PrintControls(CDialog &dialog);
    // Chooses the item (by number, or by text when `text` is given) of a list control, or sets
    // the check of a check box or the text of an edit, as a user would: false, with the reason
    // printed, when the control cannot take it.
    bool Pick(CDialog &dialog, CWnd *control, int item);
    bool SetText(CDialog &dialog, CWnd *control, const std::string &text);
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
