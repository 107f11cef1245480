#include "drivers/switchers/production/CM2100Control.h"

#include "Kest20/KestLog.h"
#include "devext/device/CSerial_M422.h"
#include "devext/device/tagDevStatus.h"
#include "drivers/model/DeviceCalls.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <exception>

namespace {

constexpr const char *kLog = "LOG_DEV_M2100";
constexpr const char *kFatalLog = "LOG_DEC_M2100";

uint8_t Byte(int value)
{
    return static_cast<uint8_t>(value & 0xFF);
}

} // namespace

CM2100Control::CM2100Control(uint16_t port)
    : CAnsweringSwitchIO(
          {port, 38400, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 0, CSerial_M422::GetClassID()},
          {.answeredTries = 1, .replyMs = kReplyMs, .pauseMs = 0})
{
}

CM2100Control::~CM2100Control()
{
    Retire();
}

void CM2100Control::Record(int result)
{
    m_nLastResult = result;
    m_dwLastTime = plat::GetTickCount();
}

int CM2100Control::Close()
{
    DevClose();
    Record(0);
    return 1;
}

int CM2100Control::Open()
{
    return DevOpen();
}

int CM2100Control::Check()
{
    if (plat::TickElapsed(m_dwLastTime) < kCheckIntervalMs) return m_nLastResult;
    Open();
    int status = 0;
    const int answered = QueryStatus(status);
    Record(answered);
    return answered;
}

int CM2100Control::Send(const m2100::Bytes &packet, bool awaitReply, m2100::Items *items)
{
    if (packet.empty()) return 0;
    if (m_nBusy > 0) glReportDbg(kLog, "warning;Wait for execute");
    ++m_nBusy;
    int result = 0;
    try {
        if (awaitReply) {
            const bool query = items != nullptr;
            result = Ask(
                packet,
                [this, query] {
                    m_bAwaitPacket = query;
                    m_reply = {};
                    m_bAcknowledged = false;
                    m_bReplied = false;
                },
                nullptr, [this](RequestEnd end) { Record(end == RequestEnd::Accepted ? 1 : 0); });
            if (result && items) *items = Received([this] { return m_reply; });
        } else {
            result = WriteFrame(packet);
        }
    } catch (const std::exception &) {
        glReportDbg(kFatalLog, "fatal;M2100执行命令是发生意外错误");
        result = 0;
    }
    --m_nBusy;
    return result;
}

int CM2100Control::Set(const m2100::Bytes &commands)
{
    return Send(m2100::Packet(m2100::Block(m2100::kSet, commands)), m_bWaitForReply, nullptr);
}

int CM2100Control::Query(const m2100::Bytes &commands, m2100::Items &items)
{
    return Send(m2100::Packet(m2100::Block(m2100::kQuery, commands)), true, &items);
}

int CM2100Control::QueryStatus(int &status)
{
    m2100::Items items;
    if (!Query({0x0D}, items) || !items.status) return 0;
    status = *items.status;
    return 1;
}

int CM2100Control::QuerySource(int bus, int &source)
{
    m2100::Items items;
    if (!Query({0x06, Byte(bus >> 8), Byte(bus)}, items)) return 0;
    const auto &value = bus % 2 ? items.oddBus : items.evenBus;
    if (!value) return 0;
    source = *value;
    return 1;
}

int CM2100Control::QueryKeyMask(int &mask)
{
    m2100::Items items;
    if (!Query({0x0C}, items) || !items.keyMask) return 0;
    mask = *items.keyMask;
    return 1;
}

int CM2100Control::Query0B(int &value)
{
    m2100::Items items;
    if (!Query({0x0B}, items) || !items.value0B) return 0;
    value = *items.value0B;
    return 1;
}

int CM2100Control::SelectSource(int bus, int source, int value)
{
    return Set({0x06, Byte(bus >> 8), Byte(bus), Byte(source), Byte(value)});
}

int CM2100Control::Command01(int value)
{
    return Set({0x01, Byte(value)});
}

int CM2100Control::Command02(int value)
{
    return Set({0x02, Byte(value)});
}

int CM2100Control::SetTransRate(int rate, int value)
{
    if (!Set({0x04, Byte(rate), Byte(value), Byte(value >> 8)})) return 0;
    Received([&] {
        m_state.transRate = Byte(rate);
        m_state.rateValue = static_cast<uint16_t>(value);
    });
    return 1;
}

int CM2100Control::SetTransType(int type)
{
    if (!Set({0x03, Byte(type)})) return 0;
    Received([&] { m_state.transType = Byte(type); });
    return 1;
}

int CM2100Control::Take()
{
    return Set({0x01, 0x01, 0x02, 0x03});
}

int CM2100Control::SetOneKey(int key, int operation)
{
    return SetKeys({{key, operation}});
}

