#include "drivers/switchers/tally/CVideoSwitch_Talley.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/StringConvert.h"
#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/model/ShareBus.h"
#include "drivers/switchers/tally/TallyFrames.h"
#include "platform/TimeSource.h"

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
        {
            std::lock_guard<CDataLock> lk(m_RecvLock);
            m_Buffer.RemoveAll();
        }
        if (!WriteFrame(command)) return 0;
        plat::Sleep(kRepeatPauseMs);
    }
    glReportLog(kDumpType,
                Bin2String(reinterpret_cast<const char *>(command.data()),
                           static_cast<int>(command.size())),
                nullptr);
    return 1;
}

CVideoSwitch_Talley::CVideoSwitch_Talley()
    : CVideoSwitchSerialA("LVSWITCH_MCS_TALLEY", kDescription, 16, 1)
{
}

int32_t CVideoSwitch_Talley::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    ReadPortKey("COM");
    return 1;
}

int CVideoSwitch_Talley::DevOpen()
{
    return OpenPlain();
}

int CVideoSwitch_Talley::DevDirectTake(int channel, int entry)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    entry = ClampEntry(entry);
    const int result =
        m_Serial.SendSource(entry) ? CVideoSwitchA::DevDirectTake(channel, entry) : 0;
    LogCommand(kLogType, "DirectTake", result, "failed");
    return result;
}

int CVideoSwitch_Talley::DevPreset(int channel, int entry)
{
    if (!Activate()) return 0;
    const int result = CVideoSwitchA::DevPreset(channel, ClampEntry(entry));
    LogCommand(kLogType, "Preset", result);
    return result;
}

int CVideoSwitch_Talley::DevTake(int channel)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    int preset = 0;
    CVideoSwitchA::DevQueryPstEntry(channel, preset);
    const int result = m_Serial.SendSource(preset) ? CVideoSwitchA::DevTake(channel) : 0;
    LogCommand(kLogType, "Take", result);
    return result;
}

int CVideoSwitch_Talley::DevQueryPgmEntry(int channel, int &entry)
{
    return CVideoSwitchA::DevQueryPgmEntry(channel, entry);
}

CVideoSwitch_TalleyEconomic::CVideoSwitch_TalleyEconomic()
{
    m_strDescription = kEconomicDescription;
    m_pShareReader = std::make_unique<CLogReader>(&CVideoSwitch_TalleyEconomic::OnShareMessage,
                                                  this, sharebus::kShareBus, LOG_MODE_PATTERN);
}

CVideoSwitch_TalleyEconomic::~CVideoSwitch_TalleyEconomic()
{
    m_pShareReader.reset();
}

int32_t CVideoSwitch_TalleyEconomic::OnInitInstance()
{
    if (!CVideoSwitch_Talley::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
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

int CVideoSwitch_TalleyEconomic::OnShareMessage(const char *type, const char *text, const char *)
{
    const std::optional<bool> on = sharebus::ReadVirtual(type, text);
    if (!on) return 0;
    m_bVirtualFlag = *on;
    return 1;
}
