#include "devext/device/CSerialIO.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/CSerialDevA.h"
#include "platform/TimeSource.h"

#include <limits>
#include <mutex>
#include <utility>

IMPLEMENT_KEST_CLASS(CSerialIO, CClassA)

namespace {

// The value of a 16-bit setting field read as an integer: the field keeps its value when the
// key is missing or its number does not fit.
void ReadField(CResAccess &setting, const char *key, uint16_t &field)
{
    const int32_t value = setting[key].GetAsInteger(field);
    if (value >= 0 && value <= std::numeric_limits<uint16_t>::max())
        field = static_cast<uint16_t>(value);
}

} // namespace

CSerialIO::CSerialIO() = default;

CSerialIO::~CSerialIO()
{
    DevClose();
}

template <class Operation> int CSerialIO::Forward(Operation operation)
{
    std::lock_guard<CDataLock> lk(m_PortLock);
    if (!m_pPort) return 0;
    try {
        return operation(*m_pPort);
    } catch (...) {
        return 0;
    }
}

int CSerialIO::DevWrite(const char *data, int length)
{
    return Forward([&](CSerialDevA &port) { return port.DevWrite(data, length); });
}

int CSerialIO::DevRead(char *buffer, int &length)
{
    return Forward([&](CSerialDevA &port) { return port.DevRead(buffer, length); });
}

int CSerialIO::DevFlush(int mode)
{
    return Forward([&](CSerialDevA &port) { return port.DevFlush(mode); });
}

int CSerialIO::DevIsOpen()
{
    return Forward([](CSerialDevA &port) { return port.DevIsOpen(); });
}

int CSerialIO::DevBreak(int time)
{
    return Forward([&](CSerialDevA &port) { return port.DevBreak(time); });
}

int CSerialIO::DevBreakWH()
{
    return Forward([](CSerialDevA &port) { return port.DevBreakWH(); });
}

int CSerialIO::OnRecvData(int, pointer_t &)
{
    return 0;
}

int CSerialIO::DevOpen()
{
    if (DevIsOpen()) return 1;
    // A port object that closed itself (a virtual port whose emulator went) is let go first.
    ReleasePort();
    std::lock_guard<CDataLock> lk(m_PortLock);
    // Another thread opened it meanwhile.
    if (m_pPort) return 1;
    try {
        m_pPort = CSerialDevA::OpenSerialPort(m_Setting, m_pPortRtc);
    } catch (...) {
        m_pPort = nullptr;
    }
    if (!m_pPort) return 0;
    m_pPort->SetDevIntHandler(this, &CSerialIO::OnRecvData);
    return 1;
}

int CSerialIO::DevClose()
{
    ReleasePort();
    return 1;
}

void CSerialIO::ReleasePort()
{
    CSerialDevA *port;
    {
        std::lock_guard<CDataLock> lk(m_PortLock);
        port = std::exchange(m_pPort, nullptr);
    }
    if (!port) return;
    // Writes wait for the port lock and then find no port. The close itself runs outside the
    // lock: it waits for the port's delivering thread, which may be inside OnRecvData
    // writing, and so waiting for the port lock.
    port->SetDevIntHandler<CSerialIO>(nullptr, nullptr);
    try {
        port->DevClose();
    } catch (...) {
        // Released all the same.
    }
    port->Suicide();
    m_hReplyEvent.Set();
}

void CSerialIO::SetConfig(const char *path)
{
    std::lock_guard<CDataLock> lk(m_PortLock);
    if (m_pPort) return;
    CResAccess setting(path ? path : GetSettingInfo());
    ReadField(setting, "COM", m_Setting.nPort);
    ReadField(setting, "COM_Baud", m_Setting.nBaud);
    const CString parity = setting["Parity"].GetAsString();
    if (parity.IsEmpty()) return;
    static constexpr char kLetters[] = "NOEMS";
    for (uint16_t code = 0; code < sizeof kLetters - 1; ++code)
        if (parity[0] == kLetters[code]) m_Setting.nParity = code;
}

COM_SETTING CSerialIO::GetSetting() const
{
    std::lock_guard<CDataLock> lk(m_PortLock);
    return m_Setting;
}

int CSerialIO::Request(const char *frame, int length, int tries, uint32_t replyMs, uint32_t pauseMs,
                       const TryHooks &hooks, RequestEnd *end)
{
    RequestEnd ended = RequestEnd::Unanswered;
    const int result = [&] {
        std::lock_guard<CDataLock> request(m_RequestLock);
        for (int attempt = 0; attempt < tries; ++attempt) {
            if (attempt > 0) plat::Sleep(pauseMs);
            m_hReplyEvent.Reset();
            DevFlush(2);
            {
                std::lock_guard<CDataLock> lk(m_RecvLock);
                m_Buffer.RemoveAll();
                if (hooks.arm) hooks.arm();
            }
            // A line that does not take the frame will not take it 50 ms later either.
            if (!DevWrite(frame, length)) {
                ended = RequestEnd::WriteFailed;
                return 0;
            }
            if (m_hReplyEvent.Wait(replyMs) != plat::WAIT_OBJECT_0) continue;
            // Woken by a close.
            if (!DevIsOpen()) {
                ended = RequestEnd::Closed;
                return 0;
            }
            const ReplyCheck check = hooks.test ? hooks.test() : ReplyCheck::Accept;
            if (check == ReplyCheck::Accept) {
                ended = RequestEnd::Accepted;
                return 1;
            }
            if (check == ReplyCheck::Refuse) {
                ended = RequestEnd::Refused;
                return 0;
            }
        }
        return 0;
    }();
    if (end) *end = ended;
    return result;
}

CSerialIO *CSerialIO::OpenOrShare(const std::function<ShareVerdict(CSerialIO &holder)> &judge,
                                  const std::function<bool()> &openDue)
{
    if (DevIsOpen()) return this;
    if (CSerialIO *holder = GetByActivePort(GetSetting().nPort); holder && holder != this) {
        switch (judge(*holder)) {
        case ShareVerdict::Share:
            return holder;
        case ShareVerdict::Refuse:
            return nullptr;
        case ShareVerdict::OpenOwn:
            break;
        }
    }
    if (openDue && !openDue()) return nullptr;
    return DevOpen() ? this : nullptr;
}

CSerialIO *CSerialIO::GetByActivePort(int port)
{
    iRtc *rtc = GetClassID();
    for (int32_t i = rtc->GetInstanceCount() - 1; i >= 0; --i) {
        void *instance = rtc->GetInstance(i);
        if (!instance) continue; // the list shrank meanwhile
        auto *candidate = static_cast<CSerialIO *>(static_cast<IClassA *>(instance));
        if (candidate->GetSetting().nPort == port && candidate->DevIsOpen()) return candidate;
    }
    return nullptr;
}
