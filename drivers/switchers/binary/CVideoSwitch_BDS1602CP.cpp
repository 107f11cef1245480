#include "drivers/switchers/binary/CVideoSwitch_BDS1602CP.h"

#include "Kest20/KestLog.h"
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
    : CAnsweringSwitchIO(
          {4, 19200, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()},
          {.dumpType = kDumpType})
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
    const int answered = Ask(mode == kQuery ? swframe::Bds1602Query(m_nUnit)
                                            : swframe::Bds1602Command(m_nUnit, bus, source));
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

std::optional<CSerialIO::ReplyCheck> CSerialIO_BDS1602CP::Read(const std::vector<Event> &replies)
{
    for (const auto &reply : replies) {
        const auto state = swframe::Bds1602Reply(reply.data(), reply.size(), m_nMode == kQuery,
                                                 m_nUnit, m_nProgramBus, m_nCommandSource);
        if (!state) continue;
        m_nLastUnit = state->unit;
        m_nLastBus = state->bus;
        m_nLastSource = state->source;
    }
    return ReplyCheck::Accept;
}

CVideoSwitch_BDS1602CP::CVideoSwitch_BDS1602CP()
    : CVideoSwitchSerial({.typeId = kTypeId,
                          .description = kDescription,
                          .sources = 16,
                          .channels = 1,
                          .open = Open::Own,
                          .preset = Preset::Sent,
                          .logType = kLogType})
{
}

int32_t CVideoSwitch_BDS1602CP::ReadKeys(CResAccess &setting)
{
    m_Serial.SetPresetBus(setting["PstEntry"].GetAsInteger(m_Serial.GetPresetBus()));
    return 1;
}

bool CVideoSwitch_BDS1602CP::CheckDevice()
{
    int source = 0;
    m_Serial.QueryStatus(source);
    return true;
}

int CVideoSwitch_BDS1602CP::SendRoute(CSerialIO_BDS1602CP &port, int, int entry)
{
    return port.SendTake(entry - 1);
}

int CVideoSwitch_BDS1602CP::SendPreset(CSerialIO_BDS1602CP &port, int, int entry)
{
    return port.SendPreset(entry - 1);
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
