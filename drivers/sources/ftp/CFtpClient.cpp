#include "drivers/sources/ftp/CFtpClient.h"

#include "drivers/sources/ftp/FtpConnState.h"
#include "platform/Process.h"
#include "platform/TimeSource.h"

#include <netinet/in.h>

#include <cstdarg>
#include <cstring>
#include <deque>

namespace {

constexpr uint32_t kGreetingMs = 100; // the 220 greeting arrives meanwhile
constexpr uint32_t kQuitMs = 100;
constexpr int kListenBacklog = 5;
// A copy budget gone below zero reads above this as an unsigned number.
constexpr uint32_t kBudgetSpent = 0x0FFFFFFF;

// Telnet's Interrupt Process, and its Synch: IAC sent as urgent data, then Data Mark. A
// server busy with a transfer may read its control connection only on the urgent signal.
constexpr char kTelnetIp[] = {'\xFF', '\xF4'};
constexpr char kTelnetSynch[] = {'\xFF'};
constexpr char kAbortLine[] = "\xF2"
                              "ABOR\r\n";
constexpr int kNoopDone = 200;

// The command as the hooks show it: never a password.
CString Shown(const CString &command)
{
    return command.Left(5).CompareNoCase("PASS ") == 0 ? CString("PASS ****") : command;
}

uint32_t ReaderProc(const std::shared_ptr<tagFtpConnState> &state)
{
    state->replyEvent.Reset();
    state->hasEvent = true;
    CString line;
    while (state->control.IsOpen()) {
        if (state->control.ReadLine(line) < 0) break;
        FtpReplyParser::Outcome outcome;
        {
            std::lock_guard<CDataLock> lk(state->lock);
            outcome = state->replies.Feed(line);
        }
        if (outcome.received) state->CallHook(&tagFtpConnState::received, outcome.receivedText);
        if (outcome.discarded) state->CallHook(&tagFtpConnState::discarded, outcome.discardedText);
        if (outcome.completed) state->replyEvent.Set();
    }
    {
        std::lock_guard<CDataLock> lk(state->lock);
        state->replies.AddLost();
    }
    // A command waiting now gets the lost connection at once.
    state->replyEvent.Set();
    return 0;
}

CString JoinPath(const CString &dir, const CString &name)
{
    if (dir.IsEmpty() || dir[dir.GetLength() - 1] == '/') return dir + name;
    return dir + "/" + name;
}

} // namespace

// The command lock of one client for one operation: taken with the bound, given back exactly
// once, and only when this holder took it.
class CFtpClient::CommandLock {
public:
    explicit CommandLock(tagFtpConnState &state) : m_state(state) {}
    ~CommandLock() { Give(); }
    CommandLock(const CommandLock &) = delete;
    CommandLock &operator=(const CommandLock &) = delete;

    bool Take()
    {
        if (m_held) return true;
        if (m_state.commandLock.Wait(kLockWaitMs) != plat::WAIT_OBJECT_0) return false;
        m_held = true;
        m_state.lockHeld = 1;
        return true;
    }
    void Give()
    {
        if (!m_held) return;
        m_held = false;
        m_state.lockHeld = 0;
        m_state.commandLock.Set();
    }

private:
    tagFtpConnState &m_state;
    bool m_held = false;
};

CFtpClient::CFtpClient() : m_pState(std::make_shared<tagFtpConnState>())
{
    m_pState->defaultTimeOut = kDefaultTimeOutMs;
}

CFtpClient::~CFtpClient()
{
    Close();
    SetHooks({}, {}, {});
    std::lock_guard<std::mutex> connecting(m_pState->connectLock);
    StopReader();
    std::lock_guard<CDataLock> lk(m_pState->lock);
    m_pState->replies.Clear();
}

void CFtpClient::SetDefaultTimeOut(uint32_t ms)
{
    m_pState->defaultTimeOut = ms ? ms : kDefaultTimeOutMs;
}

