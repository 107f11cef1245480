// The telnet shell's session: log-on, the command loop, the command registry, command line
// splitting and list printing.
#include "devext/device/CKestTelnetShell.h"

#include "Kest20/ClassA.h"
#include "Kest20/KestLog.h"
#include "KestLib20/StringConvert.h"
#include "devext/device/NetAddr.h"
#include "devext/services/LogOnThrottle.h"
#include "platform/CTime.h"

#include <cstdlib>

namespace {

constexpr int kLogOnFieldMax = 32;
constexpr const char *kUserName = "KEST20";
constexpr const char *kPassword = "mrvk73";
constexpr int kListWidth = 79;
constexpr int kListRows = 20;
// Failed log-ons are logged under this type.
constexpr const char *kLogLogOn = "LOG_TELNET";

// The words of a command line: blanks outside double quotes break words; quotes stay in the
// word, except one pair around a whole word.
void SplitCommandLine(const char *line, CStringArray &words)
{
    words.RemoveAll();
    CString word;
    bool quoted = false;
    auto flush = [&] {
        if (word.IsEmpty()) return;
        const int n = word.GetLength();
        if (n >= 2 && word[0] == '"' && word[n - 1] == '"') word = word.Mid(1, n - 2);
        words.Add(word);
        word.Empty();
    };
    for (const char *p = line ? line : ""; *p; ++p) {
        if (*p == '"') quoted = !quoted;
        if (*p == ' ' && !quoted)
            flush();
        else
            word += *p;
    }
    flush();
}

} // namespace

CKestTelnetShell::CKestTelnetShell(SOCKET s)
    : CTcpSession(s), m_onLogOn(tagOnTelnetNotify::Of<&CKestTelnetShell::__DefOnLogOn>(this)),
      m_onDoShell(tagOnTelnetNotify::Of<&CKestTelnetShell::__DefOnDoShell>(this)),
      m_pCurrentClass(glGetKestRootRtc()), m_pThrottle(LogOnThrottle::Process())
{
}

void CKestTelnetShell::SetLogOnThrottle(std::shared_ptr<LogOnThrottle> throttle)
{
    m_pThrottle = throttle ? std::move(throttle) : LogOnThrottle::Process();
}

int CKestTelnetShell::DoShell()
{
    return m_onDoShell.Call(this);
}

void CKestTelnetShell::SetPrompt(const char *prompt)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_strPrompt = prompt ? prompt : "";
}

CString CKestTelnetShell::GetPrompt()
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_strPrompt;
}

void CKestTelnetShell::SetLastError(const char *text)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_strLastError = text ? text : "";
}

CString CKestTelnetShell::GetLastError()
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_strLastError;
}

CString CKestTelnetShell::GetParamAsString(int index, const char *def)
{
    if (index >= 0 && index < m_params.GetSize()) return m_params[index];
    return def ? def : "";
}

int CKestTelnetShell::GetParamAsInteger(int index, int def)
{
    if (index >= 0 && index < m_params.GetSize()) return std::atoi(m_params[index]);
    return def;
}

double CKestTelnetShell::GetParamAsFloat(int index, double def)
{
    if (index >= 0 && index < m_params.GetSize()) return StrToFloat(m_params[index], 0.0);
    return def;
}

void CKestTelnetShell::RegisterFunc(CString name, tagOnTelnetNotify notify, void *object)
{
    name.Trim();
    name.MakeUpper();
    notify.pObject = object;
    std::lock_guard<std::mutex> lk(m_lock);
    for (Command &command : m_commands) {
        if (command.name == name) {
            command.notify = notify;
            return;
        }
    }
    if (notify.IsComplete()) m_commands.push_back({notify, name});
}

int CKestTelnetShell::GetFunction(CString name, tagOnTelnetNotify &notify)
{
    name.MakeUpper();
    std::lock_guard<std::mutex> lk(m_lock);
    for (const Command &command : m_commands) {
        if (command.name == name) {
            notify = command.notify;
            return 1;
        }
    }
    return 0;
}

int CKestTelnetShell::ExecFunction(const char *line)
{
    if (!IsConnected()) return 0;
    SplitCommandLine(line, m_params);
    tagOnTelnetNotify notify;
    if (GetFunction(GetParamAsString(0, ""), notify)) return notify.Call(this);
    std::unique_lock<std::mutex> lk(m_lock);
    const tagOnTelnetNotify fallback = m_onDefault;
    lk.unlock();
    return fallback.Call(this);
}

