// The serving end of a request/reply service between processes: a mail box whose id is the
// service id, read by a table of message handlers. Requests come in through the packet
// dispatcher; a handler answers with ACK, which sends the reply back to the asking client.
// A request whose message has no handler gets no reply (the client sees its time-out).
//
// A class that adds handlers stops the server in its own destructor, so that no handler
// runs on a half-destroyed object.
#pragma once

#include "Kest20/ClassA.h"
#include "KestLib20/CPacket.h"
#include "devext/Devext20Api.h"
#include "devext/device/CArgListA.h"

#include <cstdint>
#include <memory>

class CAutoMailBox;

// A message handler: called with its context, the message id and the request packet.
using tagOnMessage = int (*)(void *context, int messageId, CPacket &request);

class DEVEXT20_API CNetServerA : public CClassA {
    DECLARE_KEST_CLASS(CNetServerA)

    static constexpr const char *kDefaultName = "Unkown NetServr";

    CNetServerA();
    // A server of its own mail box: id = the service id, named with the name (cut to 15).
    CNetServerA(const char *name, uint16_t serviceId);
    // A server that reads `box` instead of a mail box of its own. The box is the caller's,
    // who keeps it alive until the server is deactivated (or detached) or destroyed.
    explicit CNetServerA(CAutoMailBox *box);
    // Stops the server.
    ~CNetServerA() override;
    CNetServerA(const CNetServerA &) = delete;
    CNetServerA &operator=(const CNetServerA &) = delete;

    // Appends a handler for `messageId`; the first entry of an id is the one used. 1.
    int SetMsgHandler(tagOnMessage handler, void *context, int messageId);
    // The member function `Member` of `context`: int (int messageId, CPacket &request).
    template <auto Member, class T> int SetMsgHandler(T *context, int messageId)
    {
        return SetMsgHandler(
            [](void *c, int id, CPacket &request) -> int {
                return (static_cast<T *>(c)->*Member)(id, request);
            },
            context, messageId);
    }

    // Reads the active mail box and starts it; the start's result.
    int Start();
    // Stops reading the active mail box (waiting for a handler in progress, unless called
    // from one) and stops the own mail box; 1.
    int Stop();
    // The own mail box becomes the active one again; 0.
    int Detach();

    int32_t OnInitInstance() override;
    // Start.
    int32_t OnActiveInstance() override;
    // Stop, then Detach; 1.
    int32_t OnDeactiveInstance() override;

    // Calls the first handler of the request's message id: 1 when there was one (whatever
    // it returned), 0 when there was none or the packet has no 32-byte head.
    int DispHandler(CPacket &request);

    // Sends `reply` (a packet with a 32-byte head) back to the client of `request`, with the
    // low 16 bits of `result`; the send's result.
    static int ACK(CPacket &request, int result, CPacket &reply);
    // The same with the values packed into a new packet.
    static int ACK(CPacket &request, int result, const CArgListA &values);

private:
    struct Impl;
    std::unique_ptr<Impl> _Impl;
};