void CFtpClient::SetHooks(TextHook received, TextHook discarded, TextHook sent)
{
    std::lock_guard<std::mutex> lk(m_pState->hookLock);
    m_pState->received = std::move(received);
    m_pState->discarded = std::move(discarded);
    m_pState->sent = std::move(sent);
}

void CFtpClient::StartReader()
{
    if (m_pState->reader.IsRunning()) return;
    m_pState->reader.Close();
    m_pState->reader = plat::Thread::Start([state = m_pState] { return ReaderProc(state); });
}

void CFtpClient::StopReader()
{
    m_pState->reader.StopWithin(kReaderStopMs, 0);
    m_pState->reader.Close();
}

int CFtpClient::Login()
{
    return LogOn(true);
}

int CFtpClient::LogOn(bool own)
{
    tagFtpConnState &state = *m_pState;
    // One log-on at a time: a second caller waits and finds the first one's connection.
    std::lock_guard<std::mutex> connecting(state.connectLock);
    if (state.control.IsOpen()) return 1;
    // A reader of an earlier connection is leaving: let it finish before a new one starts,
    // so that its lost-connection reply cannot answer the new log-on.
    StopReader();
    state.control.Create(true);
    const uint16_t port = static_cast<uint16_t>(this->port < 1 ? 21 : this->port);
    if (state.control.Connect(host, port) != 0) {
        state.control.Close();
        return 0;
    }
    {
        std::lock_guard<CDataLock> lk(state.lock);
        state.replies.Clear();
    }
    state.workDir.Reset();
    StartReader();
    plat::Sleep(kGreetingMs);
    const CString name = "USER " + user;
    const int code = own ? SendCommand(name, nullptr, 0, true) : SendLocked(name, nullptr, 0);
    if (Succeeded(code, ReplyClass::kDone) || RunText(own, ReplyClass::kDone, "PASS " + password))
        return 1;
    state.control.Close();
    StopReader();
    return 0;
}

int CFtpClient::Close()
{
    tagFtpConnState &state = *m_pState;
    if (state.hasEvent) state.replyEvent.Set();
    state.lockHeld = 0;
    if (!state.control.IsOpen()) return 1;
    state.CallHook(&tagFtpConnState::sent, "QUIT");
    state.control.Send("QUIT\r\n", 6);
    state.control.Close();
    plat::Sleep(kQuitMs);
    // A log-on in progress fails at once on the closed socket and is waited for.
    std::lock_guard<std::mutex> connecting(state.connectLock);
    StopReader();
    return 1;
}

int CFtpClient::IsConnected() const
{
    return m_pState->control.IsOpen() ? 1 : 0;
}

int CFtpClient::IsBusy() const
{
    return m_pState->lockHeld.load();
}

int CFtpClient::SendCommand(const char *command, CString *reply, uint32_t timeOutMs, bool takeLock)
{
    CommandLock lock(*m_pState);
    if (takeLock && !lock.Take()) {
        plat::SetLastError(0);
        return 0;
    }
    return SendLocked(command, reply, timeOutMs);
}

int CFtpClient::SendLocked(const char *command, CString *reply, uint32_t timeOutMs)
{
    tagFtpConnState &state = *m_pState;
    int code = 0;
    if (state.control.IsOpen()) {
        // Only a new command throws unread replies away: a final reply collected by a null
        // command may have come already.
        if (command) Post(command);
        code = WaitReply(reply, timeOutMs);
    }
    plat::SetLastError(static_cast<uint32_t>(code));
    return code;
}

void CFtpClient::Post(const char *command)
{
    tagFtpConnState &state = *m_pState;
    if (state.hasEvent) state.replyEvent.Reset();
    std::vector<CString> dropped;
    {
        std::lock_guard<CDataLock> lk(state.lock);
        dropped = state.replies.Clear();
    }
    for (const CString &text : dropped) state.CallHook(&tagFtpConnState::discarded, text);
    const CString text(command);
    state.CallHook(&tagFtpConnState::sent, Shown(text));
    const CString line = text + "\r\n";
    state.control.Send(line.GetString(), line.GetLength());
}

