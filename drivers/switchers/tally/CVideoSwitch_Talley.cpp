#include "drivers/switchers/tally/CVideoSwitch_Talley.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/StringConvert.h"
#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/model/DeviceCalls.h"
#include "drivers/switchers/tally/TallyFrames.h"

namespace {

constexpr const char *kDescription = "Talley控制";
constexpr const char *kEconomicDescription = "Talley控制经济舱";
constexpr const char *kConvertTable = "/etc/tvx/TalleyConvertTable";
constexpr const char *kLogType = "LOG_TALLEY";
constexpr const char *kDumpType = "LOG_DBG_TALLEY";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_Talley, CVideoSwitchA, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_TalleyEconomic, CVideoSwitch_Talley, kEconomicDescription)

CSerialIO_Talley::CSerialIO_Talley()
    : CSerialSwitchIO(
          {33, 38400, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()})
{
}

CSerialIO_Talley::~CSerialIO_Talley()
{
    Retire();
}

int CSerialIO_Talley::ConvertCode(int entry)
{
    CString key;
    key.Format("%i", entry);
    return CResAccess(kConvertTable)[key].GetAsInteger(kDefaultCode);
}

int CSerialIO_Talley::SendSource(int entry)
{
    const swframe::Bytes command = swframe::TalleyCommand(ConvertCode(entry));
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        if (!WriteFrame(command)) return 0;
        if (!CCallingUnit::Nap(kRepeatPauseMs)) return 0;
    }
    glReportLog(kDumpType,
                Bin2String(reinterpret_cast<const char *>(command.data()),
                           static_cast<int>(command.size())),
                nullptr);
    return 1;
}

CVideoSwitch_Talley::CVideoSwitch_Talley()
    : CVideoSwitchSerial({.typeId = "LVSWITCH_MCS_TALLEY",
                          .description = kDescription,
                          .sources = 16,
                          .channels = 1,
                          .preset = Preset::Kept,
                          .logType = kLogType})
{
}

int CVideoSwitch_Talley::SendRoute(CSerialIO_Talley &port, int, int entry)
{
    return port.SendSource(entry);
}

CVideoSwitch_TalleyEconomic::CVideoSwitch_TalleyEconomic()
{
    m_strDescription = kEconomicDescription;
    m_pShareReader = std::make_unique<CShareBusReader>([this](bool on) { m_bVirtualFlag = on; });
}

CVideoSwitch_TalleyEconomic::~CVideoSwitch_TalleyEconomic()
{
    m_pShareReader.reset();
}

int32_t CVideoSwitch_TalleyEconomic::ReadKeys(CResAccess &setting)
{
    m_bVirtualFlag = setting["Virtual"].GetAsBool(m_bVirtualFlag);
    m_nSrcHD1 = setting["SrcHD1"].GetAsInteger(m_nSrcHD1);
    m_nSrcHD2 = setting["SrcHD2"].GetAsInteger(m_nSrcHD2);
    return 1;
}

int CVideoSwitch_TalleyEconomic::DevPreset(int channel, int entry)
{
    entry = ClampEntry(entry);
    if (m_bVirtualFlag && entry == m_nSrcHD1) entry = m_nSrcHD2;
    return CVideoSwitch_Talley::DevPreset(channel, entry);
}
