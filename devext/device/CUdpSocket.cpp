#include "devext/device/CUdpSocket.h"

#include <sys/socket.h>

int CUdpSocket::Create()
{
    if (m_socket.IsOpen()) return 1;
    std::shared_ptr<CSocketFd> fd = CSocketFd::Open(SOCK_DGRAM);
    if (!fd) return 0;
    m_socket.Set(std::move(fd));
    return 1;
}

int CUdpSocket::Close()
{
    m_socket.Close();
    return 1;
}

int CUdpSocket::Bind(const tagNetAddr &addr)
{
    if (!Create()) return 0;
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    const sockaddr_in sa = ToSockAddr(addr);
    return fd && ::bind(fd->Fd(), reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0 ? 1 : 0;
}

int CUdpSocket::RecvFrom(tagNetAddr &from, char *buffer, int &length)
{
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    if (!fd || !buffer || length <= 0) {
        length = -1;
        return 0;
    }
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    // MSG_TRUNC makes recvfrom give the datagram's real size, so a cut one is seen.
    const ssize_t n = fd->Io(POLLIN, [&](SOCKET s) {
        return ::recvfrom(s, buffer, static_cast<size_t>(length), MSG_TRUNC,
                          reinterpret_cast<sockaddr *>(&sa), &len);
    });
    if (n < 0) {
        length = -1;
        return 0;
    }
    if (n > length) {
        length = 0;
        return 0;
    }
    length = static_cast<int>(n);
    from = FromSockAddr(sa);
    return length;
}

int CUdpSocket::SendTo(const tagNetAddr &to, const void *data, int length)
{
    if (!Create() || length < 0) return 0;
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    if (!fd) return 0;
    const sockaddr_in sa = ToSockAddr(to);
    const ssize_t n = fd->Io(POLLOUT, [&](SOCKET s) {
        return ::sendto(s, data, static_cast<size_t>(length), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
    });
    return n == length ? 1 : 0;
}

int CUdpSocket::GetSockName(tagNetAddr &addr) const
{
    const std::shared_ptr<CSocketFd> fd = m_socket.Get();
    if (!fd) return -1;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(fd->Fd(), reinterpret_cast<sockaddr *>(&sa), &len) != 0) return -1;
    addr = FromSockAddr(sa);
    return 0;
}
