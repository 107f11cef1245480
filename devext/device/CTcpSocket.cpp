#include "devext/device/CTcpSocket.h"

#include "devext/device/NetAddr.h"
#include "devext/device/NetHost.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Errors of one pending connection that accept reports; the listening socket is still good.
bool IsConnectionError(int err)
{
    switch (err) {
    case ECONNABORTED:
    case EPROTO:
    case ENOPROTOOPT:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENONET:
    case EOPNOTSUPP:
        return true;
    default:
        return false;
    }
}

} // namespace

CTcpSocket::CTcpSocket() = default;

CTcpSocket::CTcpSocket(SOCKET s)
{
    m_socket.Set(CSocketFd::Adopt(s));
}

CTcpSocket::~CTcpSocket()
{
    Close();
}

SOCKET CTcpSocket::Create(bool fresh)
{
    if (fresh) Close();
    std::shared_ptr<CSocketFd> fd = m_socket.Get();
    if (fd && !fd->IsClosed()) return fd->Fd();
    fd = CSocketFd::Open(SOCK_STREAM);
    if (!fd) return INVALID_SOCKET;
    m_socket.Set(fd);
    m_received.Clear();
    return fd->Fd();
}

int CTcpSocket::Close()
{
    return m_socket.Close() ? 0 : -1;
}

int CTcpSocket::Fail(const std::shared_ptr<CSocketFd> &fd)
{
    m_socket.Close(fd);
    return -1;
}

SOCKET CTcpSocket::Accept(uint32_t &ip, uint16_t &port)
{
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    if (!fd) return INVALID_SOCKET;
    for (;;) {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        const ssize_t s = fd->Io(POLLIN, [&](SOCKET l) {
            return ::accept4(l, reinterpret_cast<sockaddr *>(&sa), &len, SOCK_CLOEXEC);
        });
        if (s < 0 && IsConnectionError(errno)) continue;
        if (s < 0) return INVALID_SOCKET;
        const tagNetAddr peer = FromSockAddr(sa);
        ip = peer.ip;
        port = peer.port;
        return static_cast<SOCKET>(s);
    }
}

int CTcpSocket::Bind(uint32_t ip, uint16_t port)
{
    if (Create() == INVALID_SOCKET) return -1;
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    const sockaddr_in sa = ToSockAddr(ip, port);
    return fd ? ::bind(fd->Fd(), reinterpret_cast<const sockaddr *>(&sa), sizeof sa) : -1;
}

int CTcpSocket::Listen(int backlog)
{
    if (Create() == INVALID_SOCKET) return -1;
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    return fd ? ::listen(fd->Fd(), backlog) : -1;
}

int CTcpSocket::SetOption(int level, int option, int value)
{
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    return fd ? ::setsockopt(fd->Fd(), level, option, &value, sizeof value) : -1;
}

