#include "devext/device/CSerialShareServ.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CCallGate.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/CSimplexStringMap.h"
#include "devext/device/CArgListA.h"
#include "devext/device/CNetClientA.h"
#include "devext/device/CSerialDevA.h"
#include "devext/device/CSerial_Net.h"
#include "devext/device/NetHead.h"
#include "devext/device/SerialShareMessages.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

using namespace serialshare;

IMPLEMENT_KEST_CLASS(CSerialShareServ, CNetServerA)

namespace {

constexpr const char *kInvalidWrite = "SerialServ Recv a invalid Write Data";
constexpr const char *kInvalidInt = "SerialServ Recv a invalid INT Data";

void LogError(const char *text)
{
    glReportLog("LOG_ERROR", text, "");
}

// Every DoInt of the process goes out through one client, pointed at each record's client in
// turn under one lock.
class CDoIntSender {
public:
    int Send(const tagNetAddr &to, int32_t clientPort, const pointer_t &data)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (!m_pClient) m_pClient = std::make_unique<CNetClientA>(kServiceId);
        m_pClient->ConnectTo(to);
        return SendBlocks(*m_pClient, kDoInt, clientPort, static_cast<const char *>(data.data),
                          data.length);
    }

private:
    std::mutex m_lock;
    std::unique_ptr<CNetClientA> m_pClient; // made on first use
};

CDoIntSender &DoIntSender()
{
    static CDoIntSender sender;
    return sender;
}

// A "Shared" entry: a property list with "Com" and "Server". A list item of a setting cannot
// hold a double quote (the writers of settings turn them into apostrophes), so an entry
// without one is read with its apostrophes as double quotes.
bool ParseSharedEntry(const CString &entry, tagCltDev &line)
{
    CSimplexStringMap properties;
    CString text = entry;
    if (text.Find('"') < 0) text.Replace('\'', '"');
    if (!properties.SetAsXmlProp(text)) return false;
    line.nLocalPort = properties["Com"].GetAsInteger(0);
    if (line.nLocalPort < CSerialShareServ::kFirstSharedPort ||
        line.nLocalPort > CSerialShareServ::kLastSharedPort)
        return false;
    if (!line.server.LoadFromString(properties["Server"].GetAsString())) return false;
    // The query as a property list; a URL cannot carry the double quotes of one inside a
    // property value, so it is also read in the URL's own parameter form.
    CSimplexStringMap query;
    CString remote;
    if (!query.SetAsXmlProp(line.server.query) || !query.Lookup("COM", remote))
        query.SetAsUrlParam(line.server.query);
    line.nRemotePort = query["COM"].GetAsInteger(2);
    return true;
}

// Picks the served record of port number `port`.
auto OnPort(int port)
{
    return [port](const tagServDev &served) { return served.pPort->GetSetting().nPort == port; };
}

} // namespace

struct CSerialShareServ::Impl {
    // The served record of port number `port`, or null; under the lock.
    tagServDev *FindServed(int port)
    {
        auto it = std::find_if(served.begin(), served.end(), OnPort(port));
        return it == served.end() ? nullptr : &*it;
    }

    CDataLock lock; // guards both lists
    std::vector<tagServDev> served;
    std::vector<tagCltDev> clients;
    // Uses of served ports outside the lock (handlers, deliveries), keyed by port object.
    CCallGate gate;
};

// A served port in use outside the lock: found and entered in the gate under the lock, so
// that releasing the port waits until the use has ended.
class CSerialShareServ::ServedUse {
public:
    ServedUse(Impl &impl, int port) : m_gate(impl.gate)
    {
        std::lock_guard<CDataLock> lk(impl.lock);
        const tagServDev *found = impl.FindServed(port);
        if (!found) return;
        m_record = *found;
        m_gate.Enter(GateKey(m_record.pPort));
    }
    ~ServedUse()
    {
        if (m_record.pPort) m_gate.Leave(GateKey(m_record.pPort));
    }
    ServedUse(const ServedUse &) = delete;
    ServedUse &operator=(const ServedUse &) = delete;

    explicit operator bool() const { return m_record.pPort != nullptr; }
    const tagServDev &Record() const { return m_record; }
    CSerialDevA &Port() const { return *m_record.pPort; }

private:
    CCallGate &m_gate;
    tagServDev m_record;
};

