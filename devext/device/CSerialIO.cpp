#include "devext/device/CSerialIO.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/CSerialDevA.h"
#include "devext/device/CSerialIOHeld.h"
#include "platform/TimeSource.h"

#include <limits>
#include <mutex>
#include <utility>

IMPLEMENT_KEST_CLASS(CSerialIO, CClassA)

namespace {

// Every protocol object, for the lookups. Never destroyed: protocol objects of other modules
// may retire during the process's exit.
CSerialHeldList &Protocols()
{
    static auto *list = new CSerialHeldList;
    return *list;
}

// The value of a 16-bit setting field read as an integer: the field keeps its value when the
// key is missing or its number does not fit.
void ReadField(CResAccess &setting, const char *key, uint16_t &field)
{
    const int32_t value = setting[key].GetAsInteger(field);
    if (value >= 0 && value <= std::numeric_limits<uint16_t>::max())
        field = static_cast<uint16_t>(value);
}

} // namespace

CSerialIO::CSerialIO()
{
    Protocols().Add(this);
}

CSerialIO::~CSerialIO()
{
    // Late for a derived protocol's members, which have gone already, but the base's stay
    // until no holder is left.
    Retire();
    DevClose();
}

void CSerialIO::Retire()
{
    Protocols().Withdraw(this, [this] {
        {
            std::lock_guard<CDataLock> lk(m_PortLock);
            m_bRetired = true;
        }
        DevClose();
    });
}

