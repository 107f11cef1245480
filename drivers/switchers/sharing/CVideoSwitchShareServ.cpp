#include "drivers/switchers/sharing/CVideoSwitchShareServ.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/CVideoSwitchA.h"
#include "drivers/switchers/sharing/SwitchShareMessages.h"

#include <initializer_list>
#include <vector>

using namespace swshare;

IMPLEMENT_KEST_CLASS(CVideoSwitchShareServ, CNetServerA)

namespace {

// The switcher `id` of the process's device manager, created and opened on first use.
CVideoSwitchA *FindSwitch(const CString &id)
{
    CVideoDevMgr *manager = CVideoDevMgr::m_pVideoDevMgr;
    return manager ? manager->GetVideoSwitchDev(id, 1, nullptr) : nullptr;
}

// One request: the device id and `values` are read from the request (too short: dropped, 0);
// `call` runs on the addressed switcher (none: result 0) and the reply carries its result and
// the `reply` values. 1.
template <class Call>
int Serve(CPacket &request, std::initializer_list<tagArgItem> values,
          std::initializer_list<tagArgItem> reply, Call call)
{
    CPacket packet = request; // a reference of its own while the request is served
    CString id;
    std::vector<tagArgItem> in{ArgOf(id)};
    in.insert(in.end(), values);
    if (!CArgListA(in.data(), static_cast<int>(in.size())).Unpack(packet)) return 0;
    CVideoSwitchA *sw = FindSwitch(id);
    const int result = sw ? call(*sw) : 0;
    std::vector<tagArgItem> out(reply);
    CNetServerA::ACK(packet, result, CArgListA(out.data(), static_cast<int>(out.size())));
    return 1;
}

} // namespace

CVideoSwitchShareServ::CVideoSwitchShareServ(const char *name) : CNetServerA(name, kServiceId)
{
    SetInstanceName(name);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevOpen>(this, kDevOpen);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevClose>(this, kDevClose);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevIsOpen>(this, kDevIsOpen);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevTest>(this, kDevTest);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevSetTransType>(this, kDevSetTransType);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevSetTransRate>(this, kDevSetTransRate);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevDirectTake>(this, kDevDirectTake);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevPreset>(this, kDevPreset);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevTake>(this, kDevTake);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevQueryPgmEntry>(this, kDevQueryPgmEntry);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevQueryPstEntry>(this, kDevQueryPstEntry);
    SetMsgHandler<&CVideoSwitchShareServ::OnDevQueryTransMode>(this, kDevQueryTransMode);
}

CVideoSwitchShareServ::~CVideoSwitchShareServ()
{
    Stop();
}

int CVideoSwitchShareServ::OnDevOpen(int, CPacket &request)
{
    int32_t channels = 0, sources = 0;
    return Serve(request, {}, {ArgInt(channels), ArgInt(sources)}, [&](CVideoSwitchA &sw) {
        const int result = sw.DevOpen();
        channels = sw.GetChannels();
        sources = sw.GetSources();
        return result;
    });
}

int CVideoSwitchShareServ::OnDevClose(int, CPacket &request)
{
    return Serve(request, {}, {}, [](CVideoSwitchA &sw) { return sw.DevClose(); });
}

int CVideoSwitchShareServ::OnDevIsOpen(int, CPacket &request)
{
    return Serve(request, {}, {}, [](CVideoSwitchA &sw) { return sw.DevIsOpen(); });
}

int CVideoSwitchShareServ::OnDevTest(int, CPacket &request)
{
    CString text;
    return Serve(request, {ArgOf(text)}, {}, [&](CVideoSwitchA &sw) { return sw.DevTest(text); });
}

int CVideoSwitchShareServ::OnDevSetTransType(int, CPacket &request)
{
    int32_t type = 0;
    return Serve(request, {ArgInt(type)}, {},
                 [&](CVideoSwitchA &sw) { return sw.DevSetTransType(type); });
}

int CVideoSwitchShareServ::OnDevSetTransRate(int, CPacket &request)
{
    int32_t rate = 0;
    return Serve(request, {ArgInt(rate)}, {},
                 [&](CVideoSwitchA &sw) { return sw.DevSetTransRate(rate); });
}

int CVideoSwitchShareServ::OnDevDirectTake(int, CPacket &request)
{
    int32_t channel = 0, entry = 0;
    return Serve(request, {ArgInt(channel), ArgInt(entry)}, {},
                 [&](CVideoSwitchA &sw) { return sw.DevDirectTake(channel, entry); });
}

int CVideoSwitchShareServ::OnDevPreset(int, CPacket &request)
{
    int32_t channel = 0, entry = 0;
    return Serve(request, {ArgInt(channel), ArgInt(entry)}, {},
                 [&](CVideoSwitchA &sw) { return sw.DevPreset(channel, entry); });
}

int CVideoSwitchShareServ::OnDevTake(int, CPacket &request)
{
    int32_t channel = 0;
    return Serve(request, {ArgInt(channel)}, {},
                 [&](CVideoSwitchA &sw) { return sw.DevTake(channel); });
}

// A query for a switcher that is missing replies 0 with the entry 0.
int CVideoSwitchShareServ::OnDevQueryPgmEntry(int, CPacket &request)
{
    int32_t channel = 0, entry = 0;
    return Serve(request, {ArgInt(channel)}, {ArgInt(entry)},
                 [&](CVideoSwitchA &sw) { return sw.DevQueryPgmEntry(channel, entry); });
}

int CVideoSwitchShareServ::OnDevQueryPstEntry(int, CPacket &request)
{
    int32_t channel = 0, entry = 0;
    return Serve(request, {ArgInt(channel)}, {ArgInt(entry)},
                 [&](CVideoSwitchA &sw) { return sw.DevQueryPstEntry(channel, entry); });
}

int CVideoSwitchShareServ::OnDevQueryTransMode(int, CPacket &request)
{
    int32_t type = 0, rate = 0;
    return Serve(request, {}, {ArgInt(type), ArgInt(rate)},
                 [&](CVideoSwitchA &sw) { return sw.DevQueryTransMode(type, rate); });
}