int CM2100Control::SetKeys(const std::vector<std::pair<int, int>> &keys)
{
    // A mask the switcher did not report is not guessed at.
    int old = 0;
    if (!QueryKeyMask(old)) return 0;
    int mask = old;
    for (const auto &[key, operation] : keys) {
        if (key < 1 || key > 8) continue;
        const int bit = 1 << (key - 1);
        mask = operation ? (mask | bit) : (mask & ~bit);
    }
    glReportDbg(kLog, "reture: nOldKey = %d,nNewKey = %d", old, mask);
    if (mask == old) return 1;
    int result = 0;
    if (m_bContinuous) {
        result = Set({0x01, 0x02, 0x0B, Byte(mask), 0x01, 0x02, 0x02, 0x03});
    } else {
        if (!Set({0x01, 0x02, 0x0B, Byte(mask)})) return 0;
        if (!CCallingUnit::Nap(kKeyPauseMs)) return 0;
        result = Set({0x01, 0x02, 0x02, 0x03});
    }
    if (result) Received([&] { m_state.keyMask = Byte(mask); });
    return result;
}

m2100::Items CM2100Control::GetState() const
{
    return Received([this] { return m_state; });
}

std::optional<CSerialIO::ReplyCheck> CM2100Control::Read(const std::vector<m2100::Event> &events)
{
    bool any = false;
    for (const auto &event : events) {
        any = any || !m_bAwaitPacket || event.kind != m2100::Event::Acknowledge;
        switch (event.kind) {
        case m2100::Event::Acknowledge:
            m_bAcknowledged = true;
            break;
        case m2100::Event::Refusal:
            m_bAcknowledged = false;
            break;
        case m2100::Event::Reply:
            m_state.Merge(event.items);
            m_reply.Merge(event.items);
            m_bAcknowledged = true;
            m_bReplied = true;
            break;
        case m2100::Event::BadPacket:
            break;
        }
    }
    if (!any) return std::nullopt;
    const bool done = m_bAwaitPacket ? m_bReplied : m_bAcknowledged;
    return done ? ReplyCheck::Accept : ReplyCheck::Refuse;
}

CM2100Link::~CM2100Link()
{
    Release();
}

int32_t CM2100Link::Open(uint16_t port, bool continuous, bool retCheck)
{
    std::shared_ptr<CM2100Control> control;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (!m_pControl) {
            m_pControl = CM2100Pool::Get().Acquire(port);
            m_pControl->SetContinuous(continuous);
            m_pControl->SetWaitForReply(retCheck);
        }
        control = m_pControl;
    }
    if (control->Connected()) return DEVSTATUS_NORMAL;
    control->Open();
    if (!control->IsOpen()) return DEVSTATUS_COM_OPEN_FAILED;
    return control->Check() ? DEVSTATUS_NORMAL : DEVSTATUS_RUN_FAILED;
}

void CM2100Link::Release()
{
    std::shared_ptr<CM2100Control> control;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        control = std::move(m_pControl);
    }
    if (control) CM2100Pool::Get().Release(control->GetPort());
}

std::shared_ptr<CM2100Control> CM2100Link::Get()
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_pControl;
}

int CM2100Link::Connected()
{
    const std::shared_ptr<CM2100Control> control = Get();
    return control ? control->Connected() : 0;
}

CM2100Pool &CM2100Pool::Get()
{
    static CM2100Pool pool;
    return pool;
}

CM2100Pool::~CM2100Pool()
{
    std::lock_guard<std::mutex> lk(m_lock);
    for (auto &entry : m_entries) entry.control->Close();
    m_entries.clear();
}

std::shared_ptr<CM2100Control> CM2100Pool::Acquire(uint16_t port)
{
    std::lock_guard<std::mutex> lk(m_lock);
    for (auto &entry : m_entries) {
        if (entry.control->GetPort() != port) continue;
        ++entry.uses;
        return entry.control;
    }
    m_entries.push_back({std::make_shared<CM2100Control>(port), 1});
    return m_entries.back().control;
}

void CM2100Pool::Release(uint16_t port)
{
    std::shared_ptr<CM2100Control> freed;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        const auto found = std::find_if(m_entries.begin(), m_entries.end(), [port](const Entry &e) {
            return e.control->GetPort() == port;
        });
        if (found == m_entries.end() || --found->uses > 0) return;
        freed = std::move(found->control);
        m_entries.erase(found);
    }
    // No device holds it any more: closed outside the pool's lock, which ends a request still
    // under way; that request's own reference frees it at its end.
    freed->Close();
}

int CM2100Pool::UseCount(uint16_t port) const
{
    std::lock_guard<std::mutex> lk(m_lock);
    for (const auto &entry : m_entries)
        if (entry.control->GetPort() == port) return entry.uses;
    return 0;
}
