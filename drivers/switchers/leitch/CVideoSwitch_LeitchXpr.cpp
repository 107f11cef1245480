#include "drivers/switchers/leitch/CVideoSwitch_LeitchXpr.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/model/ShareBus.h"
#include "platform/TimeSource.h"

#include <algorithm>

namespace {

constexpr const char *kDescription = "视频切换(Leitch切换开关)";
constexpr const char *kDescriptionEx = "视频切换(扩展协议Leitch切换开关)";
constexpr const char *kDescriptionNPort = "视频切换(扩展协议Leitch切换开关NPort)";
constexpr const char *kShareType = "#OVRA_DEV_SHARE";
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
CVideoSwitchXprA::CVideoSwitchXprA() : CVideoSwitchSerialA(kUnknownType, kDescription, 16, 1) {}

int CVideoSwitchXprA::DevOpen()
{
    if (Serial().DevIsOpen()) return 1;
    if (!ActivePort()) {
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
        return 0;
    }
    SetDevStatus(DEVSTATUS_NORMAL);
    glReportLog("LOG_DEV", "DEV=Xpr; Emulate = FALSE", nullptr);
    return 1;
}

int CVideoSwitchXprA::DevTest(const char *)
{
    return 1;
}

int CVideoSwitchXprA::DevTake2(int)
{
    return 1;
}

void CVideoSwitchXprA::ReadOutputKeys()
{
    CResAccess setting(GetSettingInfo());
    m_nPgmChannel = setting["PGMChannel"].GetAsInteger(m_nPgmChannel);
    m_nPstChannel = setting["PSTChannel"].GetAsInteger(m_nPstChannel);
    m_nSecondOutput = setting["ChnOut2"].GetAsInteger(2);
    m_nSecondInput = setting["SrcIn2"].GetAsInteger(m_nPstChannel);
    m_bSecondSwitch = setting["Whith2Switch"].GetAsBool(false);
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
    m_pLockReader = std::make_unique<CLogReader>(&CVideoSwitch_LeitchXpr::OnShareMessage, this,
                                                 kShareType, LOG_MODE_PATTERN);
}

// The subscription ends while the device still lives.
CVideoSwitch_LeitchXpr::~CVideoSwitch_LeitchXpr()
{
    m_pLockReader.reset();
}

int32_t CVideoSwitch_LeitchXpr::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    ReadPortKey("COM");
    m_nLockSource = CResAccess(GetSettingInfo())["LockPGM"].GetAsInteger(m_nLockSource);
    ReadOutputKeys();
    return 1;
}

int CVideoSwitch_LeitchXpr::OnShareMessage(const char *type, const char *text, const char *)
{
    const std::optional<bool> on = sharebus::ReadVirtual(type, text);
    if (!on) return 0;
    const bool virtualOn = *on;
    const int32_t lock = CResAccess(GetSettingInfo())["LockPGM"].GetAsInteger(0);
    m_nLockSource = virtualOn ? lock : 0;
    return 1;
}

std::shared_ptr<CSerialIO_LeitchXprA> CVideoSwitch_LeitchXpr::Prepare(int &source)
{
    source = ClampEntry(source);
    if (!Activate()) return nullptr;
    const auto port = ActivePort();
    if (port && m_nLockSource > 0) source = m_nLockSource;
    return port;
}

int CVideoSwitch_LeitchXpr::DevDirectTake(int channel, int entry)
{
    int source = entry;
    const auto port = Prepare(source);
    if (!port) return 0;
    if (channel > GetChannels()) return 1;
    return port->SendTake(source, channel) ? CVideoSwitchA::DevDirectTake(channel, source) : 0;
}

int CVideoSwitch_LeitchXpr::DevPreset(int channel, int entry)
{
    // The preview take would go out before the base refused the channel.
    if (!HasChannel(channel)) return 0;
    int source = entry;
    if (InVirtualMode()) {
        // Only recorded (the preview take is blocked on its own): no port is opened for it.
        source = ClampEntry(source);
        if (m_nLockSource > 0) source = m_nLockSource;
    } else if (!Prepare(source)) {
        return 0;
    }
    return PresetWithPreview(channel, source);
}

int CVideoSwitch_LeitchXpr::DevTake(int channel)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    const auto port = ActivePort();
    if (!port) return 0;
    int source = m_nLockSource;
    if (source <= 0) CVideoSwitchA::DevQueryPstEntry(channel, source);
    return port->SendTake(source, channel) ? CVideoSwitchA::DevTake(channel) : 0;
}

CVideoSwitch_LeitchXprEx::CVideoSwitch_LeitchXprEx()
    : CSwitchVirtualMode<CVideoSwitch_LeitchXpr>({false, "LOG_AIR_SWITCH",
                                                  "recieve Log for Share dev (leitch)", true,
                                                  "(setVirtal)open leitch sucessful"})
{
    m_strDescription = kDescriptionEx;
}

int CVideoSwitch_LeitchXprEx::DevTake2(int channel)
{
    // Blocked while virtual, as the other takes: it would switch the live router.
    if (GetVirtual()) return 1;
    if (!HasChannel(channel) || !Activate()) return 0;
    const auto port = ActivePort();
    if (!port) return 0;
    if (!m_bSecondSwitch) return 1;
    int preset = 0;
    CVideoSwitchA::DevQueryPstEntry(channel, preset);
    // The second output is a convenience: when it cannot be switched the take stands.
    if (!port->SendTake(preset, m_nSecondOutput)) return 1;
    plat::Sleep(kSecondTakePauseMs);
    if (!port->SendTake(m_nSecondInput, channel)) return 0;
    CVideoSwitchA::DevTake2(channel);
    return 1;
}

CVideoSwitch_LeitchXprNPortEX::CVideoSwitch_LeitchXprNPortEX()
    : CSwitchVirtualMode<CVideoSwitch_LeitchXpr>({false, nullptr, nullptr, true, nullptr})
{
    m_strDescription = kDescriptionNPort;
}

CVideoSwitch_LeitchXpr_AS::CVideoSwitch_LeitchXpr_AS() = default;

int32_t CVideoSwitch_LeitchXpr_AS::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    ReadPortKey("COM");
    ReadOutputKeys();
    CResAccess setting(GetSettingInfo());
    m_Outputs = IntList(setting, "ChnMatrixOutArray");
    m_InputMap = IntList(setting, "ChnMatrixInMap");
    return 1;
}

int CVideoSwitch_LeitchXpr_AS::DevDirectTake(int channel, int entry)
{
    int source = ClampEntry(entry);
    if (!HasChannel(channel) || !Activate()) return 0;
    const auto port = ActivePort();
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

int CVideoSwitch_LeitchXpr_AS::DevTake(int channel)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    const auto port = ActivePort();
    if (!port) return 0;
    glReportLog("LOG_Dev", "DevTake  successfully!", nullptr);
    int preset = 0;
    CVideoSwitchA::DevQueryPstEntry(channel, preset);
    return port->SendTake(preset, channel) ? CVideoSwitchA::DevTake(channel) : 0;
}
