#include "devext/device/CNetDisp.h"

#include "Kest20/DistributedSystemApi.h"
#include "Kest20/PostOfficeApi.h"
#include "KestLib20/CMailBox.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/CWinntSystem.h"
#include "devext/device/CSocketStartup.h"
#include "devext/device/NetHead.h"
#include "devext/device/NetHost.h"

IMPLEMENT_KEST_CLASS(CNetDisp, CClassA)

struct CNetDisp::OutBox {
    explicit OutBox(CNetDisp *owner) : box(glGetPostOffice(), kOutBoxId)
    {
        box.SetMailBoxName(kOutBoxName);
        box.SetMailHandler<&CNetDisp::__SendPacket>(owner);
    }
    CMailBoxA box;
};

CNetDisp::CNetDisp()
    : m_strNetName(CWinntSystem::GetProgramName()), m_pOutBox(std::make_unique<OutBox>(this))
{
    m_listener.SetReceiver(this, &CNetDisp::PacketDisp);
}

CNetDisp::~CNetDisp()
{
    // No packet comes in once the listener has stopped; releasing the box waits for a send
    // through it that is in progress.
    Stop();
    m_pOutBox.reset();
    m_sendSocket.Close();
}

int32_t CNetDisp::OnInitInstance()
{
    CResAccess setting(GetSettingInfo());
    {
        std::lock_guard<std::mutex> lk(m_fieldLock);
        m_strNetName = setting["Net Name"].GetAsString(m_strNetName);
        m_nDefaultPort = setting["Default Port"].GetAsInteger(m_nDefaultPort) & 0xFFFF;
    }
    m_pOutBox->box.EnableMailBox();
    return 1;
}

int32_t CNetDisp::OnActiveInstance()
{
    CSocketStartup::Start();
    m_sendSocket.Create();
    const int listening = Listen();
    IDSKernel *kernel = listening ? glGetDistributedSystemCore() : nullptr;
    if (kernel) {
        kernel->SetProgName(GetNetName());
        kernel->SetEnvAsInteger("KEST_PORT", GetPort());
    }
    return listening;
}

int32_t CNetDisp::OnDeactiveInstance()
{
    m_pOutBox->box.DisableMailBox();
    Stop();
    return 1;
}

void CNetDisp::SetCurrentPort(int port)
{
    m_nCurrentPort.store(port, std::memory_order_release);
}

int CNetDisp::Listen()
{
    std::lock_guard<std::mutex> lk(m_listenLock);
    if (m_listener.IsRunning()) return 1;
    m_sendSocket.Create();
    auto listenOn = [this](int port) {
        m_listener.SetAddress(tagNetAddr{htonl(INADDR_ANY), static_cast<uint16_t>(port)});
        if (!m_listener.Start()) return false;
        SetCurrentPort(port);
        return true;
    };
    int configured;
    {
        std::lock_guard<std::mutex> fields(m_fieldLock);
        configured = m_nDefaultPort;
    }
    if (configured && listenOn(configured)) return 1;
    for (int port = kFirstPort; port < kFirstPort + kPortCount; ++port)
        if (listenOn(port)) return 1;
    return 0;
}

int CNetDisp::Start()
{
    return GetPort() == 0 ? Listen() : 1;
}

int CNetDisp::OK() const
{
    return GetPort() != 0 ? 1 : 0;
}

int CNetDisp::Stop()
{
    // The port is cleared only once the receive thread has gone: a handler sending from that
    // thread meanwhile must not start listening again (Listen waits for this lock).
    std::lock_guard<std::mutex> lk(m_listenLock);
    m_listener.Stop();
    SetCurrentPort(0);
    return 1;
}

CString CNetDisp::GetNetName() const
{
    std::lock_guard<std::mutex> lk(m_fieldLock);
    return m_strNetName;
}

int CNetDisp::GetPort() const
{
    return m_nCurrentPort.load(std::memory_order_acquire);
}

CString CNetDisp::GetNetDiscription() const
{
    return glGetLocalHostName() + "." + GetNetName();
}

int CNetDisp::SendBuffer(const void *data, int length, const tagNetAddr &to)
{
    if ((!data && length > 0) || length < 0) return 0;
    if (!OK()) Listen();
    std::lock_guard<CDataLock> lk(m_lock);
    if (!m_sendSocket.Create()) return 0;
    return m_sendSocket.SendTo(to, data, length);
}

int CNetDisp::SendPacket(CPacket &packet)
{
    tagNetHead head;
    if (!glGetNetHead(packet, head)) return 0;
    // Listening first, so that the source port is the one a reply comes back to.
    if (!OK()) Listen();
    head.source = tagNetAddr{0, static_cast<uint16_t>(GetPort())};
    glSetNetHead(packet, head);
    const CPacketData *data = packet.Peek();
    return SendBuffer(data->GetHead(), data->GetHeadSize() + data->GetDataSize(), head.destination);
}

int32_t CNetDisp::__SendPacket(int32_t, CPacket &packet)
{
    return SendPacket(packet);
}

int CNetDisp::PacketDisp(char *data, int length, const tagNetAddr &from)
{
    if (!data || length < tagNetHead::kSize) return 0;
    CPacket packet(CPacketData::Create(tagNetHead::kSize, nullptr, 0));
    if (packet->CopyFrom(data, length) != length) return 0;
    tagNetHead head;
    glGetNetHead(packet, head);
    if (head.source.ip == 0) {
        head.source.ip = from.ip;
        glSetNetHead(packet, head);
    }
    // The outgoing box sends what it gets: a packet from the network addressed to it would be
    // sent on to wherever its head says, and one addressed back here would circle for ever.
    const int32_t box = head.DeliveryBox();
    if (box == kOutBoxId) return 0;
    glSendMail(box, packet);
    return 1;
}

CNetDisp *CNetDisp::GetProcessDisp()
{
    void *instance = GetClassID()->GetInstance(0);
    return instance ? static_cast<CNetDisp *>(static_cast<IClassA *>(instance)) : nullptr;
}