CSerialShareServ::CSerialShareServ()
    : CNetServerA(kInstanceName, kServiceId), m_pImpl(std::make_unique<Impl>())
{
    SetInstanceName(kInstanceName);
    SetMsgHandler<&CSerialShareServ::OnSerialOpen>(this, kOpen);
    SetMsgHandler<&CSerialShareServ::OnSerialClose>(this, kClose);
    SetMsgHandler<&CSerialShareServ::OnSerialWrite>(this, kWrite);
    SetMsgHandler<&CSerialShareServ::OnSerialRead>(this, kRead);
    SetMsgHandler<&CSerialShareServ::OnSerialDoInt>(this, kDoInt);
    SetMsgHandler<&CSerialShareServ::OnSerialFlush>(this, kFlush);
    SetMsgHandler<&CSerialShareServ::OnSerialHeartBeat>(this, kHeartBeat);
}

CSerialShareServ::~CSerialShareServ()
{
    Stop();
    while (CSerialDevA *port = TakeServed([](const tagServDev &) { return true; }))
        ReleaseServed(port);
}

int32_t CSerialShareServ::OnInitInstance()
{
    if (!CNetServerA::OnInitInstance()) return 0;
    ReadSharedList();
    return 1;
}

void CSerialShareServ::ReadSharedList()
{
    CResAccess setting(GetSettingInfo());
    CStringArray entries;
    setting["Shared"].GetAsStringArray(entries);
    std::vector<tagCltDev> clients;
    for (const CString &entry : entries) {
        tagCltDev line;
        if (ParseSharedEntry(entry, line)) clients.push_back(line);
    }
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    m_pImpl->clients = std::move(clients);
}

int CSerialShareServ::LookupServStruByPort(int port, tagServDev &served)
{
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    const tagServDev *found = m_pImpl->FindServed(port);
    if (!found) return 0;
    served = *found;
    return 1;
}

int CSerialShareServ::LookupCltStruByPort(int port, tagCltDev &client)
{
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    for (const tagCltDev &line : m_pImpl->clients) {
        if (line.nLocalPort != port) continue;
        client = line;
        return 1;
    }
    return 0;
}

template <class Match> CSerialDevA *CSerialShareServ::TakeServed(Match match)
{
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    std::vector<tagServDev> &served = m_pImpl->served;
    auto it = std::find_if(served.begin(), served.end(), match);
    if (it == served.end()) return nullptr;
    CSerialDevA *port = it->pPort;
    served.erase(it);
    return port;
}

void CSerialShareServ::ReleaseServed(CSerialDevA *port)
{
    port->SetDevIntHandler<CSerialShareServ>(nullptr, nullptr);
    m_pImpl->gate.WaitIdle(GateKey(port));
    port->DevClose();
    port->Suicide();
}

int CSerialShareServ::CloseSharedSerialPort(int port)
{
    if (CSerialDevA *taken = TakeServed(OnPort(port))) ReleaseServed(taken);
    return 1;
}

int CSerialShareServ::CloseAllInvalidDev()
{
    auto silent = [](const tagServDev &served) {
        return plat::TickElapsed(served.dwLastHeard) > kSilenceMs;
    };
    while (CSerialDevA *port = TakeServed(silent)) ReleaseServed(port);
    return 1;
}

int CSerialShareServ::OnSerialOpen(int, CPacket &request)
{
    int32_t remotePort = 0;
    int32_t clientPort = 0;
    SettingBytes settingBytes{};
    tagArgBuffer settingBuffer{settingBytes.data(), kSettingSize};
    tagArgItem in[] = {ArgRaw(remotePort), ArgRaw(clientPort), ArgOf(settingBuffer)};
    tagNetHead head;
    if (!CArgListA(in).Unpack(request) || settingBuffer.length != kSettingSize ||
        !glGetNetHead(request, head))
        return 0;
    // A port number the settings cannot carry is no line of this process.
    if (remotePort < 1 || remotePort > 0xFFFF) return ACK(request, 0, CArgListA::Empty());

    CloseAllInvalidDev();
    COM_SETTING setting = DecodeSetting(settingBytes);
    setting.nPort = static_cast<uint16_t>(remotePort);
    CSerialDevA *port = CSerialDevA::OpenSerialPort(setting, nullptr);
    if (!port) return ACK(request, 0, CArgListA::Empty());
    // Set before the record is listed: once listed, the port may be released at any time.
    port->SetDevIntHandler(this, &CSerialShareServ::OnRecvSerialData);
    {
        std::lock_guard<CDataLock> lk(m_pImpl->lock);
        m_pImpl->served.push_back({port, head.source, clientPort, plat::GetTickCount()});
    }
    return ACK(request, 1, CArgListA::Empty());
}

