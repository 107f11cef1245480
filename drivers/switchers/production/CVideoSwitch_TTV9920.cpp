#include "drivers/switchers/production/CVideoSwitch_TTV9920.h"

#include "devext/device/DeviceDescription.h"

namespace {

constexpr const char *kDescription = "视频切换(TTV9920切换台)";

// Request numbers of the table that the operations send.
constexpr int kDirectTake = 2;
constexpr int kPreset = 3;
constexpr int kTake = 7;
constexpr int kTransType = 10;
constexpr int kTransRate = 11;
constexpr int kQueryProgram = 24;
constexpr int kQueryPreset = 25;
constexpr uint8_t kTakeData = 0x4A;
constexpr size_t kEntryByte = 3;

uint8_t Byte(int value)
{
    return static_cast<uint8_t>(value & 0xFF);
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_TTV9920, CVideoSwitchA, kDescription)

CSerialIO_TTV9920::CSerialIO_TTV9920()
    : CAnsweringSwitchIO(
          {COM_SETTING{}.nPort, 38400, 8, COM_PARITY_ODD, COM_STOPBITS_ONE, 0, nullptr},
          {.answeredTries = 1, .replyMs = kReplyMs})
{
}

CSerialIO_TTV9920::~CSerialIO_TTV9920()
{
    Retire();
}

int CSerialIO_TTV9920::Exchange(const ttvframe::Bytes &frame, ttvframe::ReplyState wanted,
                                ttvframe::Reply *out)
{
    const int ok = Ask(frame, [this, wanted] {
        m_reply = {};
        m_wanted = wanted;
    });
    if (out) *out = Received([this] { return m_reply; });
    return ok;
}

int CSerialIO_TTV9920::Send(int number, const ttvframe::Bytes &data, ttvframe::Reply *reply)
{
    const ttvframe::Bytes frame = ttvframe::Frame(number, data);
    return frame.empty() ? 0 : Exchange(frame, ttvframe::ReplyState::Failed, reply);
}

int CSerialIO_TTV9920::LinkTest()
{
    return Exchange(ttvframe::LinkTest(), ttvframe::ReplyState::Acknowledged, nullptr);
}

std::optional<CSerialIO::ReplyCheck>
CSerialIO_TTV9920::Read(const std::vector<ttvframe::Reply> &replies)
{
    using ttvframe::ReplyState;
    m_reply = replies.front();
    const bool good = m_wanted == ReplyState::Failed ? m_reply.state != ReplyState::Failed
                                                     : m_reply.state == m_wanted;
    return good ? ReplyCheck::Accept : ReplyCheck::Refuse;
}

CVideoSwitch_TTV9920::CVideoSwitch_TTV9920()
    : CVideoSwitchSerial({.typeId = "LVSWITCH_MCS_TTV9920",
                          .description = kDescription,
                          .sources = 16,
                          .channels = 1,
                          .portKey = "Com",
                          .open = Open::Shared,
                          .isOpenShares = true,
                          .preset = Preset::Sent,
                          .clampEntry = false})
{
}

bool CVideoSwitch_TTV9920::CheckDevice()
{
    return m_Serial.LinkTest();
}

int CVideoSwitch_TTV9920::Command(int number, const ttvframe::Bytes &data, ttvframe::Reply *reply)
{
    const auto port = ReadyPort();
    return port ? port->Send(number, data, reply) : 0;
}

int CVideoSwitch_TTV9920::DevSetTransType(int type)
{
    return Command(kTransType, {Byte(type)}) ? CVideoSwitchA::DevSetTransType(type) : 0;
}

int CVideoSwitch_TTV9920::DevSetTransRate(int rate)
{
    return Command(kTransRate, ttvframe::RateDigits(rate)) ? CVideoSwitchA::DevSetTransRate(rate)
                                                           : 0;
}

int CVideoSwitch_TTV9920::SendRoute(CSerialIO_TTV9920 &port, int, int entry)
{
    return port.Send(kDirectTake, {Byte(entry)});
}

int CVideoSwitch_TTV9920::SendPreset(CSerialIO_TTV9920 &port, int, int entry)
{
    return port.Send(kPreset, {Byte(entry)});
}

int CVideoSwitch_TTV9920::SendTake(CSerialIO_TTV9920 &port, int, int)
{
    return port.Send(kTake, {kTakeData});
}

int CVideoSwitch_TTV9920::QueryEntry(int number)
{
    ttvframe::Reply reply;
    if (!Command(number, {}, &reply) || reply.state != ttvframe::ReplyState::Data ||
        reply.bytes.size() <= kEntryByte)
        return -1;
    return reply.bytes[kEntryByte];
}

int CVideoSwitch_TTV9920::DevQueryPgmEntry(int channel, int &entry)
{
    const int got = QueryEntry(kQueryProgram);
    if (got < 0) return 0;
    entry = got;
    return CVideoSwitchA::DevDirectTake(channel, got);
}

int CVideoSwitch_TTV9920::DevQueryPstEntry(int channel, int &entry)
{
    const int got = QueryEntry(kQueryPreset);
    if (got < 0) return 0;
    entry = got;
    return CVideoSwitchA::DevPreset(channel, got);
}

int CVideoSwitch_TTV9920::DevQueryTransMode(int &, int &)
{
    Activate();
    return 0;
}
