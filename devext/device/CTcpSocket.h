// A TCP socket over IPv4 with line-oriented reading. Addresses are in network byte order and
// ports in host order. Any thread may close the socket while another waits on it: the wait
// ends and its call fails.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CRecvBuffer.h"
#include "devext/device/CSocketFd.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <memory>
#include <netinet/in.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>

class DEVEXT20_API CTcpSocket {
public:
    // Size of the socket's own receive buffer, used by ReadLine(CString&) and the line lists.
    static constexpr int kRecvBufferSize = 1024;
    static constexpr int kLinePiece = 256;
    static constexpr int kFormatBufferSize = 512;

    using LineReceiver = std::function<void(const CString &line)>;

    CTcpSocket();
    // Takes ownership of an accepted socket.
    explicit CTcpSocket(SOCKET s);
    ~CTcpSocket();
    CTcpSocket(const CTcpSocket &) = delete;
    CTcpSocket &operator=(const CTcpSocket &) = delete;

    // Closes first when `fresh`; keeps an open socket, else opens one. The socket, or -1.
    SOCKET Create(bool fresh = false);
    // 0 when an open socket was closed, -1 when none was open.
    int Close();
    bool IsOpen() const { return m_socket.IsOpen(); }

    // Waits for a connection: the accepted socket (the caller owns it) with the peer's
    // address, or -1 when the socket failed or was closed.
    SOCKET Accept(uint32_t &ip, uint16_t &port);
    // The socket call's result (0 or -1); each opens the socket first.
    int Bind(uint32_t ip, uint16_t port);
    int Listen(int backlog);
    // setsockopt with an int value on the open socket: 0 or -1.
    int SetOption(int level, int option, int value);
    int Connect(uint32_t ip, uint16_t port);
    // Connects to the name's first address; -1 without connecting when it does not resolve.
    int Connect(const char *host, uint16_t port);

    // Bytes received (held line bytes first) or sent; 0 from the peer or an error closes
    // the socket and gives -1. Send sends all bytes.
    int Recv(void *buffer, int length);
    // Receives fail (and close the socket) once the platform's monotonic time reaches
    // `deadline` (nanoseconds); 0 lifts it.
    void SetRecvDeadline(uint64_t deadline) { m_recvDeadline.store(deadline); }
    // Waits, reading nothing, until the platform's monotonic time reaches `deadline`: true
    // then, false at once when the socket closes or the peer hangs up.
    bool Pause(uint64_t deadline);
    int Send(const void *buffer, int length);
    // The same as urgent data (TCP out-of-band): the last byte sent marks the urgent point.
    int SendUrgent(const void *buffer, int length);

    int GetPeerName(sockaddr_in &addr) const;
    int GetPeerName(uint32_t &ip, uint16_t &port) const;
    int GetSockName(sockaddr_in &addr) const;
    int GetSockName(uint32_t &ip, uint16_t &port) const;

    // Formats into 512 bytes and sends: the byte count; -1 when the text does not fit or the
    // send failed (which closes the socket).
    int SendFormat(const char *format, ...) __attribute__((format(printf, 2, 3)));
    // The same with a buffer of `bufferSize` bytes.
    int SendFormatV(int bufferSize, const char *format, va_list args);

    // One line into `buffer` (`size` bytes, zero-terminated) through `received`: the line's
    // length, CRecvBuffer::kPieceFull when it did not fit (call again for the rest), or the
    // negative receive result (the socket is then closed).
    int ReadLine(char *buffer, int size, CRecvBuffer &received);
    // One whole line in 256-byte pieces through the socket's own receive buffer: its length
    // or the negative error.
    int ReadLine(CString &line);
    // Lines until the connection ends; returns that negative result.
    int ReadLines(CStringList &lines);
    int ReadLines(const LineReceiver &receiver);
    // Each line followed by CR LF: the total of bytes sent, or the first negative result.
    int WriteLines(const CStringList &lines);

private:
    int SendWith(const void *buffer, int length, int flags);
    int RecvRaw(void *buffer, int length);
    int Fail(const std::shared_ptr<CSocketFd> &fd);
    int NameOf(bool peer, sockaddr_in &addr) const;

    CSocketRef m_socket;
    CRecvBuffer m_received{kRecvBufferSize};
    std::atomic<uint64_t> m_recvDeadline{0};
};