int CKestTelnetShell::__DefOnLogOn(CKestTelnetShell *)
{
    uint32_t peer = 0;
    uint16_t port = 0;
    Socket().GetPeerName(peer, port);
    // An address that failed before waits its turn before it may try again.
    LogOnThrottle &throttle = *m_pThrottle;
    if (const uint64_t next = throttle.NextTry(peer); next && !Socket().Pause(next)) return 0;

    char user[kLogOnFieldMax + 1];
    char password[kLogOnFieldMax + 1];
    // Before anything is shown, so that the client knows who echoes before it is typed to.
    OfferEcho();
    SendFormat("Welcome to Kest(v2.0)\r\n\r\n");
    SendFormat("UserName:");
    const int named = ReadLine(user, kLogOnFieldMax, 0);
    if (!named) return 0;
    SendFormat("\r\nPassword:");
    const int read = ReadLine(password, kLogOnFieldMax, '.');
    if (!read) return 0;
    CString name(user);
    name.Trim();
    name.MakeUpper();
    // A field longer than its maximum is no match, whatever its first bytes.
    if (named == 1 && read == 1 && name == kUserName && CString(password) == kPassword) {
        throttle.Succeeded(peer);
        return 1;
    }
    const uint64_t held = throttle.Failed(peer);
    char from[INET_ADDRSTRLEN];
    IpText(peer, from);
    CString text;
    text.Format("Telnet log-on failed: user \"%s\" from %s at %s", user, from,
                static_cast<const char *>(CTime::GetCurrentTime().Format("%Y-%m-%d %H:%M:%S")));
    glReportLog(kLogLogOn, text, "");
    // The failed session itself is held for its delay before it closes.
    if (held) Socket().Pause(held);
    return 0;
}

int CKestTelnetShell::ReadField(char *buffer, int max, char mask)
{
    const int read = ReadLine(buffer, max, mask);
    if (read == kLineTooLong) SendFormat("\r\nLine too long: at most %d characters\r\n", max);
    return read;
}

int CKestTelnetShell::__DefOnDoShell(CKestTelnetShell *)
{
    if (!IsConnected()) return 0;
    if (!m_onLogOn.Call(this)) {
        CloseSocket();
        return 0;
    }
    char line[kCommandLineMax + 1];
    while (IsConnected()) {
        // The prompt is sent as text: a '%' in it is no format.
        SendFormat("%s", GetPrompt().GetString());
        const int read = ReadField(line, kCommandLineMax, 0);
        if (!read) break;
        if (read == 1) ExecFunction(line);
    }
    CloseSocket();
    return 1;
}

void CKestTelnetShell::__RegisterKestFunc()
{
    m_res.SetResAddr("/etc/tvx");
    RegisterFunc("QUIT", tagOnTelnetNotify::Of<&CKestTelnetShell::__DefOnCmdQuit>(this), this);
    RegisterFunc("HELP", tagOnTelnetNotify::Of<&CKestTelnetShell::__DefOnCmdHelp>(this), this);
    RegisterFunc("LOG", tagOnTelnetNotify::Of<&CKestTelnetShell::__DefOnCmdLog>(this), this);
    RegisterFunc("RES", tagOnTelnetNotify::Of<&CKestTelnetShell::__DefOnCmdRes>(this), this);
    RegisterFunc("CLASS", tagOnTelnetNotify::Of<&CKestTelnetShell::__DefOnCmdClass>(this), this);
    RegisterFunc("AUTOTASK", tagOnTelnetNotify::Of<&CKestTelnetShell::__DefOnCmdAutoTask>(this),
                 this);
    std::lock_guard<std::mutex> lk(m_lock);
    m_onDefault = tagOnTelnetNotify::Of<&CKestTelnetShell::__DefOnCmdHelp>(this);
}

void CKestTelnetShell::__PrintList(const CStringArray &items, int columns)
{
    if (columns < 1) columns = 1;
    const int width = kListWidth / columns;
    CString format;
    format.Format("%c-%ds", '%', width);
    for (int i = 0; i < items.GetSize(); ++i) {
        if (i % columns == 0) SendFormat("\r\n");
        SendFormat(format, items[i].GetString());
        if ((i + 1) % (columns * kListRows) == 0) {
            SendFormat("\r\n--------Press any key to continue\r\n");
            if (!ReadChar()) return;
        }
    }
}
