#include "drivers/sources/robot/CSerialTapeRobot.h"

#include "devext/device/CSerial_M422.h"
#include "drivers/sources/robot/TapeRobotFrame.h"

#include <mutex>

IMPLEMENT_KEST_CLASS(CSerialTapeRobot, CSerialIO)

using namespace taperobot;

namespace {

// The robot is sent a command once and given three waits of twice the table's time-out,
// 50 ms apart; they run here as one wait of that length.
constexpr int kWaits = 3;
constexpr uint32_t kWaitGapMs = 50;

uint32_t ReplyWait(uint32_t timeoutMs)
{
    return kWaits * 2 * timeoutMs + (kWaits - 1) * kWaitGapMs;
}

uint8_t Digit(int32_t value)
{
    return static_cast<uint8_t>('0' + value % 10);
}

} // namespace

CSerialTapeRobot::CSerialTapeRobot()
{
    SetLine({0, 19200, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()});
}

CSerialTapeRobot::~CSerialTapeRobot()
{
    DevClose();
}

void CSerialTapeRobot::SetMessageHandler(MessageHandler handler)
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    m_Handler = std::move(handler);
}

int CSerialTapeRobot::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length <= 0) return 0;
    std::vector<BlockEvent> events;
    MessageHandler handler;
    bool replied = false;
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        events = m_decoder.Feed(static_cast<const uint8_t *>(data.data),
                                static_cast<size_t>(data.length));
        handler = m_Handler;
        for (BlockEvent &event : events) {
            if (event.kind != BlockEvent::Kind::Reply) continue;
            m_nResult = event.reply.result;
            if (event.reply.result == kData) m_Reply = std::move(event.reply.data);
            replied = !event.reply.waitOn;
        }
    }
    // The robot's messages are handed on outside the lock; a waiting request, which reads the
    // reply once signalled, completes after them.
    for (const BlockEvent &event : events)
        if (event.kind == BlockEvent::Kind::Message && handler) handler(event.message);
    if (replied) SignalReply();
    return events.empty() ? 0 : 1;
}

int32_t CSerialTapeRobot::SendFrame(int32_t id, const uint8_t *frame, int length,
                                    uint32_t timeoutMs)
{
    if (length <= 0) return 0;
    const int32_t wanted = HasReplyData(id) ? kData : kDone;
    const auto state = [this](auto use) {
        std::lock_guard<CDataLock> lk(m_StateLock);
        return use();
    };
    const auto arm = [&] {
        state([&] {
            m_decoder.Expect(id);
            m_nResult = kNone;
            m_Reply.clear();
        });
    };
    const ReplyTest test = [&] {
        return state([&] { return m_nResult == wanted ? ReplyCheck::Accept : ReplyCheck::Refuse; });
    };
    const auto ended = [&](RequestEnd) { state([this] { m_decoder.Reset(); }); };
    return Request(reinterpret_cast<const char *>(frame), length, 1, ReplyWait(timeoutMs), 0,
                   TryHooks(arm, test, ended))
               ? 1
               : 0;
}

int32_t CSerialTapeRobot::Send(int32_t id, const uint8_t *params, int n)
{
    const CommandDef *def = FindCommand(id);
    if (!def) return 0;
    uint8_t frame[kMaxFrame];
    return SendFrame(id, frame, BuildCommand(id, params, n, frame), def->timeoutMs);
}

int32_t CSerialTapeRobot::Run(int32_t id)
{
    return Send(id, nullptr, 0);
}

int32_t CSerialTapeRobot::RunUnlessBusy(int32_t id, bool &busy)
{
    // Nothing else comes between the look and the send.
    const int32_t done = AloneUnlessBusy([&] { return Run(id); }, busy);
    return busy ? 0 : done;
}

int32_t CSerialTapeRobot::Run4(uint8_t, uint8_t)
{
    return Send(4, nullptr, 0);
}

