#include "devext/device/CNetServerA.h"

#include "Kest20/PostOfficeApi.h"
#include "KestLib20/CQueueMailBox.h"
#include "devext/device/CNetDisp.h"
#include "devext/device/NetHead.h"

#include <algorithm>
#include <mutex>
#include <vector>

IMPLEMENT_KEST_CLASS(CNetServerA, CClassA)

namespace {

struct tagMsgEntry {
    int messageId;
    void *context;
    tagOnMessage handler;
};

} // namespace

struct CNetServerA::Impl {
    Impl(IPostOffice *office, uint16_t serviceId, const char *name) : ownBox(office, serviceId)
    {
        ownBox.SetMailBoxName(name);
        activeBox = &ownBox;
    }

    CAutoMailBox ownBox;
    CAutoMailBox *activeBox;
    std::mutex tableLock; // the table may grow while the server serves
    std::vector<tagMsgEntry> table;
};

CNetServerA::CNetServerA() : CNetServerA(kDefaultName, 0) {}

CNetServerA::CNetServerA(const char *name, uint16_t serviceId)
    : _Impl(std::make_unique<Impl>(glGetPostOffice(), serviceId, name))
{
}

CNetServerA::CNetServerA(CAutoMailBox *box) : _Impl(std::make_unique<Impl>(nullptr, 0, ""))
{
    if (box) _Impl->activeBox = box;
}

CNetServerA::~CNetServerA()
{
    Stop();
}

int CNetServerA::SetMsgHandler(tagOnMessage handler, void *context, int messageId)
{
    std::lock_guard<std::mutex> lk(_Impl->tableLock);
    _Impl->table.push_back({messageId, context, handler});
    return 1;
}

int CNetServerA::Start()
{
    CAutoMailBox *box = _Impl->activeBox;
    box->AddReader(tagMailReader::Of<&CNetServerA::DispHandler>(this), this);
    return box->Start();
}

int CNetServerA::Stop()
{
    _Impl->activeBox->RemoveReader(this);
    _Impl->ownBox.Stop();
    return 1;
}

int CNetServerA::Detach()
{
    _Impl->activeBox = &_Impl->ownBox;
    return 0;
}

int32_t CNetServerA::OnInitInstance()
{
    return 1;
}

int32_t CNetServerA::OnActiveInstance()
{
    return Start();
}

int32_t CNetServerA::OnDeactiveInstance()
{
    Stop();
    Detach();
    return 1;
}

int CNetServerA::DispHandler(CPacket &request)
{
    tagNetHead head;
    if (!glGetNetHead(request, head)) return 0;
    tagMsgEntry entry{};
    {
        std::lock_guard<std::mutex> lk(_Impl->tableLock);
        auto it = std::find_if(_Impl->table.begin(), _Impl->table.end(),
                               [&](const tagMsgEntry &e) { return e.messageId == head.messageId; });
        if (it == _Impl->table.end()) return 0;
        entry = *it;
    }
    if (entry.context && entry.handler) entry.handler(entry.context, entry.messageId, request);
    return 1;
}

int CNetServerA::ACK(CPacket &request, int result, CPacket &reply)
{
    CNetDisp *disp = CNetDisp::GetProcessDisp();
    tagNetHead asked;
    tagNetHead answer;
    if (!disp || !glGetNetHead(request, asked) || !glGetNetHead(reply, answer)) return 0;
    answer.destination = asked.source;
    answer.destinationReserved = asked.sourceReserved;
    answer.source = asked.destination;
    answer.sourceReserved = asked.destinationReserved;
    answer.serviceId = tagNetHead::kReplyService;
    answer.messageId = tagNetHead::kReplyMessage;
    answer.replyBox = asked.replyBox;
    answer.result = static_cast<uint16_t>(result);
    answer.word24 = 0;
    answer.dword28 = 0;
    glSetNetHead(reply, answer);
    return disp->SendPacket(reply);
}

int CNetServerA::ACK(CPacket &request, int result, const CArgListA &values)
{
    CPacket reply = glNewNetPacket();
    values.Pack(reply);
    return ACK(request, result, reply);
}
