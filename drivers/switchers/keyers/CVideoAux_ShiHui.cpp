#include "drivers/switchers/keyers/CVideoAux_ShiHui.h"

#include "Kest20/KestLog.h"
#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/keyers/KeyerFrames.h"
#include "drivers/switchers/SwitchLineOpen.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"

namespace {

constexpr const char *kDescription = "师慧字幕机驱动";
constexpr const char *kDevLog = "LOG_DEV";
constexpr uint16_t kDefaultCom = 2;

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoAux_ShiHui, CVideoKeyCtrlA, kDescription)

CSerialIO_ShiHui::CSerialIO_ShiHui()
    : CAnsweringSwitchIO(
          {4, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()},
          {.answeredTries = 1, .replyMs = kReplyMs})
{
}

CSerialIO_ShiHui::~CSerialIO_ShiHui()
{
    Retire();
}

int CSerialIO_ShiHui::SetKey(int key, bool on)
{
    return Ask(keyframe::ShiHuiKey(key, on));
}

std::optional<CSerialIO::ReplyCheck> CSerialIO_ShiHui::Read(const std::vector<Event> &blocks)
{
    if (ReadSoFar()) return std::nullopt;
    return keyframe::ShiHuiAccepted(blocks.front().front()) ? ReplyCheck::Accept
                                                            : ReplyCheck::Refuse;
}

CVideoAux_ShiHuiDevice::CVideoAux_ShiHuiDevice() : CVideoKeyDriverA(kUnknownType, kDescription)
{
    m_Serial.SetPortNumber(kDefaultCom);
}

int32_t CVideoAux_ShiHuiDevice::OnInitInstance()
{
    if (!CVideoKeyCtrlA::OnInitInstance()) return 0;
    m_Serial.ReadPortKey(GetSettingInfo(), "COM");
    return 1;
}

int CVideoAux_ShiHuiDevice::DevOpen()
{
    return swline::OpenLine(*this, m_Serial, [this] { return swline::OwnOpened(m_Serial); });
}

int CVideoAux_ShiHuiDevice::DevClose()
{
    m_Serial.DevClose();
    return CVideoKeyCtrlA::DevClose();
}

int CVideoAux_ShiHuiDevice::DevIsOpen()
{
    return m_Serial.DevIsOpen();
}

int32_t CVideoAux_ShiHuiDevice::DevTaskDirectTake(IVideoKeyTaskArray *tasks)
{
    if (!tasks || tasks->GetCount() <= 0 || !DevOpen()) return 0;
    if (!WaitForStart(*tasks->GetPtrAt(0), 0)) return 0;
    int32_t all = 1;
    for (int32_t i = 0; i < tasks->GetCount(); ++i) {
        const tagVideoKeyTask task = *tasks->GetPtrAt(i);
        const int32_t key = GetKeyID(&task);
        const int ok = m_Serial.SetKey(key, task.nop != 0);
        glReportDbg(kDevLog, "trace@ShiHui; Dev=%s,Key=%d,Action=%s, Result=%s",
                    static_cast<const char *>(GetDevName()), key, task.nop ? "up" : "down",
                    ok ? "OK" : "failed");
        if (ok)
            ReportKey(task.nop, FuncTypeOfKey(key));
        else
            all = 0;
        if (!Pause(kTaskPauseMs)) return 0;
    }
    return all;
}