int CSerialShareServ::OnSerialClose(int, CPacket &request)
{
    int32_t remotePort = 0;
    tagArgItem in[] = {ArgRaw(remotePort)};
    if (!CArgListA(in).Unpack(request)) return 0;
    CloseSharedSerialPort(remotePort);
    return ACK(request, 1, CArgListA::Empty());
}

int CSerialShareServ::OnSerialWrite(int, CPacket &request)
{
    int32_t remotePort = 0;
    std::vector<char> bytes;
    tagArgItem in[] = {ArgRaw(remotePort)};
    if (!UnpackWithBytes(request, in, 1, bytes)) return 0;
    ServedUse use(*m_pImpl, remotePort);
    if (!use) {
        LogError(kInvalidWrite);
        return 0;
    }
    const int length = static_cast<int>(std::min(bytes.size(), size_t{kBlockSize}));
    return use.Port().DevWrite(bytes.data(), length);
}

int CSerialShareServ::OnSerialRead(int, CPacket &request)
{
    int32_t remotePort = 0;
    tagArgItem in[] = {ArgRaw(remotePort)};
    if (!CArgListA(in).Unpack(request)) return 0;
    ServedUse use(*m_pImpl, remotePort);
    if (!use) return ACK(request, 0, CArgListA::Empty());
    char buffer[kBlockSize];
    int length = kBlockSize;
    use.Port().DevRead(buffer, length);
    // Port kinds differ in what they leave in `length`; the reply never claims more than
    // the buffer holds.
    tagArgBuffer read{buffer, std::clamp(length, 0, kBlockSize)};
    tagArgItem out[] = {ArgOf(read)};
    return ACK(request, 1, CArgListA(out));
}

int CSerialShareServ::OnSerialFlush(int, CPacket &request)
{
    int32_t remotePort = 0;
    int32_t mode = 0;
    tagArgItem in[] = {ArgRaw(remotePort), ArgRaw(mode)};
    if (!CArgListA(in).Unpack(request)) return 0;
    ServedUse use(*m_pImpl, remotePort);
    if (!use) return ACK(request, 0, CArgListA::Empty());
    use.Port().DevFlush(mode);
    return ACK(request, 1, CArgListA::Empty());
}

int CSerialShareServ::OnSerialHeartBeat(int, CPacket &request)
{
    int32_t remotePort = 0;
    tagArgItem in[] = {ArgRaw(remotePort)};
    if (!CArgListA(in).Unpack(request)) return 0;
    int held = 0;
    {
        std::lock_guard<CDataLock> lk(m_pImpl->lock);
        if (tagServDev *served = m_pImpl->FindServed(remotePort)) {
            served->dwLastHeard = plat::GetTickCount();
            held = 1;
        }
    }
    return ACK(request, held, CArgListA::Empty());
}

int CSerialShareServ::OnSerialDoInt(int, CPacket &request)
{
    int32_t clientPort = 0;
    std::vector<char> bytes;
    tagArgItem in[] = {ArgRaw(clientPort)};
    if (!UnpackWithBytes(request, in, 1, bytes)) return 0;
    pointer_t data{bytes.data(), static_cast<int32_t>(std::min(bytes.size(), size_t{kBlockSize}))};
    if (CSerial_Net::DeliverToPort(clientPort, data)) return 1;
    LogError(kInvalidInt);
    return 0;
}

int CSerialShareServ::OnRecvSerialData(int port, pointer_t &data)
{
    ServedUse use(*m_pImpl, port);
    if (!use) return 0;
    DoIntSender().Send(use.Record().clientAddr, use.Record().nClientPort, data);
    return 1;
}
