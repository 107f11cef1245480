// A sender of net messages. Every message is broadcast to the station's port (the port of the
// server in the client's slot, 7080 without one); a request waits for its answer in a reply
// queue of that server. Answers are whole messages that the caller frees with free().
#pragma once

#include "KestLib20/CDataLock.h"
#include "KestLib20/CNetMsgServer.h"
#include "KestLib20/NetMsg.h"

#include <cstdint>

class CNetMsgClient {
public:
    explicit CNetMsgClient(INetMsgServer **serverSlot = nullptr, int32_t replyTimeout = 4000);
    virtual ~CNetMsgClient();
    CNetMsgClient(const CNetMsgClient &) = delete;
    CNetMsgClient &operator=(const CNetMsgClient &) = delete;

    // A UDP socket with broadcasting on, when none is open; whether one is open.
    int32_t Open();
    void Close();

    // Broadcasts the message to `port` (0: the server's port); `address` has no effect.
    // Writes this process's id into the header as the sender. Whether the send went out.
    bool Post(uint32_t address, int32_t port, tagNetMsgHeader *header, const char **arguments);
    // Post with up to 64 strings ended by a null pointer.
    bool _Post(uint32_t address, int32_t port, tagNetMsgHeader *header, ...);
    // A request that waits up to the reply time-out for one answer; the answer or null (also
    // without a server).
    char *Send(uint32_t address, int32_t port, tagNetMsgHeader *header, const char **arguments);
    char *_Send(uint32_t address, int32_t port, tagNetMsgHeader *header, ...);
    // Send to the server's port; the answer's arguments are split into `answerArguments`
    // (`count`: capacity in, number out). The answer goes out through the result and
    // `*answer`.
    char *SendV(tagNetMsgHeader *header, const char **arguments, char **answer,
                const char **answerArguments, int32_t &count);
    // A request to several processes: collects answers for up to `timeout` ms in all, at most
    // `*count` - 1 of them (the list is closed with a null); `*count` and the result are the
    // number collected.
    int32_t Ask4Grp(uint32_t address, int32_t port, tagNetMsgHeader *header, const char **arguments,
                    char **answers, int32_t *count, int32_t timeout);
    // Answers a request: sent to its sender's reply queue. 0 (nothing sent) when the request
    // wants no answer.
    bool Ack(const tagNetMsgHeader *request, tagNetMsgHeader *answer, const char **arguments);

    int32_t GetReplyTimeOut() const { return m_nReplyTimeOut; }
    void SetReplyTimeOut(int32_t ms) { m_nReplyTimeOut = ms; }
    void SetServerSlot(INetMsgServer **slot) { m_ppServer = slot; }

protected:
    INetMsgServer *Server() const { return m_ppServer ? *m_ppServer : nullptr; }

private:
    // Posts to a reply queue made for the request and hands the queue to `collect`; the
    // queue is deleted afterwards.
    template <class Collect>
    auto Request(int32_t port, tagNetMsgHeader *header, const char **arguments, int32_t lifetime,
                 Collect collect) -> decltype(collect(0));

    int m_socket = 0; // 0 or less: not open; -1 after Close
    int32_t m_nReplyTimeOut;
    CDataLock m_sendLock; // one send at a time on the socket
    INetMsgServer **m_ppServer;
};
