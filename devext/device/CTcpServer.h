// A TCP server: accepts connections on a thread of its own and hands each to a session made
// by the session factory. With a user count of 1 the sessions are served one after another on
// the accept thread; above 1 each gets a thread of its own, and at most that many sessions are
// served at once: a connection over the count waits until a session ends, and is closed with a
// line on "LOG_ERROR" when none has within kTurnWaitMs (the connections after it wait meanwhile
// as they do for a count of 1). A failed accept (out of descriptors), or a session that cannot
// get its own descriptor or thread, is logged there too, once a spell, and the next accept
// follows after a pause.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CTcpSession.h"
#include "platform/Thread.h"

#include <cstdint>
#include <memory>
#include <mutex>

class DEVEXT20_API CTcpServer {
public:
    // Makes the session for an accepted socket, taking the socket over; null leaves the
    // socket to the server, which closes it.
    using SessionFactory = CTcpSession *(*)(void *context, SOCKET s);

    static constexpr int kBacklog = 5;
    static constexpr uint32_t kStopBoundMs = 1000;
    // Pause after a failed accept before the next.
    static constexpr uint32_t kAcceptRetryMs = 500;
    // How long a connection over the user count waits for a session to end.
    static constexpr uint32_t kTurnWaitMs = 30000;

    explicit CTcpServer(int port);
    ~CTcpServer();
    CTcpServer(const CTcpServer &) = delete;
    CTcpServer &operator=(const CTcpServer &) = delete;

    // The user count and the factory apply from the next Start.
    void SetUserCount(int count) { m_nUserCount = count; }
    int GetUserCount() const { return m_nUserCount; }
    void SetSessionFactory(SessionFactory factory, void *context)
    {
        m_pFactory = factory;
        m_pFactoryContext = context;
    }
    int GetPort() const { return m_nPort; }
    // The port listened on (the system's choice when the port is 0); 0 when not running.
    uint16_t GetBoundPort() const;

    // 0 at once when running; 1 when listening on every local address with the accept thread
    // started, 0 on failure.
    int Start();
    // Closes the listening socket and every session, waits for the accept thread and the
    // session threads (each given up after the bound) and releases the sessions.
    void Stop();
    // The listening socket is open.
    bool IsRunning() const;

private:
    struct Shared;

    static void AcceptLoop(Shared &shared);

    int m_nPort;
    int m_nUserCount = 1;
    void *m_pFactoryContext = nullptr;
    SessionFactory m_pFactory = nullptr;

    mutable std::mutex m_lock;
    std::shared_ptr<Shared> m_pShared; // what the accept thread shares
    plat::Thread m_thread;
};
