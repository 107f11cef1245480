#include "drivers/switchers/leitch/CVideoSwitch_LeitchPanacea.h"

#include "devext/device/DeviceDescription.h"
#include "devext/device/PCommLibrary.h"
#include "drivers/model/DeviceCalls.h"
#include "drivers/switchers/leitch/LeitchFrames.h"
#include "drivers/switchers/leitch/LeitchKeys.h"

#include <cstdlib>

namespace {

constexpr const char *kDescription = "视频切换(Leitch1602矩阵)";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_LeitchPanacea, CVideoSwitchA, kDescription)

CSerialIO_LeitchPanacea::CSerialIO_LeitchPanacea()
    : CSerialSwitchIO({2, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, nullptr})
{
}

CSerialIO_LeitchPanacea::~CSerialIO_LeitchPanacea()
{
    Retire();
}

int CSerialIO_LeitchPanacea::SendXPoint(int level, int source, int destination)
{
    return PutLine(leitch::PanaceaXPoint(level, source, destination), PCommLibrary::Get().putch);
}

int CSerialIO_LeitchPanacea::PutLine(const std::string &line, PutChar putChar)
{
    if (!putChar) return 0;
    const int port = GetPortNumber();
    // One line at a time: two lines' characters never interleave.
    const bool whole = Alone([&] {
        for (const char c : line) {
            if (putChar(port, static_cast<unsigned char>(c)) < 0) return false;
            if (!CCallingUnit::Nap(kCharPauseMs)) return false;
        }
        return true;
    });
    if (!whole) return 0;
    leitchkeys::LogLine(line, true);
    return 1;
}

CVideoSwitch_LeitchPanacea::CVideoSwitch_LeitchPanacea()
    : CVideoSwitchSerial(kTypeId, kDescription, 4)
{
}

int32_t CVideoSwitch_LeitchPanacea::ReadKeys(CResAccess &setting)
{
    m_nPgmDest = leitchkeys::Low16(setting["PGM"].GetAsInteger(m_nPgmDest));
    m_nPstDest = leitchkeys::Low16(setting["PST"].GetAsInteger(-1));
    m_strLevel = static_cast<const char *>(setting["LEVEL"].GetAsString("0"));
    return 1;
}

int CVideoSwitch_LeitchPanacea::Level() const
{
    return std::atoi(m_strLevel.c_str());
}

int CVideoSwitch_LeitchPanacea::DevDirectTake(int, int entry)
{
    return CrossPoint(entry, m_nPgmDest);
}

int CVideoSwitch_LeitchPanacea::DevPreset(int, int entry)
{
    m_nPresetSource = entry;
    if (m_nPstDest == 0) return 1;
    return m_Serial.SendXPoint(Level(), entry, m_nPstDest);
}

int CVideoSwitch_LeitchPanacea::DevTake(int channel)
{
    return CrossPoint(m_nPresetSource, m_nPgmDest > 0 ? m_nPgmDest : channel);
}

int CVideoSwitch_LeitchPanacea::CrossPoint(int source, int destination)
{
    if (!Activate()) return 0;
    return m_Serial.SendXPoint(Level(), source, destination);
}
