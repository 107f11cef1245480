#include "drivers/switchers/binary/CVideoSwitch_BDS1602CP.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/binary/SwitchFrames.h"

namespace {

constexpr const char *kDescription = "视频切换(BDS1602切换开关)";
constexpr const char *kDescriptionEx = "视频切换(扩展协议SATUREN4000切换台)";
constexpr const char *kLogType = "LOG_BDS1602";
constexpr const char *kDumpType = "LOG_DBG_BDS1602";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_BDS1602CP, CVideoSwitchA, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_BDS1602CPEX, CVideoSwitch_BDS1602CP, kDescriptionEx)

CSerialIO_BDS1602CP::CSerialIO_BDS1602CP()
    : CSerialSwitchIO(
          {4, 19200, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()}, 1, 3,
          kDumpType)
{
}

CSerialIO_BDS1602CP::~CSerialIO_BDS1602CP()
{
    Retire();
}

int CSerialIO_BDS1602CP::Send(Mode mode, int bus, int source)
{
    m_nMode = mode;
    if (mode == kCommand) m_nCommandSource = source;
    const int answered = SendRequest(mode == kQuery ? swframe::Bds1602Query(m_nUnit)
                                                    : swframe::Bds1602Command(m_nUnit, bus, source),
                                     {[this] { m_decoder.Reset(); }, {}});
    m_nMode = kIdle;
    return answered;
}

int CSerialIO_BDS1602CP::SendTake(int source)
{
    return Send(kCommand, m_nProgramBus, source);
}

int CSerialIO_BDS1602CP::SendPreset(int source)
{
    return Send(kCommand, m_nPresetBus, source);
}

int CSerialIO_BDS1602CP::QueryStatus(int &source)
{
    const int answered = Send(kQuery, 0, 0);
    source = m_nLastSource;
    if (!answered) glReportLog(kDumpType, "Query DevStatus failed", nullptr);
    return 1;
}

int CSerialIO_BDS1602CP::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length < 1) return 0;
    std::vector<swframe::CBds1602Decoder::Reply> replies;
    {
        std::lock_guard<CDataLock> lk(m_RecvLock);
        replies = m_decoder.Feed(static_cast<const uint8_t *>(data.data),
                                 static_cast<size_t>(data.length));
    }
    if (replies.empty()) return 0;
    bool matched = false;
    for (const auto &reply : replies) {
        const auto state = swframe::Bds1602Reply(reply.data(), reply.size(), m_nMode == kQuery,
                                                 m_nUnit, m_nProgramBus, m_nCommandSource);
        if (!state) continue;
        m_nLastUnit = state->unit;
        m_nLastBus = state->bus;
        m_nLastSource = state->source;
        matched = true;
    }
    SignalReply();
    return matched ? 1 : 0;
}

CVideoSwitch_BDS1602CP::CVideoSwitch_BDS1602CP() : CVideoSwitchSerialA(kTypeId, kDescription, 16, 1)
{
}

int32_t CVideoSwitch_BDS1602CP::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    ReadPortKey("COM");
    m_Serial.SetPresetBus(
        CResAccess(GetSettingInfo())["PstEntry"].GetAsInteger(m_Serial.GetPresetBus()));
    return 1;
}

int CVideoSwitch_BDS1602CP::DevOpen()
{
    if (m_Serial.DevIsOpen()) return 1;
    if (!m_Serial.DevOpen()) {
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
        return 0;
    }
    int source = 0;
    m_Serial.QueryStatus(source);
    SetDevStatus(DEVSTATUS_NORMAL);
    return 1;
}

int CVideoSwitch_BDS1602CP::DevDirectTake(int channel, int entry)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    entry = ClampEntry(entry);
    const int ok = m_Serial.SendTake(entry - 1) ? CVideoSwitchA::DevDirectTake(channel, entry) : 0;
    LogCommand(kLogType, "DirectTake", ok, "failed");
    return ok;
}

int CVideoSwitch_BDS1602CP::DevPreset(int channel, int entry)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    entry = ClampEntry(entry);
    const int ok = m_Serial.SendPreset(entry - 1) ? CVideoSwitchA::DevPreset(channel, entry) : 0;
    LogCommand(kLogType, "Preset", ok);
    return ok;
}

int CVideoSwitch_BDS1602CP::DevTake(int channel)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    int preset = 0;
    CVideoSwitchA::DevQueryPstEntry(channel, preset);
    const int ok = m_Serial.SendTake(preset - 1) ? CVideoSwitchA::DevTake(channel) : 0;
    LogCommand(kLogType, "Take", ok);
    return ok;
}

int CVideoSwitch_BDS1602CP::DevQueryPgmEntry(int, int &entry)
{
    int source = -1;
    m_Serial.QueryStatus(source);
    entry = source + 1;
    return 1;
}

CVideoSwitch_BDS1602CPEX::CVideoSwitch_BDS1602CPEX()
{
    m_strDescription = kDescriptionEx;
}