int32_t CSerialTapeRobot::BayGripper(int32_t bay, char gripper, char action)
{
    const uint8_t params[] = {Digit(bay), static_cast<uint8_t>(gripper),
                              static_cast<uint8_t>(action)};
    return Send(5, params, 3);
}

int32_t CSerialTapeRobot::ShelfGripper(char row, int32_t column, char gripper, char action)
{
    const uint8_t params[] = {static_cast<uint8_t>(row), Digit(column / 10), Digit(column),
                              static_cast<uint8_t>(gripper), static_cast<uint8_t>(action)};
    return Send(6, params, 5);
}

int32_t CSerialTapeRobot::Run1(int32_t id, uint8_t a)
{
    return Send(id, &a, 1);
}

int32_t CSerialTapeRobot::Run2(int32_t id, uint8_t a, uint8_t b)
{
    const uint8_t params[] = {a, b};
    return Send(id, params, 2);
}

int32_t CSerialTapeRobot::Run15(int32_t a, int32_t b, bool position, int32_t c, int32_t d,
                                uint8_t e, int32_t dOffset)
{
    std::vector<uint8_t> params{Digit(a), Digit(b)};
    if (position) params.push_back(0x3A);
    params.insert(params.end(), {Digit(c), Digit(d), e});
    if (dOffset >= 0 && dOffset <= static_cast<int32_t>(params.size()))
        params.insert(params.begin() + dOffset, 0x44);
    std::vector<uint8_t> body{0x40, 0x2A};
    body.insert(body.end(), params.begin(), params.end());
    uint8_t frame[kMaxFrame];
    const int length = BuildFrame(body.data(), static_cast<int>(body.size()), frame);
    return SendFrame(15, frame, length, FindCommand(15)->timeoutMs);
}

void CSerialTapeRobot::DataValues(uint32_t *values, int count) const
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    // The reply is framed: its length byte comes first.
    for (int v = 0; v < count; ++v) {
        values[v] = 0;
        for (int i = 0; i < 4; ++i) {
            const size_t at = 1 + static_cast<size_t>(v * 4 + i);
            if (at < m_Reply.size()) values[v] |= static_cast<uint32_t>(m_Reply[at]) << (8 * i);
        }
    }
}

int32_t CSerialTapeRobot::QueryStatus(int32_t type, uint32_t &first, uint32_t &second)
{
    if (type < 0 || type > 2 || !Run(25 + type)) return 0;
    uint32_t values[2];
    DataValues(values, 2);
    first = values[0];
    second = values[1];
    return 1;
}

int32_t CSerialTapeRobot::ReadLabel(char row, int32_t column, CString &label)
{
    const uint8_t params[] = {static_cast<uint8_t>(row), Digit(column / 10), Digit(column)};
    if (!Send(28, params, 3)) return 0;
    std::lock_guard<CDataLock> lk(m_StateLock);
    std::string text;
    for (size_t i = 1; i < m_Reply.size() && i <= 8; ++i)
        text.push_back(static_cast<char>(m_Reply[i]));
    label = text.c_str();
    return 1;
}

int32_t CSerialTapeRobot::Query1(int32_t id, uint8_t a, uint8_t &value)
{
    if (id != 29 && id != 30) return 0;
    if (!Send(id, &a, 1)) return 0;
    std::lock_guard<CDataLock> lk(m_StateLock);
    value = m_Reply.size() > 1 ? m_Reply[1] : 0;
    return 1;
}

int32_t CSerialTapeRobot::Query31(uint32_t &first, uint32_t &second)
{
    if (!Run(31)) return 0;
    uint32_t values[2];
    DataValues(values, 2);
    first = values[0];
    second = values[1];
    return 1;
}

int32_t CSerialTapeRobot::ReadPresenceMap(uint32_t &map)
{
    if (!Run(32)) return 0;
    DataValues(&map, 1);
    return 1;
}

std::vector<uint8_t> CSerialTapeRobot::GetReplyData() const
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    return m_Reply;
}

int32_t CSerialTapeRobot::GetLastResult() const
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    return m_nResult;
}
