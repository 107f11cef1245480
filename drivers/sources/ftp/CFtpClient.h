// An FTP client (RFC 959) on one control connection: a reader thread files every reply line
// into a queue of complete replies, a command lock lets one command or command sequence run at
// a time, listings come over active-mode data connections (the client listens, the server
// connects), and files are copied from one server straight to another (the destination
// connects to the source's passive port; no data passes through this process).
#pragma once

#include "KestLib20/tagURL.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/sources/ftp/FtpReply.h"
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/Sync.h"

#include <cstdint>
#include <functional>
#include <memory>

struct tagFtpConnState;

class KSOVRA20_API CFtpClient : public tagURL {
public:
    // Waits for replies given 0, and the bound on a silent data connection.
    static constexpr uint32_t kDefaultTimeOutMs = 10000;
    // How long an operation waits for the command lock.
    static constexpr uint32_t kLockWaitMs = 500;
    // How long a close waits for the reader thread before giving it up.
    static constexpr uint32_t kReaderStopMs = 1000;

    using TextHook = std::function<void(const CString &text)>;

    CFtpClient();
    ~CFtpClient();
    CFtpClient(const CFtpClient &) = delete;
    CFtpClient &operator=(const CFtpClient &) = delete;

    // The hooks, called with: every reply line of 4 or more characters (on the reader
    // thread); every line not taken as a reply and every unread reply thrown away; every
    // command just before it is sent (a password shows as "PASS ****"). A hook being called
    // ends before a replacement returns.
    template <class T>
    void SetHooks(T *owner, void (T::*received)(const CString &),
                  void (T::*discarded)(const CString &), void (T::*sent)(const CString &))
    {
        SetHooks(Bind(owner, received), Bind(owner, discarded), Bind(owner, sent));
    }
    void SetHooks(TextHook received, TextHook discarded, TextHook sent);

    // The wait of every reply wait given 0 and the bound on a silent data connection
    // (kDefaultTimeOutMs unless set).
    void SetDefaultTimeOut(uint32_t ms);

    // Connects and logs on (1); 1 at once while connected.
    int Login();
    // Sends QUIT without waiting, closes the connection, ends the reader. 1.
    int Close();
    int IsConnected() const;
    // 1 while a command or sequence of this client holds its command lock.
    int IsBusy() const;

    // Sends the command (none: only waits) and waits for the first complete reply: its code,
    // 0 when none came or the client is not connected; also the thread's last error.
    int SendCommand(const char *command, CString *reply, uint32_t timeOutMs, bool takeLock);
    // The oldest complete reply's code (and text), waiting up to the time-out for one; 0 when
    // none came.
    int WaitReply(CString *reply, uint32_t timeOutMs);

    // Single commands; 1 when the server gave a success reply.
    int User(const char *name);
    int Pass(const char *password);
    int Cwd(const char *dir);
    int Cdup();
    int Mkd(const char *dir);
    int Rmd(const char *dir);
    int Dele(const char *file);
    int Rnfr(const char *name);
    int Rnto(const char *name);
    int Rename(const char *from, const char *to);
    int Type(char type);
    int Rest(int32_t offset);
    int Noop();
    int Pwd(CString &dir);
    // Steps of a sequence whose caller holds the command lock.
    int Pasv(tagFtpHostPort &hostPort);
    int Port(const tagFtpHostPort &hostPort);
    int Retr(const char *file);
    int Stor(const char *file);

    // One listing (LIST, or NLST with namesOnly) of the path (null or empty: the current
    // directory): 1 when it ended with 226; the lines read stay in `lines` either way.
    int List(const char *path, CStringArray &lines, bool namesOnly);
    // The parsed entries of a listing, without "." and "..".
    int ListDir(const char *path, CArray<tagFtpEntry> &entries);
    int ListSubDirs(const char *path, CArray<tagFtpEntry> &dirs);
    int ListSubDirNames(const char *path, CStringArray &names);
    // Every file below the path (breadth first, each with its directory) and every directory
    // (the path first). 0 when a listing failed; what was found stays.
    int ListTree(const char *path, CArray<tagFtpEntry> &files, CStringArray &dirs);
    // Bytes and files below the directory (relative to the current one); a name that is no
    // directory counts as empty. 0 when a listing below failed.
    int GetDirSize(const char *dir, int64_t &bytes, int32_t &files);
    // Deletes a file, or a directory with everything in it: 1 when the server took every
    // delete.
    int DeleteTree(const char *name);

    // Copies the file from this client's server to the destination's under the same name,
    // waiting up to the time-out for each final reply (or until `cancel` is set). A copy that
    // fails once the destination has opened the file aborts both transfers, leaves both
    // connections in step (or closes one that does not answer the abort within the default
    // time-out) and removes the file at the destination: when its connection was closed, over
    // a new one, which is left logged on in the directory the old one stood in.
    int CopyTo(const char *file, CFtpClient &dest, uint32_t timeOutMs,
               const plat::Event *cancel = nullptr);
    // Copies the directory tree while the time budget lasts: 1 when no copy failed.
    int CopyDirTo(const char *dir, CFtpClient &dest, uint32_t budgetMs);

private:
    class CommandLock;
    // The class of reply (its first digit) that means a command did what it was sent for.
    enum class ReplyClass { kStarted = 1, kDone = 2, kMore = 3 };
    static bool Succeeded(int code, ReplyClass ok) { return code / 100 == static_cast<int>(ok); }

    template <class T> static TextHook Bind(T *owner, void (T::*fn)(const CString &))
    {
        if (!owner || !fn) return {};
        return [owner, fn](const CString &text) { (owner->*fn)(text); };
    }

    // Formats and sends one command, taking the lock when `own`; 1 when the reply is of the
    // class `ok`.
    int Run(bool own, ReplyClass ok, const char *format, ...) __attribute__((format(printf, 4, 5)));
    int RunText(bool own, ReplyClass ok, const CString &command, CString *reply = nullptr);
    // WaitReply that also ends, with 0, once `cancel` (when given) is set.
    int WaitReplyOr(CString *reply, uint32_t timeOutMs, const plat::Event *cancel);
    // SendCommand's work under the caller's lock.
    int SendLocked(const char *command, CString *reply, uint32_t timeOutMs);
    // Throws the unread replies away and sends the command, without waiting.
    void Post(const char *command);
    // Connects and logs on, taking the command lock for each command when `own`.
    int LogOn(bool own);
    // CWD; the new place is noted on success.
    int ChangeDir(bool own, const CString &dir);
    // Under the caller's lock, after the connection was closed: a new one, logged on and in
    // the directory the old one stood in. 0 (and closed) when either fails.
    int Reconnect();
    void StartReader();
    void StopReader();
    // The file copy once both command locks are held: the destination's final reply code
    // (0 before it), with `ok` set when every step succeeded.
    int CopyLocked(const char *file, CFtpClient &dest, uint32_t timeOutMs,
                   const plat::Event *cancel, bool &ok);
    // Stops a copy under way on both servers and removes the file at the destination.
    void GiveUpCopy(const char *file, CFtpClient &dest);
    // ABOR behind the telnet IP and Synch, without waiting.
    void SendAbort();
    // Drops every reply up to a NOOP's, within the default time-out; closes the connection
    // and returns false when that does not come. In two halves, so that two connections are
    // brought back in step at once: the NOOP, then the wait, bounded from `start` (ticks).
    bool Resync();
    void BeginResync();
    bool EndResync(uint32_t start);

    std::shared_ptr<tagFtpConnState> m_pState;
};
