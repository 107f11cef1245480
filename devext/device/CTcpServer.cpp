#include "devext/device/CTcpServer.h"

#include "Kest20/KestLog.h"
#include "devext/device/NetAddr.h"
#include "platform/String.h"
#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <utility>
#include <vector>

using SessionPtr = std::shared_ptr<CTcpSession>;

namespace {

constexpr const char *kLogType = "LOG_ERROR";

} // namespace

// The listening socket and the live sessions: the accept thread owns them jointly with the
// server, so a thread given up by a stop never outlives what it touches.
struct CTcpServer::Shared {
    Shared(int users, SessionFactory f, void *context)
        : userCount(users), factory(f), factoryContext(context)
    {
    }

    SessionPtr MakeSession(SOCKET s) const
    {
        CTcpSession *session = factory ? factory(factoryContext, s) : nullptr;
        if (!session) ::close(s);
        return SessionPtr(session);
    }

    // Waits until fewer sessions than the user count live, at most kTurnWaitMs: false when
    // the time ran out or the server stops.
    bool AwaitTurn()
    {
        const uint32_t start = plat::GetTickCount();
        for (;;) {
            if (Sweep() < static_cast<size_t>(userCount)) return true;
            const uint32_t spent = plat::TickElapsed(start);
            if (spent >= kTurnWaitMs || !listener.IsOpen()) return false;
            turn->Wait(kTurnWaitMs - spent);
        }
    }

    // False once the server stops: the session is not kept.
    bool Add(const SessionPtr &session)
    {
        std::lock_guard<std::mutex> lk(lock);
        if (stopping) return false;
        sessions.push_back(session);
        return true;
    }

    // Removes the sessions whose socket has closed (they are released outside the lock): how
    // many live on.
    size_t Sweep()
    {
        std::vector<SessionPtr> closed;
        std::lock_guard<std::mutex> lk(lock);
        for (size_t i = sessions.size(); i-- > 0;) {
            if (sessions[i]->IsConnected()) continue;
            closed.push_back(std::move(sessions[i]));
            sessions.erase(sessions.begin() + static_cast<std::ptrdiff_t>(i));
        }
        return sessions.size();
    }

    // "TcpServer <port>: " and the text on the error log.
    void Log(const char *format, ...) const __attribute__((format(printf, 2, 3)))
    {
        uint32_t ip = 0;
        uint16_t port = 0;
        listener.GetSockName(ip, port);
        CString text;
        text.Format("TcpServer %u: ", port);
        CString rest;
        va_list args;
        va_start(args, format);
        rest.FormatV(format, args);
        va_end(args);
        glReportLog(kLogType, text + rest, "");
    }

    // Stops accepting and closes every session's socket, which ends their reads.
    std::vector<SessionPtr> BeginStop()
    {
        std::lock_guard<std::mutex> lk(lock);
        stopping = true;
        listener.Close();
        turn->Set();
        for (const SessionPtr &session : sessions) session->CloseSocket();
        return std::exchange(sessions, {});
    }

    const int userCount;
    const SessionFactory factory;
    void *const factoryContext;
    CTcpSocket listener;
    std::mutex lock;
    std::vector<SessionPtr> sessions;
    bool stopping = false;
    // Set when a session ends (its shell returned) and at the stop. Shared with the
    // sessions, which may outlive the server.
    const std::shared_ptr<plat::Event> turn = std::make_shared<plat::Event>(false, false);
};

CTcpServer::CTcpServer(int port) : m_nPort(port) {}

CTcpServer::~CTcpServer()
{
    Stop();
}

uint16_t CTcpServer::GetBoundPort() const
{
    std::shared_ptr<Shared> shared;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        shared = m_pShared;
    }
    uint32_t ip = 0;
    uint16_t port = 0;
    return shared && shared->listener.GetSockName(ip, port) == 0 ? port : 0;
}

bool CTcpServer::IsRunning() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_pShared && m_pShared->listener.IsOpen();
}

int CTcpServer::Start()
{
    if (IsRunning()) return 0;
    Stop(); // what a failed accept thread left
    auto shared = std::make_shared<Shared>(m_nUserCount, m_pFactory, m_pFactoryContext);
    CTcpSocket &listener = shared->listener;
    if (listener.Create() == INVALID_SOCKET || listener.SetOption(SOL_SOCKET, SO_REUSEADDR, 1) ||
        listener.Bind(htonl(INADDR_ANY), static_cast<uint16_t>(m_nPort)) ||
        listener.Listen(kBacklog)) {
        listener.Close();
        return 0;
    }
    plat::Thread thread = plat::Thread::Start([shared] {
        AcceptLoop(*shared);
        return 0u;
    });
    if (!thread.Valid()) {
        listener.Close();
        return 0;
    }
    std::lock_guard<std::mutex> lk(m_lock);
    m_pShared = std::move(shared);
    m_thread = std::move(thread);
    return 1;
}

void CTcpServer::AcceptLoop(Shared &shared)
{
    bool failing = false; // the last accept failed: its spell is logged once
    // Out of descriptors (EMFILE, ENFILE) or memory: the listener is still good, and sessions
    // that end give their descriptors back. Logged once a spell; the stop cuts the pause short.
    const auto failed = [&](int error) {
        if (!failing)
            shared.Log("accept failed (%s); trying again every %u ms", std::strerror(error),
                       kAcceptRetryMs);
        failing = true;
        return shared.listener.Pause(plat::MonotonicNanos() + uint64_t{kAcceptRetryMs} * 1000000);
    };
    for (;;) {
        uint32_t ip = 0;
        uint16_t port = 0;
        const SOCKET s = shared.listener.Accept(ip, port);
        if (s == INVALID_SOCKET) {
            const int error = errno;
            if (!shared.listener.IsOpen() || !failed(error)) break;
            continue;
        }
        // Threaded sessions are held to the user count; one more waits its turn, bounded.
        if (shared.userCount > 1 && !shared.AwaitTurn()) {
            ::close(s);
            if (!shared.listener.IsOpen()) break;
            char from[INET_ADDRSTRLEN];
            IpText(ip, from);
            shared.Log("%d sessions, the most it serves, for %u ms: connection from %s:%u closed",
                       shared.userCount, kTurnWaitMs, from, port);
            continue;
        }
        errno = 0;
        const SessionPtr session = shared.MakeSession(s);
        if (!session) continue;
        // A session takes a second descriptor for its socket's wake: without one it comes
        // unconnected, and the connection is lost as a failed accept's would be.
        if (!session->IsConnected()) {
            if (!failed(errno ? errno : EMFILE)) break;
            continue;
        }
        session->SetEndNotify([turn = shared.turn] { turn->Set(); });
        // Kept before it is served, so that a stop reaches a shell that runs on this thread.
        if (!shared.Add(session)) {
            session->CloseSocket();
            break;
        }
        if (!session->Start(shared.userCount > 1)) {
            // No thread for it: the connection goes.
            const int error = errno ? errno : EAGAIN;
            session->CloseSocket();
            shared.Sweep();
            if (!failed(error)) break;
            continue;
        }
        failing = false;
        shared.Sweep();
    }
    shared.listener.Close();
}

void CTcpServer::Stop()
{
    std::shared_ptr<Shared> shared;
    plat::Thread thread;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        std::swap(shared, m_pShared);
        std::swap(thread, m_thread);
    }
    if (!shared) return;
    std::vector<SessionPtr> sessions = shared->BeginStop();
    for (const SessionPtr &session : sessions) session->Stop();
    thread.StopWithin(kStopBoundMs, 0);
}
