#include "drivers/switchers/leitch/CVideoSwitch_Leitch.h"

#include "Kest20/KestLog.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/leitch/LeitchKeys.h"

namespace {

constexpr const char *kDescription = "视频切换(Leitch切换矩阵)";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_Leitch, CVideoSwitchA, kDescription)

CSerialIO_LeitchMatrix::CSerialIO_LeitchMatrix()
    : CSerialSwitchIO({2, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, nullptr})
{
    m_Templates.LoadTable(leitch::CCmdTemplateMap::LeitchTable());
}

CSerialIO_LeitchMatrix::~CSerialIO_LeitchMatrix()
{
    Retire();
}

int CSerialIO_LeitchMatrix::SendCommand(int32_t key, const std::vector<leitch::CmdArg> &args)
{
    std::string line;
    if (!m_Templates.FormatCommand(key, line, args)) return 0;
    const int ok = WriteFrame(leitch::Bytes(line.begin(), line.end()));
    leitchkeys::LogLine(line, ok);
    return ok;
}

int CSerialIO_LeitchMatrix::SendStatus(char c)
{
    const leitch::StatusCommand query = leitch::StatusQuery(c);
    return SendCommand(query.key, query.args);
}

int CSerialIO_LeitchMatrix::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length < 1) return 0;
    const int whole = static_cast<int>(Decode(m_scan, data).size());
    m_nReplies += whole;
    return whole;
}

CVideoSwitch_Leitch::CVideoSwitch_Leitch() : CVideoSwitchSerial(kTypeId, kDescription, 2) {}

int32_t CVideoSwitch_Leitch::ReadKeys(CResAccess &setting)
{
    m_nPgmDest = leitchkeys::Low16(setting["PGM"].GetAsInteger(m_nPgmDest));
    m_nPstDest = leitchkeys::Low16(setting["PST"].GetAsInteger(m_nPstDest));
    return 1;
}

int CVideoSwitch_Leitch::Route(int32_t key, int destination, int source)
{
    return m_Serial.SendCommand(key, {leitch::CmdArg::Text(kLevels),
                                      leitch::CmdArg::Of(destination), leitch::CmdArg::Of(source)});
}

int CVideoSwitch_Leitch::DevDirectTake(int, int entry)
{
    if (!Activate()) return 0;
    return Route(leitch::kCmdTake, m_nPgmDest, entry - 1);
}

int CVideoSwitch_Leitch::DevPreset(int, int entry)
{
    m_nPresetSource = entry - 1;
    if (m_nPstDest == m_nPgmDest) return 0;
    if (!Route(leitch::kCmdPreset, m_nPstDest, m_nPresetSource)) return 0;
    return m_Serial.SendCommand(leitch::kCmdExecute, {});
}

int CVideoSwitch_Leitch::DevTake(int)
{
    if (!Activate()) return 0;
    return Route(leitch::kCmdTake, m_nPgmDest, m_nPresetSource);
}

int CVideoSwitch_Leitch::CrossPoint(int destination, int source)
{
    if (!Activate()) return 0;
    return Route(leitch::kCmdTake, destination, source - 1);
}
