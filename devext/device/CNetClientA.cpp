#include "devext/device/CNetClientA.h"

#include "Kest20/PostOfficeApi.h"
#include "KestLib20/CAckMailBox.h"
#include "devext/device/CNetDisp.h"
#include "devext/device/NetHead.h"

#include <mutex>

IMPLEMENT_KEST_CLASS(CNetClientA, CClassA)

struct CNetClientA::Impl {
    CAckMailBox ackBox{glGetPostOffice(), 0};
    std::mutex callLock; // one call at a time
    mutable std::mutex fieldLock;
    tagNetAddr destination;
    int lastResult = 0;
    int replyTimeout = kDefaultReplyTimeout;
};

CNetClientA::CNetClientA() : CNetClientA(0) {}

CNetClientA::CNetClientA(uint16_t serviceId)
    : m_nServiceId(serviceId), _Impl(std::make_unique<Impl>())
{
}

CNetClientA::~CNetClientA() = default;

int CNetClientA::ConnectTo(const tagNetAddr &destination)
{
    std::lock_guard<std::mutex> lk(_Impl->fieldLock);
    _Impl->destination = destination;
    _Impl->lastResult = 0;
    return 1;
}

tagNetAddr CNetClientA::GetDestination() const
{
    std::lock_guard<std::mutex> lk(_Impl->fieldLock);
    return _Impl->destination;
}

int CNetClientA::GetLastResult() const
{
    std::lock_guard<std::mutex> lk(_Impl->fieldLock);
    return _Impl->lastResult;
}

void CNetClientA::SetLastResult(int result)
{
    std::lock_guard<std::mutex> lk(_Impl->fieldLock);
    _Impl->lastResult = result;
}

int CNetClientA::GetReplyTimeout() const
{
    std::lock_guard<std::mutex> lk(_Impl->fieldLock);
    return _Impl->replyTimeout;
}

void CNetClientA::SetReplyTimeout(int ms)
{
    std::lock_guard<std::mutex> lk(_Impl->fieldLock);
    _Impl->replyTimeout = ms;
}

int CNetClientA::RemoteProc(int messageId, CPacket &request)
{
    CNetDisp *disp = CNetDisp::GetProcessDisp();
    if (!disp || !SetRequestHead(request, messageId, 0)) return 0;
    return disp->SendPacket(request);
}

int CNetClientA::RemoteProc(int messageId, const CArgListA &request)
{
    CPacket packet = glNewNetPacket();
    request.Pack(packet);
    return RemoteProc(messageId, packet);
}

int CNetClientA::SetRequestHead(CPacket &request, int messageId, int32_t replyBox)
{
    tagNetHead head;
    if (!glGetNetHead(request, head)) return 0;
    head.destination = GetDestination();
    head.serviceId = m_nServiceId;
    head.messageId = static_cast<uint16_t>(messageId);
    head.replyBox = static_cast<uint16_t>(replyBox);
    head.result = 0;
    head.word24 = 0;
    head.dword28 = 0;
    return glSetNetHead(request, head);
}

CNetDisp *CNetClientA::BeginCall(int messageId, int count, CPacket &request)
{
    CNetDisp *disp = CNetDisp::GetProcessDisp();
    if (!disp || !disp->OK() || !glHasNetHead(request)) return nullptr;
    _Impl->ackBox.SetAckCount(count);
    const int32_t boxId = _Impl->ackBox.EnableMailBox();
    if (!boxId) return nullptr;
    SetRequestHead(request, messageId, boxId);
    return disp;
}

void CNetClientA::EndCall()
{
    _Impl->ackBox.DisableMailBox();
    _Impl->ackBox.Unregister();
}

int CNetClientA::RemoteFunc(int messageId, CPacket &request, CPacket &reply)
{
    std::lock_guard<std::mutex> call(_Impl->callLock);
    CNetDisp *disp = BeginCall(messageId, 1, request);
    int result = 0;
    if (disp && disp->SendPacket(request))
        result = _Impl->ackBox.WaitForACK(reply, GetReplyTimeout());
    EndCall();
    SetLastResult(result);
    return result;
}

int CNetClientA::RemoteFunc(int messageId, const CArgListA &in, const CArgListA &out)
{
    CPacket request = glNewNetPacket();
    in.Pack(request);
    CPacket reply;
    tagNetHead head;
    if (!RemoteFunc(messageId, request, reply) || !glGetNetHead(reply, head)) return 0;
    out.Unpack(reply);
    return head.result;
}

int CNetClientA::Ask4Group(uint16_t messageId, uint16_t firstPort, uint16_t lastPort,
                           uint16_t count, CPacket &request, CArray<CPacket> &replies)
{
    std::lock_guard<std::mutex> call(_Impl->callLock);
    CNetDisp *disp = BeginCall(messageId, count, request);
    int result = 0;
    if (disp) {
        for (int port = firstPort; port <= lastPort; ++port) {
            tagNetHead head;
            glGetNetHead(request, head);
            head.destination.port = static_cast<uint16_t>(port);
            glSetNetHead(request, head);
            disp->SendPacket(request);
        }
        result = _Impl->ackBox.WaitForACK(replies, GetReplyTimeout());
    }
    EndCall();
    SetLastResult(result);
    return result;
}

int CNetClientA::Ask4Group(uint16_t messageId, uint16_t firstPort, uint16_t lastPort,
                           uint16_t count, const CArgListA &request, CArray<CPacket> &replies)
{
    CPacket packet = glNewNetPacket();
    request.Pack(packet);
    return Ask4Group(messageId, firstPort, lastPort, count, packet, replies);
}

int CNetClientA::Ask4Group(uint16_t messageId, uint16_t firstPort, uint16_t lastPort,
                           CPacket &request, CPacket &reply)
{
    CArray<CPacket> replies;
    const int result = Ask4Group(messageId, firstPort, lastPort, 1, request, replies);
    if (!replies.IsEmpty()) reply = replies[0];
    return result;
}

int CNetClientA::Ask4Group(uint16_t messageId, uint16_t firstPort, uint16_t lastPort,
                           const CArgListA &request, CPacket &reply)
{
    CPacket packet = glNewNetPacket();
    request.Pack(packet);
    return Ask4Group(messageId, firstPort, lastPort, packet, reply);
}

void CNetClientA::ReleaseAll()
{
    iRtc *rtc = GetClassID();
    for (int32_t i = rtc->GetInstanceCount() - 1; i >= 0; --i) {
        void *instance = rtc->GetInstance(i);
        if (!instance) continue;
        auto *client = static_cast<CNetClientA *>(static_cast<IClassA *>(instance));
        client->_Impl->ackBox.OnCtrl(IMailBoxA::kCtrlStopWait, 0);
    }
}
