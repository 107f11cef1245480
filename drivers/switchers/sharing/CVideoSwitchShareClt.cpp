#include "drivers/switchers/sharing/CVideoSwitchShareClt.h"

#include "drivers/switchers/sharing/SwitchShareMessages.h"

#include <vector>

using namespace swshare;

CVideoSwitchShareClt::CVideoSwitchShareClt() : CNetClientA(kServiceId) {}

void CVideoSwitchShareClt::SetRemoteDevId(const char *id)
{
    std::lock_guard<std::mutex> lk(m_idLock);
    m_strRemoteDev = id ? id : "";
}

CString CVideoSwitchShareClt::GetRemoteDevId() const
{
    std::lock_guard<std::mutex> lk(m_idLock);
    return m_strRemoteDev;
}

int CVideoSwitchShareClt::Call(int id, std::initializer_list<tagArgItem> values,
                               std::initializer_list<tagArgItem> reply)
{
    CString device = GetRemoteDevId();
    std::vector<tagArgItem> in{ArgOf(device)};
    in.insert(in.end(), values);
    std::vector<tagArgItem> out(reply);
    return RemoteFunc(id, CArgListA(in.data(), static_cast<int>(in.size())),
                      CArgListA(out.data(), static_cast<int>(out.size())));
}

int CVideoSwitchShareClt::CMD_DevOpen(int &channels, int &sources)
{
    return Call(kDevOpen, {}, {ArgInt(channels), ArgInt(sources)});
}

int CVideoSwitchShareClt::CMD_DevClose()
{
    return Call(kDevClose, {});
}

int CVideoSwitchShareClt::CMD_DevIsOpen()
{
    return Call(kDevIsOpen, {});
}

int CVideoSwitchShareClt::CMD_DevTest(const char *text)
{
    CString value = text ? text : "";
    return Call(kDevTest, {ArgOf(value)});
}

int CVideoSwitchShareClt::CMD_DevSetTransType(int type)
{
    return Call(kDevSetTransType, {ArgInt(type)});
}

int CVideoSwitchShareClt::CMD_DevSetTransRate(int rate)
{
    return Call(kDevSetTransRate, {ArgInt(rate)});
}

int CVideoSwitchShareClt::CMD_DevDirectTake(int channel, int entry)
{
    return Call(kDevDirectTake, {ArgInt(channel), ArgInt(entry)});
}

int CVideoSwitchShareClt::CMD_DevPreset(int channel, int entry)
{
    return Call(kDevPreset, {ArgInt(channel), ArgInt(entry)});
}

int CVideoSwitchShareClt::CMD_DevTake(int channel)
{
    return Call(kDevTake, {ArgInt(channel)});
}

int CVideoSwitchShareClt::CMD_DevQueryPgmEntry(int channel, int &entry)
{
    return Call(kDevQueryPgmEntry, {ArgInt(channel)}, {ArgInt(entry)});
}

int CVideoSwitchShareClt::CMD_DevQueryPstEntry(int channel, int &entry)
{
    return Call(kDevQueryPstEntry, {ArgInt(channel)}, {ArgInt(entry)});
}

int CVideoSwitchShareClt::CMD_DevQueryTransMode(int &type, int &rate)
{
    return Call(kDevQueryTransMode, {}, {ArgInt(type), ArgInt(rate)});
}
