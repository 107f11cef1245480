// The asking end of a request/reply service between processes: sends requests to the service
// id of a server in another process through the packet dispatcher and waits, for at most its
// reply time-out, for the reply in an acknowledgement mail box of its own. Calls return 1 or
// 0 and log nothing; a missing reply is a time-out. One call runs at a time per client.
#pragma once

#include "Kest20/ClassA.h"
#include "KestLib20/CPacket.h"
#include "devext/Devext20Api.h"
#include "devext/device/CArgListA.h"
#include "devext/device/NetAddr.h"
#include "platform/Collections.h"

#include <cstdint>
#include <memory>

class CNetDisp;

class DEVEXT20_API CNetClientA : public CClassA {
    DECLARE_KEST_CLASS(CNetClientA)

    static constexpr int kDefaultReplyTimeout = 4000;

    CNetClientA();
    explicit CNetClientA(uint16_t serviceId);
    ~CNetClientA() override;
    CNetClientA(const CNetClientA &) = delete;
    CNetClientA &operator=(const CNetClientA &) = delete;

    // Sets the destination; the last result becomes 0. 1.
    int ConnectTo(const tagNetAddr &destination);
    tagNetAddr GetDestination() const;
    uint16_t GetServiceId() const { return m_nServiceId; }
    int GetLastResult() const;
    int GetReplyTimeout() const;
    void SetReplyTimeout(int ms);

    // One-way call: the send's result.
    int RemoteProc(int messageId, CPacket &request);
    int RemoteProc(int messageId, const CArgListA &request);
    // Request and reply: 1 when the reply came (handed over in `reply`), 0 otherwise.
    int RemoteFunc(int messageId, CPacket &request, CPacket &reply);
    // The values of the reply go into `out`, and the result is the reply's result word; 0 and
    // `out` untouched when no reply came.
    int RemoteFunc(int messageId, const CArgListA &in, const CArgListA &out);
    // Sends the request to every port from `firstPort` to `lastPort` of the destination's IP
    // address and waits for `count` replies or the time-out: the number of replies, which
    // are handed over in `replies`.
    int Ask4Group(uint16_t messageId, uint16_t firstPort, uint16_t lastPort, uint16_t count,
                  CPacket &request, CArray<CPacket> &replies);
    int Ask4Group(uint16_t messageId, uint16_t firstPort, uint16_t lastPort, uint16_t count,
                  const CArgListA &request, CArray<CPacket> &replies);
    // Waits for one reply, handed over in `reply`.
    int Ask4Group(uint16_t messageId, uint16_t firstPort, uint16_t lastPort, CPacket &request,
                  CPacket &reply);
    int Ask4Group(uint16_t messageId, uint16_t firstPort, uint16_t lastPort,
                  const CArgListA &request, CPacket &reply);

    // Wakes every waiting call of every client, so that it returns at once (at shutdown).
    static void ReleaseAll();

private:
    struct Impl;

    // Writes the head of a request to this client's service at its destination; 0 without a
    // 32-byte head.
    int SetRequestHead(CPacket &request, int messageId, int32_t replyBox);
    // Enables the acknowledgement box for `count` replies and writes the request head; the
    // dispatcher to send with, null when there is no listening dispatcher, the request has
    // no 32-byte head or the box cannot be enabled.
    CNetDisp *BeginCall(int messageId, int count, CPacket &request);
    // Gives the box's id back, so that a reply that comes late finds no box instead of
    // passing for the reply of a later call.
    void EndCall();
    void SetLastResult(int result);

    const uint16_t m_nServiceId;
    std::unique_ptr<Impl> _Impl;
};
