#include "devext/device/CClient_NetService.h"

#include "Kest20/CClock.h"
#include "devext/device/NetServiceMsg.h"
#include "platform/TimeSource.h"

#include <vector>

using namespace netservice;

namespace {

// The client adds this many 100 ns units to the round trip of a time read as calendar time.
constexpr int64_t kCalendarRoundTripExtra = 12;

int64_t FrameworkNow()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

} // namespace

CClient_NetService::CClient_NetService() : CNetClientA(kServiceId)
{
    SetReplyTimeout(kReplyTimeout);
}

CClient_NetService::CClient_NetService(const tagNetAddr &destination) : CClient_NetService()
{
    ConnectTo(destination);
}

int CClient_NetService::CMD_Get_DispName(CString &name)
{
    uint16_t port = 0;
    tagArgItem out[] = {ArgOf(name), ArgRaw(port, kU16Id)};
    return RemoteFunc(MSG_GET_DISP_NAME, CArgListA::Empty(), CArgListA(out));
}

int CClient_NetService::CMD_Get_DispPort(CString name, uint16_t &port)
{
    tagArgItem in[] = {ArgOf(name)};
    CPacket reply;
    if (!Ask4Group(MSG_GET_DISP_PORT, kFirstPort, kLastPort, CArgListA(in), reply)) return 0;
    tagArgItem out[] = {ArgRaw(port, kU16Id)};
    return CArgListA(out).Unpack(reply);
}

int CClient_NetService::CMD_Get_DispNameList(uint32_t ip, uint16_t count, CStringArray &names,
                                             CDWordArray &ports)
{
    ConnectTo(tagNetAddr{ip, 0});
    CArray<CPacket> replies;
    Ask4Group(MSG_GET_DISP_NAME, kFirstPort, kLastPort, count, CArgListA::Empty(), replies);
    names.RemoveAll();
    ports.RemoveAll();
    for (int i = 0; i < replies.GetSize(); ++i) {
        CString name;
        uint16_t port = 0;
        tagArgItem out[] = {ArgOf(name), ArgRaw(port, kU16Id)};
        if (!CArgListA(out).Unpack(replies[i])) continue;
        names.Add(name);
        ports.Add(port);
    }
    return static_cast<int>(names.GetSize());
}

int CClient_NetService::CMD_Start_Server(uint16_t id)
{
    tagArgItem in[] = {ArgRaw(id, kU16Id)};
    return RemoteFunc(MSG_START_SERVER, CArgListA(in), CArgListA::Empty());
}

int CClient_NetService::CMD_Stop_Server(uint16_t id)
{
    tagArgItem in[] = {ArgRaw(id, kU16Id)};
    return RemoteFunc(MSG_STOP_SERVER, CArgListA(in), CArgListA::Empty());
}

int CClient_NetService::CMD_Get_Svr_Info(uint16_t id, uint16_t &boxId, int32_t &found,
                                         CString &name)
{
    tagArgItem in[] = {ArgRaw(id, kU16Id)};
    tagArgItem out[] = {ArgRaw(boxId, kU16Id), ArgRaw(found, kI32Id), ArgOf(name)};
    return RemoteFunc(MSG_GET_SVR_INFO, CArgListA(in), CArgListA(out));
}

int CClient_NetService::CMD_Get_iSet(const char *name, uint16_t &id)
{
    CString text(name ? name : "");
    tagArgItem in[] = {ArgOf(text)};
    tagArgItem out[] = {ArgRaw(id, kU16Id)};
    return RemoteFunc(MSG_GET_ISET, CArgListA(in), CArgListA(out));
}

int CClient_NetService::CMD_Log(CString type, CString text, CString info)
{
    tagArgItem in[] = {ArgOf(type), ArgOf(text), ArgOf(info)};
    return RemoteProc(MSG_LOG, CArgListA(in));
}

int CClient_NetService::CMD_Query_Class_Info(int32_t classId, CString &name, int32_t &fatherId,
                                             int32_t &objectSize, CDWordArray &sonIds)
{
    tagArgItem in[] = {ArgRaw(classId, kI32Id)};
    tagArgItem out[] = {ArgOf(name), ArgRaw(fatherId, kI32Id), ArgRaw(objectSize, kI32Id),
                        ArgOf(sonIds)};
    return RemoteFunc(MSG_QUERY_CLASS_INFO, CArgListA(in), CArgListA(out));
}

int CClient_NetService::CMD_Query_Instance_Count(int32_t classId, int32_t &count)
{
    tagArgItem in[] = {ArgRaw(classId, kI32Id)};
    tagArgItem out[] = {ArgRaw(count, kI32Id)};
    return RemoteFunc(MSG_QUERY_INSTANCE_COUNT, CArgListA(in), CArgListA(out));
}

int CClient_NetService::CMD_Query_Instance_Info(int32_t classId, int32_t index, CString &name)
{
    tagArgItem in[] = {ArgRaw(classId, kI32Id), ArgRaw(index, kI32Id)};
    tagArgItem out[] = {ArgOf(name)};
    return RemoteFunc(MSG_QUERY_INSTANCE_INFO, CArgListA(in), CArgListA(out));
}

int CClient_NetService::CMD_Echo(uint32_t &elapsed, uint16_t size)
{
    const int length = size < kMaxEcho ? size : kMaxEcho;
    std::vector<char> sent(static_cast<size_t>(length));
    std::vector<char> back(kMaxEcho);
    tagArgBuffer request{sent.data(), length};
    tagArgBuffer reply{back.data(), kMaxEcho};
    tagArgItem in[] = {ArgOf(request)};
    tagArgItem out[] = {ArgOf(reply)};
    const uint32_t before = plat::GetTickCount();
    const int result = RemoteFunc(MSG_ECHO, CArgListA(in), CArgListA(out));
    elapsed = plat::GetTickCount() - before;
    return result;
}

int CClient_NetService::CMD_GetTime(int64_t &first, int64_t &second, int64_t &roundTrip)
{
    const int64_t before = FrameworkNow();
    first = before;
    second = plat::GetSystemTimeAsFileTime();
    tagArgItem out[] = {ArgRaw(first, kTimeId), ArgRaw(second, kTimeId)};
    const int result = RemoteFunc(MSG_GET_TIME, CArgListA::Empty(), CArgListA(out));
    if (result) roundTrip = FrameworkNow() - before;
    return result;
}

int CClient_NetService::CMD_GetTimeAsUCFileTime(int64_t &time, int64_t &roundTrip)
{
    int64_t system = 0;
    int64_t framework = 0;
    const int result = CMD_GetTime(system, framework, roundTrip);
    if (result) time = framework;
    return result;
}

int CClient_NetService::CMD_GetTimeAsSystemtime(plat::SYSTEMTIME &time, int64_t &roundTrip)
{
    int64_t universal = 0;
    const int result = CMD_GetTimeAsUCFileTime(universal, roundTrip);
    if (!result) return 0;
    plat::FileTimeToSystemTime(plat::FileTimeToLocalFileTime(universal), &time);
    roundTrip += kCalendarRoundTripExtra;
    return result;
}
