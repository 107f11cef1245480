#include "devext/device/CServer_NetService.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "Kest20/PostOfficeApi.h"
#include "KestLib20/CMailBox.h"
#include "devext/device/CNetDisp.h"
#include "devext/device/CPacketStream.h"
#include "devext/device/NetHead.h"
#include "devext/device/NetHost.h"
#include "devext/device/NetServiceMsg.h"
#include "platform/TimeSource.h"

#include <mutex>
#include <vector>

using namespace netservice;

IMPLEMENT_KEST_CLASS(CServer_NetService, CNetServerA)

namespace {

// The text a reply carries for a dispatcher that does not exist.
constexpr const char *kNoDispatcher = "没有";

// Identities of run-time class records. Records have no 32-bit identity of their own on this
// platform, so each gets the next number when it is first named in a reply; a record that
// has gone (its module unloaded) is no longer found under its identity.
class ClassIdentities {
public:
    static ClassIdentities &Get()
    {
        static ClassIdentities identities;
        return identities;
    }

    uint32_t IdOf(iRtc *rtc)
    {
        if (!rtc || rtc == CClassA::GetClassID()) return 0;
        std::lock_guard<std::mutex> lk(m_lock);
        for (size_t i = 0; i < m_records.size(); ++i)
            if (m_records[i] == rtc) return static_cast<uint32_t>(i + 1);
        m_records.push_back(rtc);
        return static_cast<uint32_t>(m_records.size());
    }

    iRtc *Find(uint32_t id)
    {
        iRtc *root = CClassA::GetClassID();
        if (id == 0) return root;
        iRtc *rtc = nullptr;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            if (id <= m_records.size()) rtc = m_records[id - 1];
        }
        // Only a record still in the tree is touched.
        return rtc && root->Find(rtc, iRtc::FIND_RTC) == rtc ? rtc : nullptr;
    }

private:
    std::mutex m_lock;
    std::vector<iRtc *> m_records;
};

// Reads one class id (and the values after it) from a request; 1 when all were there.
int ReadValues(CPacket &request, tagArgItem *items, int count)
{
    return CArgListA(items, count).Unpack(request);
}

const char *InstanceName(void *instance)
{
    auto *object = static_cast<CClassA *>(static_cast<IClassA *>(instance));
    const char *name = object->GetInstanceName();
    return name ? name : "";
}

} // namespace

CServer_NetService::CServer_NetService() : CNetServerA(kDefaultName, kServiceId)
{
    SetMsgHandler<&CServer_NetService::On_Get_DispName>(this, MSG_GET_DISP_NAME);
    SetMsgHandler<&CServer_NetService::On_Get_DispPort>(this, MSG_GET_DISP_PORT);
    SetMsgHandler<&CServer_NetService::On_Start_Server>(this, MSG_START_SERVER);
    SetMsgHandler<&CServer_NetService::On_Stop_Server>(this, MSG_STOP_SERVER);
    SetMsgHandler<&CServer_NetService::On_Get_Svr_Info>(this, MSG_GET_SVR_INFO);
    SetMsgHandler<&CServer_NetService::On_Get_iSet>(this, MSG_GET_ISET);
    SetMsgHandler<&CServer_NetService::On_Log>(this, MSG_LOG);
    SetMsgHandler<&CServer_NetService::On_Query_Class_Info>(this, MSG_QUERY_CLASS_INFO);
    SetMsgHandler<&CServer_NetService::On_Query_Instance_Count>(this, MSG_QUERY_INSTANCE_COUNT);
    SetMsgHandler<&CServer_NetService::On_Query_Instance_Info>(this, MSG_QUERY_INSTANCE_INFO);
    SetMsgHandler<&CServer_NetService::On_Echo>(this, MSG_ECHO);
    SetMsgHandler<&CServer_NetService::On_Get_Time>(this, MSG_GET_TIME);
    SetMsgHandler<&CServer_NetService::On_ResourceRequest>(this, MSG_RESOURCE_REQUEST);
}

CServer_NetService::~CServer_NetService()
{
    Stop();
}

int CServer_NetService::On_Get_DispName(int, CPacket &request)
{
    const CNetDisp *disp = CNetDisp::GetProcessDisp();
    CString name = disp ? disp->GetNetName() : CString(kNoDispatcher);
    uint16_t port = disp ? static_cast<uint16_t>(disp->GetPort()) : 0;
    tagArgItem out[] = {ArgOf(name), ArgRaw(port, kU16Id)};
    return ACK(request, disp ? 1 : 0, CArgListA(out));
}

int CServer_NetService::On_Get_DispPort(int, CPacket &request)
{
    const CNetDisp *disp = CNetDisp::GetProcessDisp();
    char name[kMaxDispName + 1] = {};
    tagArgItem in[] = {ArgText(name, sizeof name)};
    // Every process of a host is asked; only the one of that name answers.
    if (!disp || !ReadValues(request, in, 1) || disp->GetNetName().CompareNoCase(name) != 0)
        return 0;
    uint16_t port = static_cast<uint16_t>(disp->GetPort());
    tagArgItem out[] = {ArgRaw(port, kU16Id)};
    return ACK(request, 1, CArgListA(out));
}

int CServer_NetService::On_Start_Server(int, CPacket &request)
{
    return ACK(request, 0, CArgListA::Empty());
}

int CServer_NetService::On_Stop_Server(int, CPacket &request)
{
    return ACK(request, 0, CArgListA::Empty());
}

