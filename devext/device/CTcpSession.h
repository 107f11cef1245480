// One accepted TCP connection served by a shell: DoShell runs on the caller's thread or on a
// thread of the session's own, and the socket closes when it returns. A session owned through
// a shared_ptr (as a server's sessions are) is kept alive by its thread until DoShell returns;
// a derived class owned otherwise stops the session in its own destructor.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CTcpSocket.h"

#include <cstdint>
#include <functional>
#include <memory>

class DEVEXT20_API CTcpSession : public std::enable_shared_from_this<CTcpSession> {
public:
    static constexpr uint32_t kStopBoundMs = 1000;

    // Takes ownership of the accepted socket.
    explicit CTcpSession(SOCKET s);
    virtual ~CTcpSession();
    CTcpSession(const CTcpSession &) = delete;
    CTcpSession &operator=(const CTcpSession &) = delete;

    // Serves the connection; returns 0 here.
    virtual int DoShell();

    // 0 when the socket is closed, else 1: unthreaded, DoShell runs now and the socket is
    // closed after it; threaded, a thread does so (nothing new when it already runs).
    int Start(bool threaded);
    // Closes the socket and waits for the session's thread, giving it up after the bound.
    void Stop();
    // 0 when an open socket was closed, -1 when none was.
    int CloseSocket() { return m_Socket.Close(); }
    bool IsConnected() const { return m_Socket.IsOpen(); }
    // Formats and sends the whole text, however long: the byte count, or -1 when the socket
    // is closed or the send failed.
    int SendFormat(const char *format, ...) __attribute__((format(printf, 2, 3)));
    // Called once DoShell has returned and the socket is closed (on the session's thread when
    // threaded). Set before Start.
    void SetEndNotify(std::function<void()> notify) { m_pfnEnded = std::move(notify); }

protected:
    CTcpSocket &Socket() { return m_Socket; }

private:
    struct ThreadHolder;

    void RunShell();

    CTcpSocket m_Socket;
    std::shared_ptr<ThreadHolder> m_pThread;
    std::function<void()> m_pfnEnded;
};
