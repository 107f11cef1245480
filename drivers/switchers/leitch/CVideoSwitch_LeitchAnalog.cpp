#include "drivers/switchers/leitch/CVideoSwitch_LeitchAnalog.h"

#include "Kest20/KestLog.h"
#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char *kDescription = "视频切换(Leitch切换矩阵)";
constexpr const char *kTypeId = "LVSWITCH_MATRIX_LEITCH";

// The log text of the commands that are logged, null for the others.
const char *LogFormat(leitch::KeywordId id)
{
    switch (id) {
    case leitch::kDestination:
        return "LeitchMatrix_Analog Destination %d";
    case leitch::kLevel:
        return "LeitchMatrix_Analog Level %d";
    case leitch::kSource:
        return "LeitchMatrix_Analog Source %d";
    default:
        return nullptr;
    }
}

int Write(CSerialSwitchIO &serial, const std::string &line)
{
    return serial.WriteFrame(leitch::Bytes(line.begin(), line.end()));
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_Leitch_Analog, CVideoSwitchA, kDescription)

CSerialIO_LeitchAnalog::CSerialIO_LeitchAnalog()
    : CSerialSwitchIO(
          {1, 38400, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()})
{
}

CSerialIO_LeitchAnalog::~CSerialIO_LeitchAnalog()
{
    Retire();
}

int CSerialIO_LeitchAnalog::SendCommand(leitch::KeywordId id, int number)
{
    const int result = Write(*this, leitch::AnalogCommand(id, number));
    if (const char *format = LogFormat(id)) {
        char text[64];
        std::snprintf(text, sizeof text, format, number);
        glReportLog("LOG_DEV", text, nullptr);
    }
    return result;
}

int CSerialIO_LeitchAnalog::SendXPoint(int level, int source, int destination)
{
    const int result = Write(*this, leitch::AnalogXPoint(level, source, destination));
    char text[64];
    std::snprintf(text, sizeof text, "LeitchMatrix_Analog XPoint S:%d  D:%d", source, destination);
    glReportLog("LOG_DEV", text, nullptr);
    return result;
}

int CSerialIO_LeitchAnalog::OnRecvData(int, pointer_t &data)
{
    return data.data && data.length > 0 ? 1 : 0;
}

CVideoSwitch_Leitch_Analog::CVideoSwitch_Leitch_Analog()
    : CVideoSwitchSerial(kTypeId, kDescription, 2)
{
}

int CVideoSwitch_Leitch_Analog::DevDirectTake(int channel, int entry)
{
    Activate();
    return m_Serial.SendXPoint(0, entry, channel);
}

int CVideoSwitch_Leitch_Analog::DevPreset(int, int entry)
{
    Activate();
    m_Serial.SendCommand(leitch::kLevel, 0);
    return m_Serial.SendCommand(leitch::kSource, entry);
}

int CVideoSwitch_Leitch_Analog::DevTake(int channel)
{
    Activate();
    return m_Serial.SendCommand(leitch::kDestination, channel);
}
