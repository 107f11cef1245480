#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>

namespace loopback {

namespace {

sockaddr_in Address(uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = LoopbackIp();
    sa.sin_port = htons(port);
    return sa;
}

uint16_t BoundPort(int fd)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    return ntohs(sa.sin_port);
}

} // namespace

Fd &Fd::operator=(Fd &&other) noexcept
{
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

int Fd::Release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Fd::Reset()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

uint32_t LoopbackIp()
{
    return htonl(INADDR_LOOPBACK);
}

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Fd Connect(uint16_t port, uint32_t source)
{
    Fd fd(::socket(AF_INET, SOCK_STREAM, 0));
    if (source) {
        sockaddr_in own{};
        own.sin_family = AF_INET;
        own.sin_addr.s_addr = htonl(source);
        if (::bind(fd.Get(), reinterpret_cast<const sockaddr *>(&own), sizeof own)) return Fd();
    }
    const sockaddr_in sa = Address(port);
    if (fd.Get() < 0 || ::connect(fd.Get(), reinterpret_cast<const sockaddr *>(&sa), sizeof sa))
        return Fd();
    // Small writes leave at once, so a test's pieces arrive as separate segments.
    const int one = 1;
    setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

TcpPair MakeTcpPair(uint32_t source)
{
    Fd listener(::socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in sa = Address(0);
    if (::bind(listener.Get(), reinterpret_cast<const sockaddr *>(&sa), sizeof sa) ||
        ::listen(listener.Get(), 1))
        return {};
    TcpPair pair;
    pair.peer = Connect(BoundPort(listener.Get()), source);
    pair.accepted = ::accept(listener.Get(), nullptr, nullptr);
    return pair;
}

bool SendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string Receive(int fd, size_t count, int timeoutMs)
{
    std::string out;
    const int64_t end = NowMs() + timeoutMs;
    while (out.size() < count) {
        const int64_t left = end - NowMs();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, count - out.size()), 0);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

bool WaitClosed(int fd, int timeoutMs)
{
    const int64_t end = NowMs() + timeoutMs;
    for (;;) {
        const int64_t left = end - NowMs();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char buf[256];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
        if (n < 0) return false;
    }
}

Fd UdpSocket(uint16_t *port)
{
    Fd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    const sockaddr_in sa = Address(0);
    if (fd.Get() < 0 || ::bind(fd.Get(), reinterpret_cast<const sockaddr *>(&sa), sizeof sa))
        return Fd();
    if (port) *port = BoundPort(fd.Get());
    return fd;
}

bool SendDatagram(int fd, uint16_t port, std::string_view bytes)
{
    const sockaddr_in sa = Address(port);
    return ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&sa),
                    sizeof sa) == static_cast<ssize_t>(bytes.size());
}

} // namespace loopback
