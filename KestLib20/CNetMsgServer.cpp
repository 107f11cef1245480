#include "KestLib20/CNetMsgServer.h"

#include "KestLib20/ActivePtr.h"
#include "KestLib20/CDataLock.h"
#include "platform/Thread.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

// One run of the receive thread: its socket and the event that asks it to end. The thread
// and the server share it, so a thread that was given up still owns what it uses.
struct CNetMsgServer::Run {
    ~Run()
    {
        if (socket >= 0) close(socket);
        if (wake >= 0) close(wake);
    }
    void AskToEnd()
    {
        ending = true;
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(wake, &one, sizeof one);
    }

    int socket = -1;
    int wake = -1;
    std::atomic<bool> ending{false};
    std::atomic<bool> ended{false};
};

struct CNetMsgServer::_Impl {
    int32_t port;
    INetMsgServer **slot;
    CDataLock lock;
    std::shared_ptr<Run> run; // the current run; null when stopped
    plat::Thread thread;
    CNetMsgQueue queue;
};

namespace {

// A UDP socket bound to any local address at `port`, with address reuse so that every
// process of the computer can listen on the station's port; -1 on failure.
int OpenListenSocket(int32_t port)
{
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(s);
        return -1;
    }
    return s;
}

} // namespace

CNetMsgServer::CNetMsgServer(INetMsgServer **slot, int32_t port)
    : m_pImpl(std::make_shared<_Impl>())
{
    m_pImpl->port = port ? port : kNetMsgDefaultPort;
    m_pImpl->slot = slot;
    if (slot) *slot = this;
}

CNetMsgServer::~CNetMsgServer()
{
    CNetMsgServer::Stop();
    if (m_pImpl->slot && *m_pImpl->slot == this) *m_pImpl->slot = nullptr;
}

int32_t CNetMsgServer::LockServer(int32_t)
{
    return 0;
}

INetMsgServer **CNetMsgServer::GetActivePtr()
{
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    if (!m_pImpl->slot) {
        m_pImpl->slot = reinterpret_cast<INetMsgServer **>(glAllocActivePtr(1));
        if (m_pImpl->slot) *m_pImpl->slot = this;
    }
    return m_pImpl->slot;
}

int32_t CNetMsgServer::Start()
{
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    if (m_pImpl->run && !m_pImpl->run->ended) return 1;
    auto run = std::make_shared<Run>();
    run->socket = OpenListenSocket(m_pImpl->port);
    run->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (run->socket < 0 || run->wake < 0) return 0;
    m_pImpl->thread.StopWithin(0, 0);
    m_pImpl->run = run;
    m_pImpl->thread = plat::Thread::Start([this, keepAlive = weak_from_this().lock(), run] {
        Receive(this, keepAlive, run);
        return 0u;
    });
    if (!m_pImpl->thread.Valid()) {
        m_pImpl->run.reset();
        return 0;
    }
    return 1;
}

int32_t CNetMsgServer::Stop()
{
    std::shared_ptr<Run> run;
    plat::Thread thread;
    {
        std::lock_guard<CDataLock> lk(m_pImpl->lock);
        run = std::move(m_pImpl->run);
        thread = std::move(m_pImpl->thread);
    }
    if (!run) return 0;
    run->AskToEnd();
    thread.StopWithin(kStopBound, 0);
    m_pImpl->queue.RemoveAllMsg();
    return 1;
}

int32_t CNetMsgServer::IsActive()
{
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    return m_pImpl->run && !m_pImpl->run->ended ? 1 : 0;
}

int32_t CNetMsgServer::GetServerPort()
{
    return m_pImpl->port;
}

int32_t CNetMsgServer::CreateQueue(int32_t lifetime, int32_t id)
{
    return m_pImpl->queue.CreateQueue(lifetime, id);
}

char *CNetMsgServer::GetMsgFromQueue(int32_t id, int32_t timeout)
{
    return m_pImpl->queue.GetMsg(id, timeout);
}

int32_t CNetMsgServer::DeleteQueue(int32_t id)
{
    m_pImpl->queue.DeleteQueue(id);
    return 1;
}

int32_t CNetMsgServer::OnCanAccept(NETPID &target)
{
    return target == GetCurrentNetProcessID() || target == kNetPidEveryone ? 1 : 0;
}

int32_t CNetMsgServer::OnRecvMessage(tagNetMsgHeader &, uint32_t, const char **)
{
    return 1;
}

int32_t CNetMsgServer::OnIdle()
{
    return 1;
}

int32_t CNetMsgServer::HandleMsg(char *message, int32_t size, uint32_t fromAddress)
{
    if (!message || size < kNetMsgHeadSize) return 0;
    tagNetMsgHeader header = DecodeNetMsgHeader(message);
    // The length field is the sender's word: only what really arrived is read.
    if (header.length < kNetMsgHeadSize || header.length > size) return 0;
    if (!OnCanAccept(header.target)) return 0;
    if (header.channel < kFirstFixedQueue) {
        const char *arguments[kNetMsgMaxArgs];
        int32_t count = kNetMsgMaxArgs;
        GetNetMsgParamList(message, arguments, count);
        OnRecvMessage(header, fromAddress, arguments);
        return 1;
    }
    // A temporary queue takes only answers to this very process.
    if (header.channel < kFirstTemporaryQueue || header.target == GetCurrentNetProcessID())
        m_pImpl->queue.AddMsg(header.channel, message, header.length);
    return 0;
}

void CNetMsgServer::Receive(CNetMsgServer *server, const std::shared_ptr<CNetMsgServer> &,
                            const std::shared_ptr<Run> &run)
{
    char buffer[kNetMsgRecvSize + 1];
    for (;;) {
        pollfd fds[2] = {{run->socket, POLLIN, 0}, {run->wake, POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(kIdleWait));
        if (run->ending) break;
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (ready == 0) {
            server->OnIdle();
            continue;
        }
        if (fds[0].revents & (POLLERR | POLLNVAL)) break;
        if (!(fds[0].revents & POLLIN)) continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        // MSG_TRUNC gives the datagram's real length, so a longer one is seen and refused.
        const ssize_t n = recvfrom(run->socket, buffer, kNetMsgRecvSize, MSG_TRUNC | MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            break;
        }
        if (n < kNetMsgHeadSize || n > kNetMsgRecvSize) continue;
        buffer[n] = '\0';
        server->HandleMsg(buffer, static_cast<int32_t>(n), from.sin_addr.s_addr);
    }
    // Only this thread uses the socket once it runs.
    close(run->socket);
    run->socket = -1;
    run->ended = true;
}
