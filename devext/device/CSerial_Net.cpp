#include "devext/device/CSerial_Net.h"

#include "Kest20/KestApplication.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CCallGate.h"
#include "devext/device/CArgListA.h"
#include "devext/device/CNetAddress.h"
#include "devext/device/CNetClientA.h"
#include "devext/device/CSerialShareServ.h"
#include "devext/device/NetHead.h"
#include "devext/device/SerialShareMessages.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace serialshare;

IMPLEMENT_KEST_CLASS(CSerial_Net, CSerialDevA)

namespace {

// Deliveries from the sharing service: a port is looked up and entered in the gate under the
// lock, and a port that goes takes the lock before it waits for the gate, so it is never
// released under a delivery.
std::mutex &DeliveryLock()
{
    static std::mutex lock;
    return lock;
}

CCallGate &DeliveryGate()
{
    static CCallGate gate;
    return gate;
}

// The process's sharing service: the first live one.
CSerialShareServ *ProcessService()
{
    void *instance = CSerialShareServ::GetClassID()->GetInstance(0);
    return instance ? static_cast<CSerialShareServ *>(static_cast<IClassA *>(instance)) : nullptr;
}

} // namespace

CSerial_Net::CSerial_Net()
{
    m_HeartBeat.SetAction(tagAction(this, &CSerial_Net::OnHeartBeat));
}

CSerial_Net::~CSerial_Net()
{
    m_HeartBeat.Cancel();
    Retire();
    // Closed, the port is found by no new delivery; one that found it before entered the
    // gate under the lock, so once the lock has been taken the wait sees it.
    {
        std::lock_guard<std::mutex> lk(DeliveryLock());
    }
    DeliveryGate().WaitIdle(GateKey(this));
}

int CSerial_Net::DevOpen()
{
    if (m_bOpen) return 1;
    CSerialShareServ *service = ProcessService();
    tagCltDev line;
    if (!service || !service->LookupCltStruByPort(m_Setting.nPort, line)) return 0;
    CNetAddress server;
    if (!server.GetByUrl(line.server, nullptr)) return 0;
    std::call_once(m_clientMade, [this] {
        m_pClient = std::make_unique<CNetClientA>(kServiceId);
        m_HeartBeat.Submit(glGetPatrolTaskMgr());
    });

    m_nFailures = 0;
    m_pClient->ConnectTo(server);
    int32_t remotePort = line.nRemotePort;
    m_nRemotePort = remotePort;
    int32_t ownPort = m_Setting.nPort;
    SettingBytes setting = EncodeSetting(m_Setting);
    tagArgBuffer settingBuffer{setting.data(), kSettingSize};
    tagArgItem in[] = {ArgRaw(remotePort), ArgRaw(ownPort), ArgOf(settingBuffer)};
    if (!m_pClient->RemoteFunc(kOpen, CArgListA(in), CArgListA::Empty())) return 0;
    SetOpened();
    return 1;
}

int CSerial_Net::DevClose()
{
    if (!m_bOpen) return 1;
    Call(kClose, {m_nRemotePort});
    SetClosed();
    return 1;
}

int CSerial_Net::DevWrite(const char *data, int length)
{
    if (!m_bOpen) return 0;
    if (!SendBlocks(*m_pClient, kWrite, m_nRemotePort, data, length)) CountFailure(nullptr);
    return m_bOpen;
}

int CSerial_Net::DevRead(char *buffer, int &length)
{
    if (!m_bOpen) return 0;
    int32_t remotePort = m_nRemotePort;
    tagArgItem in[] = {ArgRaw(remotePort)};
    CPacket request = glNewNetPacket();
    CArgListA(in).Pack(request);
    CPacket reply;
    tagNetHead head;
    std::vector<char> bytes;
    if (!m_pClient->RemoteFunc(kRead, request, reply) || !glGetNetHead(reply, head) ||
        !head.result || !UnpackWithBytes(reply, nullptr, 0, bytes)) {
        length = 0;
        CountFailure("Serial_Net Comm Failure(Read)");
        return m_bOpen;
    }
    const int count = std::min({static_cast<int>(bytes.size()), kReadSize, std::max(length, 0)});
    if (buffer && count > 0) std::memcpy(buffer, bytes.data(), static_cast<size_t>(count));
    length = buffer ? count : 0;
    return m_bOpen;
}

int CSerial_Net::DevFlush(int mode)
{
    if (!m_bOpen) return 0;
    if (!Call(kFlush, {m_nRemotePort, mode})) CountFailure("Serial_Net Comm Failure(Flush)");
    return m_bOpen;
}

int CSerial_Net::OnHeartBeat(CTask *)
{
    if (!m_bOpen) return 0;
    if (Call(kHeartBeat, {m_nRemotePort}))
        m_nFailures = 0;
    else
        CountFailure("Serial_Net Comm Failure(Heart)");
    return 1;
}

void CSerial_Net::CountFailure(const char *text)
{
    if (text) glReportLog("LOG_ERROR", text, "");
    if (++m_nFailures > kMaxFailures) SetClosed();
}

int CSerial_Net::Call(int message, std::initializer_list<int32_t> values)
{
    std::vector<int32_t> copies(values);
    std::vector<tagArgItem> items;
    for (int32_t &value : copies) items.push_back(ArgRaw(value));
    return m_pClient->RemoteFunc(message, CArgListA(items.data(), static_cast<int>(items.size())),
                                 CArgListA::Empty());
}

int CSerial_Net::DeliverToPort(int port, pointer_t &data)
{
    CSerial_Net *target = nullptr;
    std::shared_ptr<CSerialDevA> open;
    {
        std::lock_guard<std::mutex> lk(DeliveryLock());
        open = GetByPort(port);
        if (!open || !open->GetObjectRtc()->IsKindOf(GetClassID())) return 0;
        target = static_cast<CSerial_Net *>(open.get());
        DeliveryGate().Enter(GateKey(target));
    }
    CCallGate::Pass pass(DeliveryGate(), GateKey(target), std::adopt_lock);
    target->HandOn(port, data);
    return 1;
}