int CFtpClient::WaitReply(CString *reply, uint32_t timeOutMs)
{
    return WaitReplyOr(reply, timeOutMs, nullptr);
}

int CFtpClient::WaitReplyOr(CString *reply, uint32_t timeOutMs, const plat::Event *cancel)
{
    tagFtpConnState &state = *m_pState;
    const uint32_t wait = timeOutMs ? timeOutMs : state.defaultTimeOut.load();
    for (;;) {
        tagFtpReply taken;
        bool got = false;
        {
            std::lock_guard<CDataLock> lk(state.lock);
            got = state.replies.Take(taken);
        }
        if (got && taken.code != 0) {
            if (reply) *reply = taken.text;
            return taken.code;
        }
        if (!state.hasEvent) return 0;
        const uint32_t woken = cancel ? plat::WaitForAny({&state.replyEvent, cancel}, wait)
                                      : state.replyEvent.Wait(wait);
        if (woken != plat::WAIT_OBJECT_0) return 0;
    }
}

int CFtpClient::RunText(bool own, ReplyClass ok, const CString &command, CString *reply)
{
    const int code = own ? SendCommand(command, reply, 0, true) : SendLocked(command, reply, 0);
    return Succeeded(code, ok) ? 1 : 0;
}

int CFtpClient::Run(bool own, ReplyClass ok, const char *format, ...)
{
    CString command;
    va_list args;
    va_start(args, format);
    command.FormatV(format, args);
    va_end(args);
    return RunText(own, ok, command);
}

// RFC 959 lets a server answer with any reply of the class: CDUP with 200 or 250, PASS with
// 230 or 202, a transfer's start with 125 or 150.
int CFtpClient::User(const char *name)
{
    return Run(true, ReplyClass::kMore, "USER %s", name);
}
int CFtpClient::Pass(const char *password)
{
    return Run(true, ReplyClass::kDone, "PASS %s", password);
}
int CFtpClient::Cwd(const char *dir)
{
    return ChangeDir(true, dir);
}
int CFtpClient::Cdup()
{
    if (!Run(true, ReplyClass::kDone, "CDUP")) return 0;
    m_pState->workDir.Change("..");
    return 1;
}
int CFtpClient::Mkd(const char *dir)
{
    return Run(true, ReplyClass::kDone, "MKD %s", dir);
}
int CFtpClient::Rmd(const char *dir)
{
    return Run(true, ReplyClass::kDone, "RMD %s", dir);
}
int CFtpClient::Dele(const char *file)
{
    return Run(true, ReplyClass::kDone, "DELE %s", file);
}
int CFtpClient::Rnfr(const char *name)
{
    return Run(true, ReplyClass::kMore, "RNFR %s", name);
}
int CFtpClient::Rnto(const char *name)
{
    return Run(true, ReplyClass::kDone, "RNTO %s", name);
}
int CFtpClient::Type(char type)
{
    return Run(true, ReplyClass::kDone, "TYPE %c", type);
}
int CFtpClient::Rest(int32_t offset)
{
    return Run(true, ReplyClass::kMore, "REST %d", offset);
}
int CFtpClient::Noop()
{
    return Run(true, ReplyClass::kDone, "NOOP");
}
int CFtpClient::Retr(const char *file)
{
    return Run(false, ReplyClass::kStarted, "RETR %s", file);
}
int CFtpClient::Stor(const char *file)
{
    return Run(false, ReplyClass::kStarted, "STOR %s", file);
}

int CFtpClient::ChangeDir(bool own, const CString &dir)
{
    if (!RunText(own, ReplyClass::kDone, "CWD " + dir)) return 0;
    m_pState->workDir.Change(dir);
    return 1;
}

