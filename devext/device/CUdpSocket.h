// A UDP socket over IPv4. Copies share the socket. A datagram larger than the buffer it is
// received into is refused, never handed out cut short.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CSocketFd.h"
#include "devext/device/NetAddr.h"

class DEVEXT20_API CUdpSocket {
public:
    // 1 when open (an open socket is kept).
    int Create();
    // Closes an open socket (a receive waiting on it ends); returns 1.
    int Close();
    bool IsOpen() const { return m_socket.IsOpen(); }
    // Opens the socket first; 1 when bound.
    int Bind(const tagNetAddr &addr);
    // Waits for one datagram into `buffer` (`length` bytes): its byte count and sender.
    // 0 when nothing came: the socket failed or was closed (`length` becomes -1), or the
    // datagram was empty or did not fit (`length` becomes 0, the datagram is dropped).
    int RecvFrom(tagNetAddr &from, char *buffer, int &length);
    // 1 when the datagram was sent (the socket is opened first).
    int SendTo(const tagNetAddr &to, const void *data, int length);
    // The address the socket is bound to; 0 on success, -1 otherwise.
    int GetSockName(tagNetAddr &addr) const;

private:
    CSocketRef m_socket;
};
