#include "drivers/switchers/production/CVideoSwitch_M21.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/model/DeviceCalls.h"
#include "platform/TimeSource.h"

#include <string>

namespace {

constexpr const char *kDescriptionM21 = "视频切换(M21切换台)";
constexpr const char *kDescriptionSaturn = "视频切换(SATUREN4000切换台)";
constexpr const char *kDescriptionEx = "视频切换(扩展协议SATUREN4000切换台)";
constexpr const char *kTypeM21 = "LVSWITCH_MCS_M21";
constexpr const char *kTypeSaturn = "LVSWITCH_MCS_SATUREN4000";
constexpr const char *kTrace = "hhd";
constexpr const char *kTakeLog = "LOG_DEBUG";
constexpr uint16_t kPollM21 = 50;
constexpr uint16_t kPollSaturn = 100;
constexpr uint32_t kSecondSelectMs = 200;

// The bus and code answers, the same on both models.
constexpr int kPgmBus = 64;
constexpr int kPstBus = 128;
constexpr int kKey1 = 7;
constexpr int kKey2 = 8;
constexpr int kMix1 = 5;
constexpr int kMix2 = 6;

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_M21, CVideoSwitchA, kDescriptionM21)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_SATURN4000, CVideoSwitchA, kDescriptionSaturn)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_M21EX, CVideoSwitch_M21, kDescriptionEx)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_SATURN4000EX, CVideoSwitch_SATURN4000, kDescriptionEx)

CSerialIO_M21::CSerialIO_M21(uint16_t pollMs)
    : CAnsweringSwitchIO(
          {3, 38400, 8, COM_PARITY_EVEN, COM_STOPBITS_ONE, pollMs, CSerial_M422::GetClassID()},
          {.replyMs = kReplyMs})
{
}

CSerialIO_M21::~CSerialIO_M21()
{
    Retire();
}

int CSerialIO_M21::Send(const m21frame::Bytes &frame)
{
    // The break and the preamble go out on every try after the line's flush and inside the
    // request lock, so that no other device's frame falls between them and the frame.
    const m21frame::Bytes preamble = m21frame::Preamble();
    return Ask(frame, [&] {
        DevBreak(kBreakMs);
        DevWrite(reinterpret_cast<const char *>(preamble.data()),
                 static_cast<int>(preamble.size()));
    });
}

int CSerialIO_M21::SendTransType(int type)
{
    if (!Send(m21frame::TransType(type))) return 0;
    m_nTransType = type;
    return 1;
}

int CSerialIO_M21::SendTransRate(int rate)
{
    if (!Send(m21frame::TransRate(rate))) return 0;
    m_nTransRate = rate;
    return 1;
}

m21frame::Bytes CSerialIO_M21::GetReported() const
{
    return Received([this] { return m_reported; });
}

std::optional<CSerialIO::ReplyCheck>
CSerialIO_M21::Read(const std::vector<m21frame::Answer> &answers)
{
    for (const auto &answer : answers)
        if (answer.kind == m21frame::Answer::Message) m_reported = answer.bytes;
    return answers.back().kind == m21frame::Answer::Refusal ? ReplyCheck::Refuse
                                                            : ReplyCheck::Accept;
}

void CSerialIO_M21::Answer(const std::vector<m21frame::Answer> &answers)
{
    const char ack = static_cast<char>(m21frame::kAck);
    for (const auto &answer : answers)
        if (answer.kind != m21frame::Answer::Acknowledge) CSerialIO::DevWrite(&ack, 1);
}

CVideoSwitchM21A::CVideoSwitchM21A(const char *typeId, const char *description, uint16_t pollMs,
                                   const m21frame::KeyMix &keyMix)
    : CSwitchRoutes({.typeId = typeId,
                     .description = description,
                     .sources = 16,
                     .channels = 1,
                     .portKey = nullptr,
                     .open = Open::Own,
                     .preset = Preset::Sent}),
      m_keyMix(keyMix), m_Serial(pollMs)
{
}

int32_t CVideoSwitchM21A::ReadKeys(CResAccess &)
{
    m_Serial.SetConfig(GetSettingInfo());
    return 1;
}

int CVideoSwitchM21A::Command(const m21frame::Bytes &frame)
{
    const auto port = ReadyPort();
    return port ? port->Send(frame) : 0;
}

int CVideoSwitchM21A::DevSetTransType(int type)
{
    const auto port = ReadyPort();
    if (!port || !port->SendTransType(type)) return 0;
    return CVideoSwitchA::DevSetTransType(type);
}

int CVideoSwitchM21A::SendRoute(CSerialIO_M21 &port, int, int entry)
{
    return port.Send(m21frame::SelectSource(m21frame::kProgramBus, WireSource(entry)));
}

int CVideoSwitchM21A::SendPreset(CSerialIO_M21 &port, int, int entry)
{
    return port.Send(m21frame::SelectSource(m21frame::kPresetBus, WireSource(entry)));
}

int CVideoSwitchM21A::DevKey(int bus, int code)
{
    return Command(m21frame::Key(m_keyMix, bus, code)) ? CVideoSwitchA::DevKey(bus, code) : 0;
}

