#include "devext/device/CUdpListener.h"

#include <vector>

// What the receive thread touches besides the listener's OnRecv: it outlives a listener that
// gave the thread up.
struct CUdpListener::Receiver {
    explicit Receiver(const CUdpSocket &s) : socket(s) {}
    CUdpSocket socket; // shares the listener's socket
    plat::Event stop{true, false};
};

CUdpListener::~CUdpListener()
{
    Stop();
}

int CUdpListener::SetAddress(const tagNetAddr &addr)
{
    if (IsRunning()) return 0;
    std::lock_guard<std::mutex> lk(m_lock);
    m_addr = addr;
    return 1;
}

tagNetAddr CUdpListener::GetAddress() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_addr;
}

uint16_t CUdpListener::GetBoundPort() const
{
    tagNetAddr bound;
    return m_socket.GetSockName(bound) == 0 ? bound.port : 0;
}

bool CUdpListener::IsRunning() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_thread.IsRunning();
}

int CUdpListener::Open()
{
    if (m_socket.IsOpen()) return 1;
    if (m_socket.Bind(GetAddress())) return 1;
    m_socket.Close();
    return 0;
}

int CUdpListener::Start()
{
    if (IsRunning()) return 1;
    if (!Open()) return 0;
    auto receiver = std::make_shared<Receiver>(m_socket);
    plat::Thread thread = plat::Thread::Start([this, receiver] {
        std::vector<char> buffer(kRecvBufferSize);
        while (receiver->socket.IsOpen() && !receiver->stop.IsSet()) {
            tagNetAddr from;
            int length = kRecvBufferSize;
            if (receiver->socket.RecvFrom(from, buffer.data(), length) > 0) {
                if (!receiver->stop.IsSet()) OnRecv(buffer.data(), length, from);
            } else {
                receiver->stop.Wait(kPauseMs);
            }
        }
        return 0u;
    });
    if (!thread.Valid()) {
        m_socket.Close();
        return 0;
    }
    std::lock_guard<std::mutex> lk(m_lock);
    m_thread = std::move(thread);
    m_receiver = std::move(receiver);
    return 1;
}

void CUdpListener::Stop()
{
    plat::Thread thread;
    std::shared_ptr<Receiver> receiver;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        std::swap(thread, m_thread);
        std::swap(receiver, m_receiver);
    }
    if (receiver) receiver->stop.Set();
    m_socket.Close();
    thread.StopWithin(kStopBoundMs, 0);
}

int CUdpListener::OnRecv(char *data, int length, const tagNetAddr &from)
{
    RecvHandler handler;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        handler = m_handler;
    }
    return handler ? handler(data, length, from) : 0;
}
