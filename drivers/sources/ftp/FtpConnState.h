// The state one FTP client shares with its reply reader thread, and the data connection of a
// listing with the guard that ends it when it stays silent too long. Both are jointly owned,
// so a thread that was given up never touches freed memory.
#pragma once

#include "KestLib20/CDataLock.h"
#include "devext/device/CTcpSocket.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/sources/ftp/FtpReply.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Where a control connection stands, followed through its directory changes since the
// log-on, so that a connection made anew can be taken there again. Any thread may use it.
class KSOVRA20_API FtpWorkDir {
public:
    // Back in the log-in directory (a new log-on).
    void Reset();
    // A directory change the server took: a path relative to where the connection stood, or
    // an absolute one; "." and empty steps stay, ".." goes up.
    void Change(const CString &dir);
    // The path to change to from the log-in directory; empty when the connection stands
    // there.
    CString Path() const;

private:
    mutable std::mutex m_lock;
    std::vector<CString> m_steps; // ".." only at the front: above the log-in directory
    bool m_bAbsolute = false;
};

struct tagFtpConnState {
    using TextHook = std::function<void(const CString &)>;

    CDataLock lock; // guards the replies
    FtpReplyParser replies;
    std::mutex connectLock; // serialises log-ons, and guards `reader`
    plat::Thread reader;
    plat::Event replyEvent{false, false};
    std::atomic<bool> hasEvent{false}; // set by the reader when it first starts
    std::atomic<uint32_t> defaultTimeOut{10000};
    CTcpSocket control;
    plat::Event commandLock{false, true}; // signalled while free
    std::atomic<int32_t> lockHeld{0};
    FtpWorkDir workDir;

    // The hooks, replaced and called under hookLock, never under `lock`.
    std::mutex hookLock;
    TextHook received, discarded, sent;

    void CallHook(TextHook tagFtpConnState::*hook, const CString &text)
    {
        std::lock_guard<std::mutex> lk(hookLock);
        if (this->*hook) (this->*hook)(text);
    }
};

// A listing's data connection: the listen socket and, once accepted, the data socket.
class CFtpDataPort {
public:
    CTcpSocket &Listener() { return m_listen; }
    // Takes the accepted socket; it is closed at once when the port was closed meanwhile.
    CTcpSocket *Adopt(SOCKET s);
    void Close();

private:
    std::mutex m_lock;
    bool m_closed = false;
    CTcpSocket m_listen;
    std::unique_ptr<CTcpSocket> m_data;
};

// Closes a data port when nothing has happened on it for the bound: a thread waits for
// activity (Kick) or the end, and closes the port when neither came in time.
class FtpIdleGuard {
public:
    FtpIdleGuard(std::shared_ptr<CFtpDataPort> port, uint32_t boundMs);
    ~FtpIdleGuard();
    FtpIdleGuard(const FtpIdleGuard &) = delete;
    FtpIdleGuard &operator=(const FtpIdleGuard &) = delete;

    void Kick() { m_shared->activity.Set(); }
    bool Expired() const { return m_shared->expired.load(); }

private:
    struct Shared {
        plat::Event activity{false, false};
        plat::Event done{true, false};
        std::atomic<bool> expired{false};
    };
    std::shared_ptr<Shared> m_shared;
    plat::Thread m_thread;
};