int CFtpClient::Rename(const char *from, const char *to)
{
    return Rnfr(from) && Rnto(to) ? 1 : 0;
}

int CFtpClient::Pwd(CString &dir)
{
    CString reply;
    if (!RunText(true, ReplyClass::kDone, "PWD", &reply)) return 0;
    const int first = reply.Find('"');
    if (first < 0) return 0;
    const int second = reply.Find('"', first + 1);
    dir = second < 0 ? reply.Mid(first + 1) : reply.Mid(first + 1, second - first - 1);
    return 1;
}

int CFtpClient::Pasv(tagFtpHostPort &hostPort)
{
    CString reply;
    if (!RunText(false, ReplyClass::kDone, "PASV", &reply)) return 0;
    return ParsePasvReply(reply, hostPort) ? 1 : 0;
}

int CFtpClient::Port(const tagFtpHostPort &hp)
{
    return Run(false, ReplyClass::kDone, "PORT %d,%d,%d,%d,%d,%d", hp.h[0], hp.h[1], hp.h[2],
               hp.h[3], hp.port / 256, hp.port % 256);
}

int CFtpClient::List(const char *path, CStringArray &lines, bool namesOnly)
{
    tagFtpConnState &state = *m_pState;
    const bool hasPath = path && *path;
    Type('A');
    Rest(0);
    lines.RemoveAll();

    const auto port = std::make_shared<CFtpDataPort>();
    if (port->Listener().Bind(INADDR_ANY, 0) != 0 || port->Listener().Listen(kListenBacklog) != 0)
        return 0;
    uint32_t ip = 0, listenIp = 0;
    tagFtpHostPort offer;
    if (state.control.GetSockName(ip, offer.port) != 0 ||
        port->Listener().GetSockName(listenIp, offer.port) != 0)
        return 0;
    std::memcpy(offer.h, &ip, sizeof offer.h); // network order: as written

    CommandLock lock(state);
    if (!lock.Take() || !Port(offer)) return 0;
    CString command = namesOnly ? "NLST" : "LIST";
    if (hasPath) command += CString(" ") + path;
    if (!RunText(false, ReplyClass::kStarted, command)) return 0;

    // The server may never connect or stop sending: the guard closes the port after a
    // silence of the bound, which ends the accept or the read.
    FtpIdleGuard idle(port, state.defaultTimeOut);
    uint32_t peerIp = 0;
    uint16_t peerPort = 0;
    const SOCKET s = port->Listener().Accept(peerIp, peerPort);
    if (s == INVALID_SOCKET) {
        // The listing's final reply is still to come: it must not answer a later command.
        SendAbort();
        Resync();
        return 0;
    }
    CTcpSocket *data = port->Adopt(s);
    CString line;
    while (data->ReadLine(line) >= 0) {
        lines.Add(line);
        idle.Kick();
    }
    port->Close();
    if (idle.Expired()) {
        SendAbort();
        Resync();
        return 0;
    }
    return Succeeded(SendLocked(nullptr, nullptr, 0), ReplyClass::kDone) ? 1 : 0;
}

int CFtpClient::ListDir(const char *path, CArray<tagFtpEntry> &entries)
{
    entries.RemoveAll();
    CStringArray lines;
    if (!List(path, lines, false)) return 0;
    for (int i = 0; i < lines.GetSize(); ++i) {
        tagFtpEntry entry;
        if (!ParseListLine(lines[i], entry) || entry.name == "." || entry.name == "..") continue;
        entries.Add(entry);
    }
    return 1;
}

int CFtpClient::ListSubDirs(const char *path, CArray<tagFtpEntry> &dirs)
{
    dirs.RemoveAll();
    CArray<tagFtpEntry> entries;
    if (!ListDir(path, entries)) return 0;
    for (int i = 0; i < entries.GetSize(); ++i)
        if (entries[i].type == tagFtpEntry::kDir) dirs.Add(entries[i]);
    return 1;
}

