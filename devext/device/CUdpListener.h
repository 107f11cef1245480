// A UDP socket bound to one address and port with a receive thread that hands each datagram,
// with its sender, to a receive handler. A class that overrides OnRecv stops the listener in
// its own destructor.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CUdpSocket.h"
#include "devext/device/NetAddr.h"
#include "platform/Thread.h"

#include <functional>
#include <memory>
#include <mutex>

class DEVEXT20_API CUdpListener {
public:
    // Sized for the largest datagram there is: nothing the system sends is ever cut.
    static constexpr int kRecvBufferSize = 65536;
    static constexpr uint32_t kPauseMs = 50;
    static constexpr uint32_t kStopBoundMs = 3000;

    using RecvHandler = std::function<int(char *data, int length, const tagNetAddr &from)>;

    CUdpListener() = default;
    virtual ~CUdpListener();
    CUdpListener(const CUdpListener &) = delete;
    CUdpListener &operator=(const CUdpListener &) = delete;

    // The receive handler: `handler` of `target`, called on the receive thread.
    template <class T>
    void SetReceiver(T *target, int (T::*handler)(char *, int, const tagNetAddr &))
    {
        RecvHandler call;
        if (target && handler)
            call = [target, handler](char *data, int length, const tagNetAddr &from) {
                return (target->*handler)(data, length, from);
            };
        std::lock_guard<std::mutex> lk(m_lock);
        m_handler = std::move(call);
    }

    // Only while stopped: 0 when running, else 1.
    int SetAddress(const tagNetAddr &addr);
    tagNetAddr GetAddress() const;
    // The port the socket is bound to (the system's choice when 0 was asked); 0 when closed.
    uint16_t GetBoundPort() const;
    bool IsRunning() const;

    // 1 when running; opens and binds the socket, then starts the receive thread.
    virtual int Start();
    // Closes the socket, which ends the receive thread's wait, and waits for the thread.
    virtual void Stop();
    // 1 when the socket is open or could be opened and bound.
    virtual int Open();
    // Calls the receive handler when one is set and returns its result; 0 otherwise.
    virtual int OnRecv(char *data, int length, const tagNetAddr &from);

private:
    struct Receiver;

    mutable std::mutex m_lock;
    RecvHandler m_handler;
    plat::Thread m_thread;
    std::shared_ptr<Receiver> m_receiver; // what the receive thread shares
    tagNetAddr m_addr;
    CUdpSocket m_socket;
};
