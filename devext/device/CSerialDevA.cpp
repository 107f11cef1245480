#include "devext/device/CSerialDevA.h"

#include "KestLib20/CResAccess.h"
#include "KestLib20/RtcArray.h"
#include "devext/device/CSerialIOHeld.h"
#include "platform/SerialPortResolver.h"
#include "platform/TimeSource.h"

#include <string>

IMPLEMENT_KEST_CLASS(CSerialDevA, CDeviceA)

namespace {

// The port resolver reads the keys COM<n> and SIO<n> of "/etc/tvx/SerialPorts" through the
// resource tree, which lives above the platform layer: this library installs that lookup
// for as long as it is loaded.
class PortSettingsHook {
public:
    PortSettingsHook()
    {
        plat::SetSerialPortSettingsReader([](const std::string &key, std::string *value) {
            CString text;
            CResString setting((std::string(plat::kSerialPortsSetting) + "/" + key).c_str());
            if (!setting.GetStringData(text)) return false;
            *value = text.GetString();
            return true;
        });
    }
    ~PortSettingsHook() { plat::SetSerialPortSettingsReader(nullptr); }
    PortSettingsHook(const PortSettingsHook &) = delete;
    PortSettingsHook &operator=(const PortSettingsHook &) = delete;
};

void InstallPortSettingsHook()
{
    static PortSettingsHook hook;
}

// Every port object, for GetByPort. Never destroyed: port objects may close during the
// process's exit.
CSerialHeldList &Ports()
{
    static auto *list = new CSerialHeldList;
    return *list;
}

CSerialDevA *AsPort(void *instance)
{
    return static_cast<CSerialDevA *>(static_cast<IClassA *>(instance));
}

// Makes an object of kind `rtc`, initialises it, gives it the settings and opens it; the
// object when it opened, else it is released and the result is null.
CSerialDevA *TryKind(iRtc *rtc, const COM_SETTING &setting)
{
    void *made = rtc->CreateInstance(nullptr);
    if (!made) return nullptr;
    CSerialDevA *port = AsPort(made);
    try {
        port->InitInstance(nullptr, nullptr);
        port->SetSetting(setting);
        if (port->DevOpen()) return port;
    } catch (...) {
        // A kind from another module failed to open: the next kind is tried.
    }
    port->Suicide();
    return nullptr;
}

} // namespace

CSerialDevA::CSerialDevA() : CDeviceA(kTypeId)
{
    // Every port object is made before its line is resolved.
    InstallPortSettingsHook();
    SetDevName("DEV_COM_UNOPEN");
    Ports().Add(this);
}

CSerialDevA::CSerialDevA(const CSerialDevA &other)
    : CDeviceA(other), m_Setting(other.m_Setting), m_bOpen(other.m_bOpen.load()),
      m_dwLastWriteTick(other.m_dwLastWriteTick.load()), m_nHandedOn(other.m_nHandedOn.load())
{
    std::lock_guard<std::mutex> lk(other.m_receiverLock);
    m_pfnReceiver = other.m_pfnReceiver;
    Ports().Add(this);
}

CSerialDevA::~CSerialDevA()
{
    Ports().Withdraw(this, nullptr);
}

void CSerialDevA::Retire()
{
    Ports().Withdraw(this, [this] { DevClose(); });
}

CSerialDevA &CSerialDevA::operator=(const CSerialDevA &other)
{
    if (this == &other) return *this;
    CDeviceA::operator=(other);
    m_Setting = other.m_Setting;
    m_bOpen = other.m_bOpen.load();
    m_dwLastWriteTick = other.m_dwLastWriteTick.load();
    m_nHandedOn = other.m_nHandedOn.load();
    Receiver receiver;
    {
        std::lock_guard<std::mutex> lk(other.m_receiverLock);
        receiver = other.m_pfnReceiver;
    }
    SetReceiver(std::move(receiver));
    return *this;
}

int CSerialDevA::DevIsOpen()
{
    return m_bOpen.load();
}

int CSerialDevA::DevWrite(const char *, int)
{
    return 0;
}

int CSerialDevA::DevRead(char *, int &)
{
    return 0;
}

int CSerialDevA::DevFlush(int)
{
    return 0;
}

int CSerialDevA::DevBreak(int)
{
    return 0;
}

int CSerialDevA::DevBreakWH()
{
    return 0;
}

uint64_t CSerialDevA::ReceivedCount()
{
    return m_nHandedOn.load();
}

void CSerialDevA::SetReceiver(Receiver receiver)
{
    std::lock_guard<std::mutex> lk(m_receiverLock);
    m_pfnReceiver = std::move(receiver);
}

int CSerialDevA::HandOn(int code, pointer_t &data, uint64_t place)
{
    Receiver receiver;
    {
        std::lock_guard<std::mutex> lk(m_receiverLock);
        receiver = m_pfnReceiver;
    }
    return receiver ? receiver(code, data, place) : DoDevInt(code, data);
}

int CSerialDevA::HandOn(int code, pointer_t &data)
{
    const uint64_t length = data.data && data.length > 0 ? static_cast<uint64_t>(data.length) : 0;
    return HandOn(code, data, m_nHandedOn.fetch_add(length));
}

void CSerialDevA::HalfTime()
{
    const uint32_t gap = m_Setting.nHalfTime;
    if (gap != 0 && plat::TickElapsed(m_dwLastWriteTick.load()) < gap) plat::Sleep(gap);
    m_dwLastWriteTick = plat::GetTickCount();
}

void CSerialDevA::SetOpened()
{
    CString name;
    name.Format("DEV_COM%d", m_Setting.nPort);
    SetDevName(name);
    m_nHandedOn = 0;
    m_bOpen = 1;
}

void CSerialDevA::SetClosed()
{
    SetDevName("DEV_COM_UNKNOWN");
    m_bOpen = 0;
}

CSerialDevA *CSerialDevA::OpenSerialPort(const COM_SETTING &setting, iRtc *rtc)
{
    if (GetByPort(setting.nPort)) return nullptr;
    iRtc *base = GetClassID();
    if (rtc && rtc->IsKindOf(base)) {
        if (CSerialDevA *port = TryKind(rtc, setting)) return port;
    }
    CRtcArray kinds;
    base->GetTotalSonRtc(&kinds);
    for (int32_t i = 0; i < kinds.GetSize(); ++i) {
        iRtc *kind = kinds.GetAt(i);
        // The requested kind has had its try.
        if (kind == rtc) continue;
        if (CSerialDevA *port = TryKind(kind, setting)) return port;
    }
    return nullptr;
}

std::shared_ptr<CSerialDevA> CSerialDevA::GetByPort(int port)
{
    return CSerialHeldList::As<CSerialDevA>(Ports().Find(
        [port](void *object) {
            // Listed objects are whole: each kind retires first in its destructor.
            auto *candidate = static_cast<CSerialDevA *>(object);
            // Open first: the settings of an open port no longer change.
            return candidate->DevIsOpen() && candidate->m_Setting.nPort == port;
        },
        false));
}
