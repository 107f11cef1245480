#include "devext/device/CTcpSession.h"

#include "platform/Thread.h"

#include <mutex>

// The session's thread handle; its thread clears it when it ends, also after a give-up.
struct CTcpSession::ThreadHolder {
    std::mutex lock;
    plat::Thread thread;

    void ClearIf(uint32_t id)
    {
        std::lock_guard<std::mutex> lk(lock);
        if (thread.Valid() && thread.Id() == id) thread.Close();
    }
};

CTcpSession::CTcpSession(SOCKET s) : m_Socket(s), m_pThread(std::make_shared<ThreadHolder>()) {}

CTcpSession::~CTcpSession()
{
    Stop();
}

int CTcpSession::DoShell()
{
    return 0;
}

void CTcpSession::RunShell()
{
    try {
        DoShell();
    } catch (...) {
        // A failing shell ends its own connection only.
    }
    CloseSocket();
    if (m_pfnEnded) m_pfnEnded();
}

int CTcpSession::Start(bool threaded)
{
    if (!IsConnected()) return 0;
    std::unique_lock<std::mutex> lk(m_pThread->lock);
    if (m_pThread->thread.IsRunning()) return 1;
    if (!threaded) {
        lk.unlock();
        RunShell();
        return 1;
    }
    // Holding the session keeps it alive for a thread given up by a stop.
    m_pThread->thread =
        plat::Thread::Start([this, self = weak_from_this().lock(), holder = m_pThread]() mutable {
            RunShell();
            holder->ClearIf(plat::GetCurrentThreadId());
            self.reset(); // may end the session, here on its own thread
            return 0u;
        });
    return m_pThread->thread.Valid() ? 1 : 0;
}

void CTcpSession::Stop()
{
    CloseSocket();
    plat::Thread thread;
    {
        std::lock_guard<std::mutex> lk(m_pThread->lock);
        thread = m_pThread->thread;
    }
    const uint32_t id = thread.Id();
    thread.StopWithin(kStopBoundMs, 0);
    if (id) m_pThread->ClearIf(id);
}

int CTcpSession::SendFormat(const char *format, ...)
{
    if (!IsConnected() || !format) return -1;
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    return m_Socket.Send(text.GetString(), text.GetLength());
}
