// The net-message server of a process: a UDP socket on the station's port, a receive thread
// that hands each message addressed to this process to OnRecvMessage (channels 0-255) or to a
// reply queue (256 and up), and the reply queues that requesters wait on.
#pragma once

#include "KestLib20/CNetMsgQueue.h"
#include "KestLib20/NetMsg.h"

#include <cstdint>
#include <memory>

class INetMsgServer {
public:
    // Does nothing here; returns 0 (a derived server may lock something of its own).
    virtual int32_t LockServer(int32_t lock) = 0;
    // The slot that holds the server; one is made (and set) when the server has none.
    virtual INetMsgServer **GetActivePtr() = 0;
    // 0 when no thread runs; else ends the thread (waiting up to 500 ms, then giving it up)
    // and forgets every reply queue; 1.
    virtual int32_t Stop() = 0;
    // Opens the socket (0 when that fails) and starts the receive thread; 1.
    virtual int32_t Start() = 0;
    // 1 while the receive thread serves.
    virtual int32_t IsActive() = 0;
    virtual int32_t GetServerPort() = 0;
    virtual int32_t CreateQueue(int32_t lifetime, int32_t id) = 0;
    // A message (freed by the caller with free()) or null.
    virtual char *GetMsgFromQueue(int32_t id, int32_t timeout) = 0;
    virtual int32_t DeleteQueue(int32_t id) = 0;
    // Whether a message for `target` is for this process: its own id, or node 1, pid 0.
    virtual int32_t OnCanAccept(NETPID &target) = 0;
    // A message on channels 0-255; `fromAddress` is the sender's IPv4 address in network
    // byte order. Returns 1 and does nothing here.
    virtual int32_t OnRecvMessage(tagNetMsgHeader &header, uint32_t fromAddress,
                                  const char **arguments) = 0;
    // Called after 5 s without a datagram. Returns 1 and does nothing here.
    virtual int32_t OnIdle() = 0;
    // Dispatches one received message of `size` bytes; `message` holds one byte more, which
    // may be overwritten. Messages whose length field is below 40 or above `size` are refused.
    virtual int32_t HandleMsg(char *message, int32_t size, uint32_t fromAddress) = 0;

protected:
    ~INetMsgServer() = default;
};

// A server owned through a std::shared_ptr is kept alive by its receive thread while that
// runs, so a thread given up inside a handler never finds it gone. An owner that does not
// share ownership must not go while a handler of its own may hang.
class CNetMsgServer : public INetMsgServer, public std::enable_shared_from_this<CNetMsgServer> {
public:
    // The wait for a datagram is a wait on the socket and runs in real time; whatever a
    // derived server measures (the kernel's heartbeat and silence) comes from the time source.
    static constexpr uint32_t kIdleWait = 5000;
    static constexpr uint32_t kStopBound = 500;

    // Sets `slot` (may be null) to the server; port 0 means 7080.
    explicit CNetMsgServer(INetMsgServer **slot = nullptr, int32_t port = 0);
    // Stops the server and clears the slot.
    virtual ~CNetMsgServer();
    CNetMsgServer(const CNetMsgServer &) = delete;
    CNetMsgServer &operator=(const CNetMsgServer &) = delete;

    int32_t LockServer(int32_t lock) override;
    INetMsgServer **GetActivePtr() override;
    int32_t Stop() override;
    int32_t Start() override;
    int32_t IsActive() override;
    int32_t GetServerPort() override;
    int32_t CreateQueue(int32_t lifetime, int32_t id) override;
    char *GetMsgFromQueue(int32_t id, int32_t timeout) override;
    int32_t DeleteQueue(int32_t id) override;
    int32_t OnCanAccept(NETPID &target) override;
    int32_t OnRecvMessage(tagNetMsgHeader &header, uint32_t fromAddress,
                          const char **arguments) override;
    int32_t OnIdle() override;
    int32_t HandleMsg(char *message, int32_t size, uint32_t fromAddress) override;

private:
    struct _Impl;
    struct Run;
    static void Receive(CNetMsgServer *server, const std::shared_ptr<CNetMsgServer> &keepAlive,
                        const std::shared_ptr<Run> &run);

    const std::shared_ptr<_Impl> m_pImpl;
};