int CServer_NetService::On_Get_Svr_Info(int, CPacket &request)
{
    uint16_t id = 0;
    tagArgItem in[] = {ArgRaw(id, kU16Id)};
    IPostOffice *office = glGetPostOffice();
    IMailBoxA *box = office && ReadValues(request, in, 1) ? office->GetByID(id) : nullptr;
    uint16_t boxId = box ? static_cast<uint16_t>(box->GetMailBoxInfo().id) : 0;
    int32_t found = box ? 1 : 0;
    CString name = box ? CString(box->GetMailBoxInfo().name) : CString();
    tagArgItem out[] = {ArgRaw(boxId, kU16Id), ArgRaw(found, kI32Id), ArgOf(name)};
    return ACK(request, found, CArgListA(out));
}

int CServer_NetService::On_Get_iSet(int, CPacket &request)
{
    CString name;
    tagArgItem in[] = {ArgOf(name)};
    const int read = ReadValues(request, in, 1);
    uint16_t id = 0;
    IPostOffice *office = glGetPostOffice();
    if (read && office) {
        name.Trim();
        name.MakeUpper();
        if (IMailBoxA *box = office->GetByName(name))
            id = static_cast<uint16_t>(box->GetMailBoxInfo().id);
    }
    tagArgItem out[] = {ArgRaw(id, kU16Id)};
    return ACK(request, read, CArgListA(out));
}

int CServer_NetService::On_Log(int, CPacket &request)
{
    CString type, text, info;
    tagArgItem first[] = {ArgOf(type)};
    tagArgItem second[] = {ArgOf(text)};
    tagArgItem last[] = {ArgOf(info)};
    CPacketStream stream(request);
    // A message without a type would reach every reader of a pattern of types, and they
    // would take its text for theirs.
    if (!CArgListA(first).Unpack(stream) || type.IsEmpty()) return 0;
    const bool hasInfo = CArgListA(second).Unpack(stream) && CArgListA(last).Unpack(stream);
    if (!hasInfo) {
        // Without an info text the message says where it came from.
        tagNetHead head;
        glGetNetHead(request, head);
        info = glGetNameByAddress(head.source.ip);
        info.AppendFormat(":%u", static_cast<unsigned>(head.source.port));
    }
    glReportLog(type, text, info);
    return 0;
}

int CServer_NetService::On_Query_Class_Info(int, CPacket &request)
{
    int32_t classId = 0;
    tagArgItem in[] = {ArgRaw(classId, kI32Id)};
    if (!ReadValues(request, in, 1)) return ACK(request, 0, CArgListA::Empty());
    CString name;
    int32_t fatherId = 0;
    int32_t objectSize = 0;
    CDWordArray sons;
    if (iRtc *rtc = FindClassByIdentity(static_cast<uint32_t>(classId))) {
        const tagClassInfo *info = rtc->GetClassInfoA();
        name = info->lpszClassName;
        objectSize = info->nObjectSize;
        fatherId = static_cast<int32_t>(GetClassIdentity(rtc->GetFatherRtc()));
        const int32_t count = rtc->GetSonRtcCount();
        for (int32_t i = 0; i < count; ++i)
            if (iRtc *son = rtc->GetSonRtc(i)) sons.Add(GetClassIdentity(son));
    }
    tagArgItem out[] = {ArgOf(name), ArgRaw(fatherId, kClassI32Id), ArgRaw(objectSize, kClassI32Id),
                        ArgOf(sons)};
    return ACK(request, 1, CArgListA(out));
}

int CServer_NetService::On_Query_Instance_Count(int, CPacket &request)
{
    int32_t classId = 0;
    tagArgItem in[] = {ArgRaw(classId, kI32Id)};
    if (!ReadValues(request, in, 1)) return ACK(request, 0, CArgListA::Empty());
    iRtc *rtc = FindClassByIdentity(static_cast<uint32_t>(classId));
    int32_t count = rtc ? rtc->GetInstanceCount() : 0;
    tagArgItem out[] = {ArgRaw(count, kI32Id)};
    return ACK(request, 1, CArgListA(out));
}

int CServer_NetService::On_Query_Instance_Info(int, CPacket &request)
{
    int32_t classId = 0;
    int32_t index = 0;
    tagArgItem in[] = {ArgRaw(classId, kI32Id), ArgRaw(index, kI32Id)};
    CString name;
    void *instance = nullptr;
    if (ReadValues(request, in, 2))
        if (iRtc *rtc = FindClassByIdentity(static_cast<uint32_t>(classId)))
            instance = rtc->GetInstance(index);
    if (instance) name = InstanceName(instance);
    tagArgItem out[] = {ArgOf(name)};
    return ACK(request, instance ? 1 : 0, CArgListA(out));
}

int CServer_NetService::On_Echo(int, CPacket &request)
{
    char data[kEchoBuffer];
    tagArgBuffer buffer{data, kEchoBuffer};
    tagArgItem in[] = {ArgOf(buffer)};
    if (!ReadValues(request, in, 1)) return ACK(request, 0, CArgListA::Empty());
    return ACK(request, 1, CArgListA(in));
}

int CServer_NetService::On_Get_Time(int, CPacket &request)
{
    int64_t system = plat::GetSystemTimeAsFileTime();
    int64_t framework = 0;
    glGetTimeEx(&framework);
    tagArgItem out[] = {ArgRaw(system, kTimeId), ArgRaw(framework, kTimeId)};
    return ACK(request, 1, CArgListA(out));
}

int CServer_NetService::On_ResourceRequest(int, CPacket &)
{
    return 0;
}

uint32_t CServer_NetService::GetClassIdentity(iRtc *rtc)
{
    return ClassIdentities::Get().IdOf(rtc);
}

iRtc *CServer_NetService::FindClassByIdentity(uint32_t id)
{
    return ClassIdentities::Get().Find(id);
}
