#include "drivers/switchers/binary/CVideoSwitch_BoHui.h"

#include "Kest20/KestLog.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/binary/SwitchFrames.h"

namespace {

constexpr const char *kDescription = "视频切换(BoHui切换开关)";
constexpr const char *kLogType = "LOG_BOHUI";

CString OutputList(const std::vector<int> &outputs)
{
    CString list, item;
    for (int output : outputs) {
        item.Format(" %d", output);
        list += item;
    }
    return list;
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_BoHui, CVideoSwitchA, kDescription)

CSerialIO_BoHui::CSerialIO_BoHui()
    : CSerialSwitchIO({1, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, nullptr})
{
}

CSerialIO_BoHui::~CSerialIO_BoHui()
{
    Retire();
}

int CSerialIO_BoHui::SendRoute(int input, const std::vector<int> &outputs)
{
    if (input < 0 || input > kMaxInput) return 0;
    std::lock_guard<std::mutex> lk(m_stateLock);
    std::array<uint8_t, 8> next = m_state;
    for (int output : outputs) {
        if (output < 1 || output > kOutputs) return 0;
        next[static_cast<size_t>(output - 1)] = static_cast<uint8_t>(input);
        next[static_cast<size_t>(output - 1 + kOutputs)] = static_cast<uint8_t>(input);
    }
    if (!WriteFrame(swframe::BoHuiFrame(next))) return 0;
    m_state = next;
    return 1;
}

std::array<uint8_t, 8> CSerialIO_BoHui::GetState() const
{
    std::lock_guard<std::mutex> lk(m_stateLock);
    return m_state;
}

CVideoSwitch_BoHui::CVideoSwitch_BoHui()
    : CVideoSwitchSerial({.typeId = "LVSWITCH_SWITCH_BOHUI",
                          .description = kDescription,
                          .sources = 8,
                          .channels = 4})
{
}

int32_t CVideoSwitch_BoHui::ReadKeys(CResAccess &setting)
{
    CArray<int32_t, int32_t> outputs;
    setting["MultiPGM"].GetAsIntArray(outputs);
    m_outputs.assign(outputs.GetData(), outputs.GetData() + outputs.GetSize());
    glReportDbg(kLogType, "博汇切换OnInitInstance() 输出 %s", OutputList(m_outputs).GetString());
    return 1;
}

int CVideoSwitch_BoHui::Route(const char *operation, bool active, int entry)
{
    if (!active) {
        glReportDbg(kLogType, "博汇切换%s ActiveInstance() return FALSE", operation);
        return 0;
    }
    entry = ClampEntry(entry);
    if (m_outputs.empty()) {
        glReportDbg(kLogType, "博汇切换%s m_arrChannel.GetSize() <= 0", operation);
        return 0;
    }
    glReportDbg(kLogType, "博汇切换%s() 入 = %d 出 = %s", operation, entry,
                OutputList(m_outputs).GetString());
    return m_Serial.SendRoute(entry - 1, m_outputs);
}

int CVideoSwitch_BoHui::DevDirectTake(int, int entry)
{
    return Route("DevDirectTake", Activate(), entry);
}

int CVideoSwitch_BoHui::DevTake(int channel)
{
    const bool active = Activate();
    return Route("Take", active, PresetEntry(channel));
}
