// The telnet administration shell's connection: a TCP session whose input is decoded as a
// telnet client's (options go to OnTelnetCommand) and read as echoed lines, with a fixed
// log-on, a prompt and a registry of named commands. A host-side class derived from it calls
// __RegisterKestFunc (and registers commands of its own) before the session runs.
//
// The shell echoes what is typed, so the first line read offers the client to echo (WILL ECHO,
// WILL SUPPRESS-GO-AHEAD) and the client then echoes nothing itself; a client that refuses
// (DONT ECHO) echoes for itself and the shell stops echoing.
#pragma once

#include "KestLib20/CResAccess.h"
#include "devext/Devext20Api.h"
#include "devext/device/CTcpSession.h"
#include "devext/device/TelnetDecoder.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class iRtc;
class LogOnThrottle;

class DEVEXT20_API CKestTelnetShell : public CTcpSession {
public:
    // Room for an incomplete telnet command; when full with nothing decodable, what it holds is
    // dropped.
    static constexpr int kRecvBufferSize = 4096;
    // Bytes received at a time while no character can be decoded.
    static constexpr int kRecvStep = 16;
    // Longest command line; a longer one is refused whole.
    static constexpr int kCommandLineMax = 256;
    // ReadLine's result for a line longer than its maximum.
    static constexpr int kLineTooLong = -1;

    // A command: `function` run on `object` with the shell. Called only when both are set.
    struct tagOnTelnetNotify {
        using Function = int (*)(void *object, CKestTelnetShell *shell);

        void *pObject = nullptr;
        Function pfn = nullptr;

        // The result of the call; 0 when object or function is missing.
        int Call(CKestTelnetShell *shell) const { return pObject && pfn ? pfn(pObject, shell) : 0; }
        bool IsComplete() const { return pObject && pfn; }

        // A member function `M` of class T, taking the shell, as a notify on `object`.
        template <auto M, class T> static tagOnTelnetNotify Of(T *object)
        {
            return {object, [](void *o, CKestTelnetShell *shell) {
                        return (static_cast<T *>(o)->*M)(shell);
                    }};
        }
    };

    explicit CKestTelnetShell(SOCKET s);
    ~CKestTelnetShell() override;

    // Runs the shell notify (by default the log-on and command loop): its result, 0 unset.
    int DoShell() override;
    // A client's option command (WILL, WONT, DO, DONT with the option; NOP, BRK, IP, AO, AYT
    // or EL with 0). Does nothing here and returns 0: the shell never negotiates.
    virtual int OnTelnetCommand(int command, int option);

    // The next character byte typed (IAC EC as 247); 0 when the connection has ended.
    int ReadChar();
    // Reads and echoes one line of at most `max` bytes into `buffer` (`max` + 1 bytes),
    // echoing `mask` in place of each byte when it is not 0. GBK text is taken as typed; BS,
    // DEL and IAC EC erase the last character. What follows a line end stays for the next
    // line. 1 at CR; kLineTooLong (and an empty buffer) at the CR of a line that ran past
    // `max`: bytes past it are neither stored nor echoed, and the whole line is refused rather
    // than cut into pieces; 0 (socket closed) when the connection ends or an echo fails.
    int ReadLine(char *buffer, int max, char mask);

    // Failed log-ons are paced by the process's throttle unless the shell is given one of its
    // own before it runs.
    void SetLogOnThrottle(std::shared_ptr<LogOnThrottle> throttle);

    void SetPrompt(const char *prompt);
    CString GetPrompt();
    void SetLastError(const char *text);
    CString GetLastError();

    // The word at `index` of the command line being run, or the default past its end.
    CString GetParamAsString(int index, const char *def);
    int GetParamAsInteger(int index, int def);
    double GetParamAsFloat(int index, double def);

    // Registers `name` (trimmed, upper case) as {object, notify's function}: an existing entry
    // takes them as given (a null object disables it); a new one is added only when both are
    // set.
    void RegisterFunc(CString name, tagOnTelnetNotify notify, void *object);
    // The notify of the entry named `name` (upper-cased, compared exactly): 1, else 0.
    int GetFunction(CString name, tagOnTelnetNotify &notify);
    // Splits the line into words and runs the command of word 0 (the default command when
    // none is registered under it): the command's result; 0 when not connected.
    int ExecFunction(const char *line);

protected:
    int __DefOnLogOn(CKestTelnetShell *shell);
    int __DefOnDoShell(CKestTelnetShell *shell);
    // Sets the resource address to "/etc/tvx", registers QUIT, HELP, LOG, RES, CLASS and
    // AUTOTASK on this shell and makes HELP the default command.
    void __RegisterKestFunc();
    // The items left-aligned in `columns` columns of 79 / `columns` characters, 20 rows a
    // page with a key awaited between pages.
    void __PrintList(const CStringArray &items, int columns);
    // Selects the class named (".." its father; unknown names the root class): 1, or 0 and
    // nothing changed for an empty name.
    int SetCurrentClass(const char *name);

    int __DefOnCmdQuit(CKestTelnetShell *shell);
    int __DefOnCmdHelp(CKestTelnetShell *shell);
    int __DefOnCmdLog(CKestTelnetShell *shell);
    int __DefOnCmdRes(CKestTelnetShell *shell);
    int __DefOnCmdClass(CKestTelnetShell *shell);
    int __DefOnCmdAutoTask(CKestTelnetShell *shell);
    // A log message during LOG VIEW, on the log thread.
    int __OnLogReader(const char *type, const char *text, const char *info);

    iRtc *GetCurrentClass() const { return m_pCurrentClass; }
    const CResAccess &GetResAccess() const { return m_res; }

private:
    struct Command {
        tagOnTelnetNotify notify;
        CString name;
    };

    // Who echoes: the shell, until the client refuses its offer.
    enum class EchoState { NotOffered, Offered, On, Off };

    // Sends the bytes when the shell echoes: false when that failed.
    bool Echo(const char *bytes, int length);
    void OfferEcho();
    // The shell's side of the client's ECHO commands.
    void AnswerEcho(int command, int option);
    // ReadLine, with a message for a line that is too long.
    int ReadField(char *buffer, int max, char mask);
    // Sends IAC, the command and the option.
    void SendTelnetCommand(int command, int option);
    // ReadChar, telling an erase command (IAC EC) from a typed byte of the same value.
    int ReadInput(bool &erase);
    // The upper-cased word 1 of the command line.
    CString SubCommand();
    void ListObjects(bool all);

    telnet::CInputDecoder m_Input{kRecvBufferSize};
    std::deque<telnet::Item> m_Typed; // decoded, not yet read
    std::vector<Command> m_commands;
    CStringArray m_params;
    CString m_strPrompt = "\r\n(:>";
    CString m_strLastError;
    std::mutex m_lock; // prompt, last error and command registry
    tagOnTelnetNotify m_onLogOn;
    tagOnTelnetNotify m_onDoShell;
    tagOnTelnetNotify m_onDefault;
    CResAccess m_res;
    iRtc *m_pCurrentClass;
    EchoState m_echo = EchoState::NotOffered; // the session's thread only
    std::shared_ptr<LogOnThrottle> m_pThrottle;
};