int CTcpSocket::Connect(uint32_t ip, uint16_t port)
{
    if (Create() == INVALID_SOCKET) return -1;
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    if (!fd) return -1;
    const sockaddr_in sa = ToSockAddr(ip, port);
    if (::connect(fd->Fd(), reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return -1;
    // The socket is non-blocking: wait for the outcome, which a close ends early.
    if (!fd->WaitFor(POLLOUT)) return -1;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd->Fd(), SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
        errno = err;
        return -1;
    }
    return 0;
}

int CTcpSocket::Connect(const char *host, uint16_t port)
{
    std::vector<uint32_t> addresses;
    if (!ResolveIPv4(host, addresses)) return -1;
    return Connect(addresses.front(), port);
}

int CTcpSocket::Recv(void *buffer, int length)
{
    if (length <= 0) return 0;
    if (m_received.Count() > 0) {
        const int n = std::min(length, m_received.Count());
        std::memcpy(buffer, m_received.Data(), static_cast<size_t>(n));
        m_received.Remove(n);
        return n;
    }
    return RecvRaw(buffer, length);
}

int CTcpSocket::RecvRaw(void *buffer, int length)
{
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    if (!fd) return -1;
    const ssize_t n = fd->Io(
        POLLIN, [&](SOCKET s) { return ::recv(s, buffer, static_cast<size_t>(length), 0); },
        m_recvDeadline.load());
    return n > 0 ? static_cast<int>(n) : Fail(fd);
}

bool CTcpSocket::Pause(uint64_t deadline)
{
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    if (!fd || deadline == 0) return fd && !fd->IsClosed();
    // Waiting for no event still reports a hang-up or an error.
    return !fd->WaitFor(0, deadline) && errno == ETIMEDOUT;
}

int CTcpSocket::Send(const void *buffer, int length)
{
    return SendWith(buffer, length, 0);
}

int CTcpSocket::SendUrgent(const void *buffer, int length)
{
    return SendWith(buffer, length, MSG_OOB);
}

int CTcpSocket::SendWith(const void *buffer, int length, int flags)
{
    if (length <= 0) return 0;
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    if (!fd) return -1;
    const char *bytes = static_cast<const char *>(buffer);
    int sent = 0;
    while (sent < length) {
        const ssize_t n = fd->Io(POLLOUT, [&](SOCKET s) {
            return ::send(s, bytes + sent, static_cast<size_t>(length - sent),
                          MSG_NOSIGNAL | flags);
        });
        if (n <= 0) return Fail(fd);
        sent += static_cast<int>(n);
    }
    return sent;
}

int CTcpSocket::NameOf(bool peer, sockaddr_in &addr) const
{
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    if (!fd) return -1;
    socklen_t len = sizeof addr;
    auto *sa = reinterpret_cast<sockaddr *>(&addr);
    return peer ? ::getpeername(fd->Fd(), sa, &len) : ::getsockname(fd->Fd(), sa, &len);
}

int CTcpSocket::GetPeerName(sockaddr_in &addr) const
{
    return NameOf(true, addr);
}

int CTcpSocket::GetSockName(sockaddr_in &addr) const
{
    return NameOf(false, addr);
}

int CTcpSocket::GetPeerName(uint32_t &ip, uint16_t &port) const
{
    sockaddr_in sa{};
    const int r = NameOf(true, sa);
    if (r == 0) ip = sa.sin_addr.s_addr, port = ntohs(sa.sin_port);
    return r;
}

int CTcpSocket::GetSockName(uint32_t &ip, uint16_t &port) const
{
    sockaddr_in sa{};
    const int r = NameOf(false, sa);
    if (r == 0) ip = sa.sin_addr.s_addr, port = ntohs(sa.sin_port);
    return r;
}

int CTcpSocket::SendFormat(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = SendFormatV(kFormatBufferSize, format, args);
    va_end(args);
    return n;
}

int CTcpSocket::SendFormatV(int bufferSize, const char *format, va_list args)
{
    if (!format || bufferSize <= 0) return -1;
    std::vector<char> text(static_cast<size_t>(bufferSize));
    const int n = std::vsnprintf(text.data(), text.size(), format, args);
    // A text that does not fit is not sent cut short.
    return n < 0 || n >= bufferSize ? -1 : Send(text.data(), n);
}

int CTcpSocket::ReadLine(char *buffer, int size, CRecvBuffer &received)
{
    if (!buffer || size < 2) return -1;
    for (;;) {
        const int r = received.TakeLine(buffer, size);
        if (r != CRecvBuffer::kNeedMore) return r;
        // The socket's own buffer fills straight from the socket; any other first takes
        // what the socket's own buffer still holds.
        const int n = &received == &m_received ? RecvRaw(received.Tail(), received.Free())
                                               : Recv(received.Tail(), received.Free());
        if (n < 0) return n;
        received.Added(n);
    }
}

int CTcpSocket::ReadLine(CString &line)
{
    line.Empty();
    char piece[kLinePiece];
    for (;;) {
        const int r = ReadLine(piece, sizeof piece, m_received);
        if (r < 0 && r != CRecvBuffer::kPieceFull) return r;
        line += piece;
        if (r >= 0) return line.GetLength();
    }
}

int CTcpSocket::ReadLines(const LineReceiver &receiver)
{
    CString line;
    for (;;) {
        const int r = ReadLine(line);
        if (r < 0) return r;
        if (receiver) receiver(line);
    }
}

int CTcpSocket::ReadLines(CStringList &lines)
{
    return ReadLines([&lines](const CString &line) { lines.AddTail(line); });
}

int CTcpSocket::WriteLines(const CStringList &lines)
{
    int total = 0;
    for (POSITION pos = lines.GetHeadPosition(); pos;) {
        const CString line = lines.GetNext(pos) + "\r\n";
        const int r = Send(line.GetString(), line.GetLength());
        if (r < 0) return r;
        total += r;
    }
    return total;
}
