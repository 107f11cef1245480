#include "drivers/switchers/leitch/CVideoSwitch_LeitchXpr.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/model/DeviceCalls.h"

#include <algorithm>

namespace {

constexpr const char *kDescription = "视频切换(Leitch切换开关)";
constexpr const char *kDescriptionEx = "视频切换(扩展协议Leitch切换开关)";
constexpr const char *kDescriptionNPort = "视频切换(扩展协议Leitch切换开关NPort)";
constexpr uint32_t kSecondTakePauseMs = 200;

std::vector<int32_t> IntList(CResAccess &setting, const char *key)
{
    CArray<int32_t, int32_t> list;
    setting[key].GetAsIntArray(list);
    return std::vector<int32_t>(list.GetData(), list.GetData() + list.GetSize());
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_LeitchXpr, CVideoSwitchA, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_LeitchXprEx, CVideoSwitch_LeitchXpr, kDescriptionEx)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_LeitchXprNPortEX, CVideoSwitch_LeitchXpr, kDescriptionNPort)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_LeitchXpr_AS, CVideoSwitchA, kDescription)

// The routers have no device type id of their own: the base's.
CVideoSwitchXprA::CVideoSwitchXprA()
    : CSwitchRoutes({.typeId = kUnknownType,
                     .description = kDescription,
                     .sources = 16,
                     .channels = 1,
                     .open = Open::Shared})
{
}

int CVideoSwitchXprA::DevOpen()
{
    if (Serial().DevIsOpen()) return 1;
    if (!CSwitchRoutes::DevOpen()) return 0;
    glReportLog("LOG_DEV", "DEV=Xpr; Emulate = FALSE", nullptr);
    return 1;
}

int CVideoSwitchXprA::DevTake2(int)
{
    return 1;
}

int32_t CVideoSwitchXprA::ReadKeys(CResAccess &setting)
{
    m_nPgmChannel = setting["PGMChannel"].GetAsInteger(m_nPgmChannel);
    m_nPstChannel = setting["PSTChannel"].GetAsInteger(m_nPstChannel);
    m_nSecondOutput = setting["ChnOut2"].GetAsInteger(2);
    m_nSecondInput = setting["SrcIn2"].GetAsInteger(m_nPstChannel);
    m_bSecondSwitch = setting["Whith2Switch"].GetAsBool(false);
    return 1;
}

int CVideoSwitchXprA::SendRoute(CSerialIO_LeitchXprA &port, int channel, int entry)
{
    return port.SendTake(entry, channel);
}

int CVideoSwitchXprA::PresetWithPreview(int channel, int source)
{
    if (m_nPstChannel >= 0 && m_nPstChannel != m_nPgmChannel && m_nPstChannel < GetChannels()) {
        CVideoSwitchA::DevPreset(m_nPstChannel, source);
        DevTake(m_nPstChannel);
    }
    return CVideoSwitchA::DevPreset(channel, source);
}

CVideoSwitch_LeitchXpr::CVideoSwitch_LeitchXpr()
{
    m_pLockReader = std::make_unique<CShareBusReader>([this](bool on) {
        const int32_t lock = CResAccess(GetSettingInfo())["LockPGM"].GetAsInteger(0);
        m_nLockSource = on ? lock : 0;
    });
}

// The subscription ends while the device still lives.
CVideoSwitch_LeitchXpr::~CVideoSwitch_LeitchXpr()
{
    m_pLockReader.reset();
}

int32_t CVideoSwitch_LeitchXpr::ReadKeys(CResAccess &setting)
{
    m_nLockSource = setting["LockPGM"].GetAsInteger(m_nLockSource);
    return CVideoSwitchXprA::ReadKeys(setting);
}

int CVideoSwitch_LeitchXpr::Source(int entry) const
{
    const int lock = m_nLockSource;
    return lock > 0 ? lock : ClampEntry(entry);
}