template <class Operation> auto CSerialIO::Forward(Operation operation)
{
    using Result = decltype(operation(*m_pPort));
    std::lock_guard<CDataLock> lk(m_PortLock);
    if (!m_pPort) return Result{};
    try {
        return operation(*m_pPort);
    } catch (...) {
        return Result{};
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

int CSerialIO::Deliver(int port, pointer_t &data, uint64_t place)
{
    pointer_t fresh = data;
    {
        // Under the lock a try is armed under: a block either comes before the arm, which
        // clears what it told, or is measured against the try's frame.
        std::lock_guard<CDataLock> lk(m_RecvLock);
        if (fresh.data && fresh.length > 0 && place < m_nAnswerFrom) {
            // Received before the awaited frame went out: let go, as an arm lets go of what
            // came before it.
            const uint64_t early = m_nAnswerFrom - place;
            if (early >= static_cast<uint64_t>(fresh.length)) return 0;
            fresh.data = static_cast<const uint8_t *>(fresh.data) + early;
            fresh.length -= static_cast<int32_t>(early);
        }
        ++m_nDeliveries;
    }
    return OnRecvData(port, fresh);
}

uint64_t CSerialIO::ReceivedMark()
{
    return Forward([](CSerialDevA &port) { return port.ReceivedCount(); });
}

void CSerialIO::AnswerFrom(uint64_t place)
{
    std::lock_guard<CDataLock> lk(m_RecvLock);
    m_nAnswerFrom = place;
}

int CSerialIO::DevOpen()
{
    if (DevIsOpen()) return 1;
    // A port object that closed itself (a virtual port whose emulator went) is let go first.
    ReleasePort();
    std::lock_guard<CDataLock> lk(m_PortLock);
    if (m_bRetired) return 0;
    // Another thread opened it meanwhile.
    if (m_pPort) return 1;
    try {
        m_pPort = CSerialDevA::OpenSerialPort(m_Setting, m_pPortRtc);
    } catch (...) {
        m_pPort = nullptr;
    }
    if (!m_pPort) return 0;
    m_pPort->SetReceiver(
        [this](int port, pointer_t &data, uint64_t place) { return Deliver(port, data, place); });
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
    port->SetReceiver(nullptr);
    try {
        port->DevClose();
    } catch (...) {
        // Released all the same.
    }
    port->Suicide();
    // The next port's stream starts again at 0.
    AnswerFrom(kAnyPlace);
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

void CSerialIO::SetLine(const Line &line)
{
    std::lock_guard<CDataLock> lk(m_PortLock);
    m_Setting.nPort = line.port;
    m_Setting.nBaud = line.baud;
    m_Setting.nDataBits = line.dataBits;
    m_Setting.nParity = line.parity;
    m_Setting.nStopBits = line.stopBits;
    m_Setting.nReserved = 0;
    m_Setting.nHalfTime = line.last;
    m_pPortRtc = line.portClass;
}

CSerialIO::Line CSerialIO::GetLine() const
{
    std::lock_guard<CDataLock> lk(m_PortLock);
    return {m_Setting.nPort,     m_Setting.nBaud,     m_Setting.nDataBits, m_Setting.nParity,
            m_Setting.nStopBits, m_Setting.nHalfTime, m_pPortRtc};
}

int CSerialIO::SetPortNumber(int32_t port)
{
    if (port < 0 || port > std::numeric_limits<uint16_t>::max()) return 0;
    std::lock_guard<CDataLock> lk(m_PortLock);
    m_Setting.nPort = static_cast<uint16_t>(port);
    return 1;
}

int CSerialIO::ReadPortKey(const char *path, const char *key)
{
    CResAccess setting(path);
    return ReadPortKey(setting[key]);
}

int CSerialIO::ReadPortKey(IStringAccess &&key)
{
    const int32_t none = -1;
    const int32_t port = key.GetAsInteger(none);
    return port == none ? 0 : SetPortNumber(port);
}

COM_SETTING CSerialIO::GetSetting() const
{
    std::lock_guard<CDataLock> lk(m_PortLock);
    return m_Setting;
}

int CSerialIO::Request(const char *frame, int length, int tries, uint32_t replyMs, uint32_t pauseMs,
                       const TryHooks &hooks, RequestResult *result)
{
    std::lock_guard<CDataLock> request(m_RequestLock);
    const bool listening = !frame || length < 1;
    // The wait of `ms` for the reply event (or for nothing, in a pause), cut short by the stop.
    enum class Woken { Reply, Timeout, Stopped };
    const auto wait = [&](const plat::Waitable *reply, uint32_t ms) {
        if (!hooks.stop) {
            if (!reply) return plat::Sleep(ms), Woken::Timeout;
            return reply->Wait(ms) == plat::WAIT_OBJECT_0 ? Woken::Reply : Woken::Timeout;
        }
        if (!reply)
            return hooks.stop->Wait(ms) == plat::WAIT_OBJECT_0 ? Woken::Stopped : Woken::Timeout;
        const uint32_t woken = plat::WaitForAny({reply, hooks.stop}, ms);
        return woken == plat::WAIT_OBJECT_0       ? Woken::Reply
               : woken == plat::WAIT_OBJECT_0 + 1 ? Woken::Stopped
                                                  : Woken::Timeout;
    };
    RequestResult ended;
    const int answered = [&] {
        // A reply asked to keep waiting (or the request only listens): the tries left only
        // wait.
        bool waitingOn = false;
        // The deliveries counted when the try was armed.
        uint64_t armed = 0;
        for (int attempt = 0; attempt < tries; ++attempt) {
            // A stop set before the request writes nothing.
            if ((attempt > 0 || hooks.stop) &&
                wait(nullptr, attempt > 0 ? pauseMs : 0) == Woken::Stopped) {
                ended.end = RequestEnd::Closed;
                return 0;
            }
            ended.tries = attempt + 1;
            if (!waitingOn) {
                m_hReplyEvent.Reset();
                if (!listening) DevFlush(2);
                {
                    std::lock_guard<CDataLock> lk(m_RecvLock);
                    // Until the frame goes out nothing received can be its reply.
                    if (!listening) m_nAnswerFrom = kNoPlace;
                    m_Buffer.RemoveAll();
                    if (hooks.arm) hooks.arm();
                    armed = m_nDeliveries.load();
                }
                waitingOn = listening;
                if (!listening) {
                    // Bytes already received answer an earlier frame, however late the port
                    // hands them on (a receive thread that read them before the flush): the
                    // ACK of one command is the ACK of any, so only their place tells.
                    AnswerFrom(ReceivedMark());
                    // A line that does not take the frame will not take it 50 ms later either.
                    if (!DevWrite(frame, length)) {
                        ended.end = RequestEnd::WriteFailed;
                        return 0;
                    }
                }
            }
            const uint32_t started = plat::GetTickCount();
            for (bool first = true;; first = false) {
                const uint32_t spent = plat::TickElapsed(started);
                if (!first && spent >= replyMs) break;
                const Woken woken = wait(&m_hReplyEvent, replyMs > spent ? replyMs - spent : 0);
                if (woken == Woken::Timeout) break;
                // Woken by the stop or by a close.
                if (woken == Woken::Stopped || !DevIsOpen()) {
                    ended.end = RequestEnd::Closed;
                    return 0;
                }
                // The signal of bytes that came before the try was armed (its arm has cleared
                // what they told): no reply to this frame, which was written after them.
                if (m_nDeliveries.load() == armed) continue;
                const ReplyCheck check = hooks.test ? hooks.test() : ReplyCheck::Accept;
                if (check == ReplyCheck::Accept) {
                    ended.end = RequestEnd::Accepted;
                    return 1;
                }
                if (check == ReplyCheck::Refuse) {
                    ended.end = RequestEnd::Refused;
                    return 0;
                }
                if (check == ReplyCheck::Retry) break;
                waitingOn = true;
            }
        }
        return 0;
    }();
    // What comes from now on goes to OnRecvData whole, as outside every request.
    if (!listening) AnswerFrom(kAnyPlace);
    if (hooks.ended) hooks.ended(ended.end);
    if (result) *result = ended;
    return answered;
}

std::shared_ptr<CSerialIO>
CSerialIO::OpenOrShare(const std::function<ShareVerdict(CSerialIO &holder)> &judge,
                       const std::function<bool()> &openDue)
{
    const auto own = [this] { return CSerialHeldList::As<CSerialIO>(Protocols().Hold(this)); };
    if (DevIsOpen()) return own();
    if (auto holder = GetByActivePort(GetSetting().nPort); holder && holder.get() != this) {
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
    return DevOpen() ? own() : nullptr;
}

std::shared_ptr<CSerialIO> CSerialIO::GetByActivePort(int port)
{
    return CSerialHeldList::As<CSerialIO>(Protocols().Find(
        [port](void *object) {
            // Not virtual: a protocol under destruction is looked at by its base alone.
            auto *candidate = static_cast<CSerialIO *>(object);
            return candidate->GetSetting().nPort == port && candidate->CSerialIO::DevIsOpen();
        },
        true));
}