int CVideoSwitchM21A::DevMix(int bus, int code)
{
    return Command(m21frame::Mix(m_keyMix, bus, code)) ? CVideoSwitchA::DevMix(bus, code) : 0;
}

int CVideoSwitchM21A::DevGetPGMBUS()
{
    Trace("DevGetPGMBUS");
    return kPgmBus;
}

int CVideoSwitchM21A::DevGetPSTBUS()
{
    Trace("DevGetPSTBUS");
    return kPstBus;
}

int CVideoSwitchM21A::DevGetKey1()
{
    Trace("DevGetKey1");
    return kKey1;
}

int CVideoSwitchM21A::DevGetKey2()
{
    Trace("DevGetKey2");
    return kKey2;
}

int CVideoSwitchM21A::DevGetMix1()
{
    Trace("DevGetMix1");
    return kMix1;
}

int CVideoSwitchM21A::DevGetMix2()
{
    Trace("DevGetMix2");
    return kMix2;
}

CVideoSwitch_M21::CVideoSwitch_M21()
    : CVideoSwitchM21A(kTypeM21, kDescriptionM21, kPollM21, m21frame::kM21)
{
}

int CVideoSwitch_M21::DevSetTransRate(int rate)
{
    const auto port = ReadyPort();
    if (!port || !port->SendTransRate(rate)) return 0;
    return CVideoSwitchA::DevSetTransRate(rate);
}

int CVideoSwitch_M21::DevTake(int channel)
{
    if (!HasChannel(channel)) return 0;
    glReportDbg(kTakeLog, "Active以前 %u", plat::GetTickCount());
    if (!Activate()) {
        glReportDbg(kTakeLog, "原来没有发出啊！");
        return 0;
    }
    const int preset = PresetEntry(channel);
    glReportDbg(kTakeLog, "Src = %d Time=%u", preset, plat::GetTickCount());
    const int took = m_Serial.Send(m21frame::Take());
    glReportDbg(kTakeLog, "SwitchDirectTake = %d 命令发完后接到返回值的时间:%u ------------", took,
                plat::GetTickCount());
    // A stopped task unit sends nothing more.
    if (!CCallingUnit::Nap(kSecondSelectMs)) return 0;
    const int selected =
        m_Serial.Send(m21frame::SelectSource(m21frame::kProgramBus, WireSource(preset)));
    glReportDbg(kTakeLog, "SwitchDirectTake = %d 二次命令发完后接到返回值的时间:%u ------------",
                selected, plat::GetTickCount());
    return selected ? CVideoSwitchA::DevTake(channel) : 0;
}

CVideoSwitch_SATURN4000::CVideoSwitch_SATURN4000()
    : CVideoSwitchM21A(kTypeSaturn, kDescriptionSaturn, kPollSaturn, m21frame::kSaturn4000)
{
}

int32_t CVideoSwitch_SATURN4000::ReadKeys(CResAccess &setting)
{
    if (!CVideoSwitchM21A::ReadKeys(setting)) return 0;
    m_bEntryMap = setting["EnableEntryMap"].GetAsBool(m_bEntryMap);
    return 1;
}

int CVideoSwitch_SATURN4000::WireSource(int entry)
{
    if (!m_bEntryMap) return entry;
    const std::string key = "SRC_" + std::to_string(entry);
    return CResAccess(GetSettingInfo())[key.c_str()].GetAsInteger(entry);
}

void CVideoSwitch_SATURN4000::Trace(const char *operation)
{
    glReportDbg(kTrace, "CVideoSwitch_SATURN4000::%s ", operation);
}

int CVideoSwitch_SATURN4000::DevSetTransRate(int)
{
    return 1;
}

int CVideoSwitch_SATURN4000::DevDirectTake(int channel, int entry)
{
    const int ok = CSwitchRoutes::DevDirectTake(channel, entry);
    glReportDbg(kTrace, "CVideoSwitch_SATURN4000::DevDirectTake  nChannelID= %d,nSrcID=%d", channel,
                ClampEntry(entry));
    return ok;
}

int CVideoSwitch_SATURN4000::DevPreset(int channel, int entry)
{
    const int ok = CSwitchRoutes::DevPreset(channel, entry);
    glReportDbg(kTrace, "CVideoSwitch_SATURN4000::DevPreset  nChannelID= %d,nSrcID=%d", channel,
                ClampEntry(entry));
    return ok;
}

int CVideoSwitch_SATURN4000::SendTake(CSerialIO_M21 &port, int channel, int)
{
    const int ok = port.Send(m21frame::Take());
    glReportDbg(kTrace, "CVideoSwitch_SATURN4000::DevTake  nChannelID= %d", channel);
    return ok;
}

int CVideoSwitch_SATURN4000::KeyOff(int bus, int code)
{
    return Command(m21frame::Key(m_keyMix, bus, code, true));
}

CVideoSwitch_M21EX::CVideoSwitch_M21EX()
{
    m_strDescription = kDescriptionEx;
}

CVideoSwitch_SATURN4000EX::CVideoSwitch_SATURN4000EX()
{
    m_strDescription = kDescriptionEx;
}