int CVideoSwitch_LeitchXpr::DevDirectTake(int channel, int entry)
{
    // The base refuses a channel below 0: the router is not switched for it.
    if (channel < 0) return 0;
    const auto port = ReadyPort();
    if (!port) return 0;
    const int source = Source(entry);
    if (channel > GetChannels()) return 1;
    return port->SendTake(source, channel) ? CVideoSwitchA::DevDirectTake(channel, source) : 0;
}

int CVideoSwitch_LeitchXpr::DevPreset(int channel, int entry)
{
    // The preview take would go out before the base refused the channel.
    if (!HasChannel(channel)) return 0;
    // While virtual it is only recorded (the preview take is blocked on its own): no port is
    // opened for it.
    if (!InVirtualMode() && !ReadyPort()) return 0;
    return PresetWithPreview(channel, Source(entry));
}

int CVideoSwitch_LeitchXpr::SendTake(CSerialIO_LeitchXprA &port, int channel, int preset)
{
    const int lock = m_nLockSource;
    return port.SendTake(lock > 0 ? lock : preset, channel);
}

CVideoSwitch_LeitchXprEx::CVideoSwitch_LeitchXprEx()
    : CSwitchVirtualMode({.entriesFollow = false,
                          .presetAlwaysModel = true,
                          .secondTakeBlocked = true,
                          .noticeType = "LOG_AIR_SWITCH",
                          .noticeText = "recieve Log for Share dev (leitch)",
                          .reopenedText = "(setVirtal)open leitch sucessful"})
{
    m_strDescription = kDescriptionEx;
}

int CVideoSwitch_LeitchXprExDevice::DevTake2(int channel)
{
    if (!HasChannel(channel)) return 0;
    const auto port = ReadyPort();
    if (!port) return 0;
    if (!m_bSecondSwitch) return 1;
    // The second output is a convenience: when it cannot be switched the take stands.
    if (!port->SendTake(PresetEntry(channel), m_nSecondOutput)) return 1;
    if (!CCallingUnit::Nap(kSecondTakePauseMs)) return 0;
    if (!port->SendTake(m_nSecondInput, channel)) return 0;
    CVideoSwitchA::DevTake2(channel);
    return 1;
}

CVideoSwitch_LeitchXprNPortEX::CVideoSwitch_LeitchXprNPortEX()
    : CSwitchVirtualMode({.entriesFollow = false, .presetAlwaysModel = true})
{
    m_strDescription = kDescriptionNPort;
}

CVideoSwitch_LeitchXpr_AS::CVideoSwitch_LeitchXpr_AS() = default;

int32_t CVideoSwitch_LeitchXpr_AS::ReadKeys(CResAccess &setting)
{
    if (!CVideoSwitchXprA::ReadKeys(setting)) return 0;
    m_Outputs = IntList(setting, "ChnMatrixOutArray");
    m_InputMap = IntList(setting, "ChnMatrixInMap");
    return 1;
}

int CVideoSwitch_LeitchXpr_AS::DevDirectTake(int channel, int entry)
{
    int source = ClampEntry(entry);
    if (!HasChannel(channel)) return 0;
    const auto port = ReadyPort();
    if (!port) return 0;
    const bool listed = std::find(m_Outputs.begin(), m_Outputs.end(), channel) != m_Outputs.end();
    if (listed && source <= static_cast<int>(m_InputMap.size()))
        source = std::max(1, static_cast<int>(m_InputMap[static_cast<size_t>(source - 1)]));
    return port->SendTake(source, channel) ? CVideoSwitchA::DevDirectTake(channel, source) : 0;
}

int CVideoSwitch_LeitchXpr_AS::DevPreset(int channel, int entry)
{
    if (!HasChannel(channel)) return 0;
    return PresetWithPreview(channel, entry);
}

int CVideoSwitch_LeitchXpr_AS::SendTake(CSerialIO_LeitchXprA &port, int channel, int preset)
{
    glReportLog("LOG_Dev", "DevTake  successfully!", nullptr);
    return port.SendTake(preset, channel);
}