int CFtpClient::ListSubDirNames(const char *path, CStringArray &names)
{
    names.RemoveAll();
    CArray<tagFtpEntry> dirs;
    if (!ListSubDirs(path, dirs)) return 0;
    for (int i = 0; i < dirs.GetSize(); ++i) names.Add(dirs[i].name);
    return 1;
}

int CFtpClient::ListTree(const char *path, CArray<tagFtpEntry> &files, CStringArray &dirs)
{
    CString start(path);
    while (start.Replace("//", "/") > 0) {
    }
    files.RemoveAll();
    dirs.RemoveAll();
    std::deque<CString> queue{start};
    while (!queue.empty()) {
        const CString dir = queue.front();
        queue.pop_front();
        CArray<tagFtpEntry> entries;
        if (!ListDir(dir, entries)) return 0;
        dirs.Add(dir);
        for (int i = 0; i < entries.GetSize(); ++i) {
            tagFtpEntry entry = entries[i];
            if (entry.type == tagFtpEntry::kDir) {
                queue.push_back(JoinPath(dir, entry.name));
            } else {
                entry.directory = dir;
                files.Add(entry);
            }
        }
    }
    return 1;
}

int CFtpClient::GetDirSize(const char *dir, int64_t &bytes, int32_t &files)
{
    bytes = 0;
    files = 0;
    if (!Cwd(dir)) return 1;
    CArray<tagFtpEntry> entries;
    if (!ListDir(nullptr, entries)) {
        Cwd("..");
        return 0;
    }
    bool failed = false;
    for (int i = 0; i < entries.GetSize(); ++i) {
        const tagFtpEntry &entry = entries[i];
        if (entry.type != tagFtpEntry::kDir) {
            bytes += entry.size;
            ++files;
            continue;
        }
        int64_t subBytes = 0;
        int32_t subFiles = 0;
        if (GetDirSize(entry.name, subBytes, subFiles)) {
            bytes += subBytes;
            files += subFiles;
        } else {
            failed = true;
        }
    }
    Cwd("..");
    return failed ? 0 : 1;
}

int CFtpClient::DeleteTree(const char *name)
{
    if (!Cwd(name)) return Dele(name);
    CArray<tagFtpEntry> entries;
    if (!ListDir(nullptr, entries)) {
        Cwd("..");
        return 0;
    }
    bool failed = false;
    for (int i = 0; i < entries.GetSize(); ++i)
        if (entries[i].type != tagFtpEntry::kDir && !Dele(entries[i].name)) failed = true;
    for (int i = 0; i < entries.GetSize(); ++i)
        if (entries[i].type == tagFtpEntry::kDir && !DeleteTree(entries[i].name)) failed = true;
    if (!Cwd("..")) failed = true;
    if (!Rmd(name)) failed = true;
    return failed ? 0 : 1;
}

int CFtpClient::CopyTo(const char *file, CFtpClient &dest, uint32_t timeOutMs,
                       const plat::Event *cancel)
{
    if (!IsConnected() || !dest.IsConnected()) return 0;
    if (!dest.Type('I') || !Type('I')) return 0;
    CommandLock sourceLock(*m_pState), destLock(*dest.m_pState);
    if (!sourceLock.Take() || !destLock.Take()) return 0;
    bool ok = false;
    const int destCode = CopyLocked(file, dest, timeOutMs, cancel, ok);
    plat::SetLastError(ok ? 0 : static_cast<uint32_t>(destCode));
    return ok ? 1 : 0;
}

