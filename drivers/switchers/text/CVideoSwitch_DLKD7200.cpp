#include "drivers/switchers/text/CVideoSwitch_DLKD7200.h"

#include "Kest20/KestLog.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/text/TextSwitchFrames.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char *kLogType = "LOG_DLKD";
constexpr const char *kTypeId7200 = "LVSWITCH_MCS_DLKD7200";
constexpr const char *kDescription7200 = "视频切换(DLKD7200切换开关)";
constexpr const char *kDescription7100 = "视频切换(DLKD7100切换开关)";
constexpr const char *kDescriptionEx = "视频切换(扩展协议DLKD切换开关)";
// Both models log their preset with the DLKD7200's text.
constexpr const char *kPresetText = "DLKD7200矩阵进行预置，入:%d  ";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_DLKD7200, CVideoSwitchA, kDescription7200)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_DLKD7100, CVideoSwitchA, kDescription7100)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_DLKDEx, CVideoSwitch_DLKD7200, kDescriptionEx)

CSerialIO_DLKD7200::CSerialIO_DLKD7200() : CSerialIO_DLKD7200('V') {}

CSerialIO_DLKD7200::CSerialIO_DLKD7200(char kind)
    : CSerialSwitchIO({1, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, nullptr}), m_cKind(kind)
{
}

CSerialIO_DLKD7200::~CSerialIO_DLKD7200()
{
    Retire();
}

int CSerialIO_DLKD7200::SendWrite(int output, int input)
{
    return WriteFrame(swframe::DlkdWrite(m_cKind, output, input));
}

CSerialIO_DLKD7100::CSerialIO_DLKD7100() : CSerialIO_DLKD7200('D') {}

CVideoSwitchDlkdA::CVideoSwitchDlkdA(const char *typeId, const char *description, int channels,
                                     Texts texts)
    : CVideoSwitchSerialA(
          {.typeId = typeId, .description = description, .sources = 16, .channels = channels}),
      m_texts(texts)
{
}

int32_t CVideoSwitchDlkdA::ReadKeys(CResAccess &setting)
{
    m_nProgramOutput = setting["PGMChannel"].GetAsInteger(m_nProgramOutput);
    m_nPresetOutput = setting["PSTChannel"].GetAsInteger(m_nPresetOutput);
    return 1;
}

void CVideoSwitchDlkdA::Log(const char *format, int first, int second) const
{
    char text[256];
    std::snprintf(text, sizeof text, format, first, second);
    glReportLog(kLogType, text, nullptr);
}

int CVideoSwitchDlkdA::DevDirectTake(int channel, int entry)
{
    if (!Activate()) return 0;
    entry = ClampEntry(entry);
    channel = std::clamp(channel, 1, std::max(1, GetChannels()));
    int result = Protocol().SendWrite(channel - 1, entry - 1);
    if (result) result = CVideoSwitchA::DevDirectTake(channel, entry);
    Log(m_texts.directTake, entry - 1, channel - 1);
    return result;
}

int CVideoSwitchDlkdA::DevPreset(int, int entry)
{
    if (!Activate() || entry < 0) return 0;
    entry = ClampEntry(entry);
    Log(kPresetText, m_nPresetEntry.load() - 1, 0);
    m_nPresetEntry = entry;
    if (m_nPresetOutput < 0 || m_nPresetOutput == m_nProgramOutput) return 1;
    // The preset is kept even when the line refuses the route; the take sends it again.
    const int routed = Protocol().SendWrite(m_nPresetOutput, entry - 1);
    Log(m_texts.presetSwitch, entry - 1, m_nPresetOutput);
    return routed;
}

int CVideoSwitchDlkdA::DevTake(int channel)
{
    if (!HasChannel(channel) || !Activate() || m_nPresetEntry.load() < 0) return 0;
    const int preset = ClampEntry(m_nPresetEntry.load());
    int result = Protocol().SendWrite(m_nProgramOutput, preset - 1);
    if (result) result = CVideoSwitchA::DevTake(channel);
    Log(m_texts.take, preset - 1, m_nProgramOutput);
    return result;
}

CVideoSwitch_DLKD7200::CVideoSwitch_DLKD7200()
    : CVideoSwitchSerial(kTypeId7200, kDescription7200, 1,
                         {"DLKD7200矩阵进行直接切换，入:%d  出:%d",
                          "DLKD7200矩阵进行预置切换，入:%d  出:%d",
                          "DLKD7200矩阵进行切换，入:%d  出:%d"})
{
}

CVideoSwitch_DLKD7100::CVideoSwitch_DLKD7100()
    : CVideoSwitchSerial("LVSWITCH_MCS_DLKD7100", kDescription7100, 2,
                         {"DLKD7100矩阵进行直接切换，入:%d  出:%d",
                          "DLKD7100矩阵进行预置切换，入:%d  出:%d",
                          "DLKD7100矩阵进行切换，入:%d  出:%d"})
{
}

int32_t CVideoSwitch_DLKD7100::ReadKeys(CResAccess &setting)
{
    if (!CVideoSwitchDlkdA::ReadKeys(setting)) return 0;
    Log("DLKD7100矩阵OnInitInstance:PGM = %d PST = %d", GetProgramOutput(), GetPresetOutput());
    return 1;
}

CVideoSwitch_DLKDEx::CVideoSwitch_DLKDEx()
    : CSwitchVirtualMode({.entriesFollow = false,
                          .noticeType = "LOG_AIR_SWITCH",
                          .noticeText = "recieve Log for Share dev (leitch)"})
{
    m_strDescription = kDescriptionEx;
}