int CFtpClient::CopyLocked(const char *file, CFtpClient &dest, uint32_t timeOutMs,
                           const plat::Event *cancel, bool &ok)
{
    ok = false;
    tagFtpHostPort source;
    if (!Pasv(source) || !dest.Port(source) || !dest.Stor(file)) return 0;
    // From here on the destination has opened the file and waits for its data: a copy that
    // fails stops both transfers and removes what was written.
    if (!Retr(file)) {
        GiveUpCopy(file, dest);
        return 0;
    }
    const int destCode = dest.WaitReplyOr(nullptr, timeOutMs, cancel);
    ok = Succeeded(destCode, ReplyClass::kDone) &&
         Succeeded(WaitReplyOr(nullptr, timeOutMs, cancel), ReplyClass::kDone);
    if (!ok) GiveUpCopy(file, dest);
    return destCode;
}

void CFtpClient::GiveUpCopy(const char *file, CFtpClient &dest)
{
    SendAbort();
    dest.SendAbort();
    // Both are brought back in step at once: a server that does not hear an abort while its
    // transfer runs (vsftpd as it ships) costs one bound, not one for each side.
    const uint32_t start = plat::GetTickCount();
    BeginResync();
    dest.BeginResync();
    EndResync(start);
    // The file the destination opened goes in any case: over a connection made anew, where
    // the old one stood, when the old one did not answer and was closed.
    if (dest.EndResync(start) || dest.Reconnect())
        dest.RunText(false, ReplyClass::kDone, CString("DELE ") + file);
}

int CFtpClient::Reconnect()
{
    const CString dir = m_pState->workDir.Path();
    if (!LogOn(false)) return 0;
    if (dir.IsEmpty() || ChangeDir(false, dir)) return 1;
    // Relative names would reach the wrong files from anywhere else.
    Close();
    return 0;
}

void CFtpClient::SendAbort()
{
    tagFtpConnState &state = *m_pState;
    if (!state.control.IsOpen()) return;
    state.CallHook(&tagFtpConnState::sent, "ABOR");
    state.control.Send(kTelnetIp, sizeof kTelnetIp);
    state.control.SendUrgent(kTelnetSynch, sizeof kTelnetSynch);
    state.control.Send(kAbortLine, sizeof kAbortLine - 1);
}

bool CFtpClient::Resync()
{
    const uint32_t start = plat::GetTickCount();
    BeginResync();
    return EndResync(start);
}

// The aborted transfer's final reply and the abort's own may come in any number (426 then
// 226, 225 alone, a late 226 first): a NOOP sent behind them is answered only after them, and
// its 200 is the point from which replies belong to commands again.
void CFtpClient::BeginResync()
{
    if (m_pState->control.IsOpen()) Post("NOOP");
}

bool CFtpClient::EndResync(uint32_t start)
{
    // A server that does not answer in time is left: a reply it sends later must not answer
    // the next command.
    const uint32_t bound = m_pState->defaultTimeOut.load();
    for (;;) {
        const uint32_t spent = plat::TickElapsed(start);
        const int code =
            spent < bound && m_pState->control.IsOpen() ? WaitReply(nullptr, bound - spent) : 0;
        if (code == kNoopDone) return true;
        if (code == 0 || code == FtpReplyParser::kLostCode) {
            Close();
            return false;
        }
    }
}

int CFtpClient::CopyDirTo(const char *dir, CFtpClient &dest, uint32_t budgetMs)
{
    if (!IsConnected() || !dest.IsConnected()) return 0;
    CArray<tagFtpEntry> files;
    CStringArray dirs;
    if (!ListTree(dir, files, dirs)) return 0;
    for (int i = 0; i < dirs.GetSize(); ++i) dest.Mkd(dirs[i]);
    bool failed = false;
    for (int i = 0; i < files.GetSize(); ++i) {
        const CString path = files[i].directory + "/" + files[i].name;
        const uint32_t start = plat::GetTickCount();
        if (!CopyTo(path, dest, budgetMs)) failed = true;
        budgetMs -= plat::TickElapsed(start);
        if (budgetMs > kBudgetSpent) break;
    }
    return failed ? 0 : 1;
}
