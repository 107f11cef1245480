#include "gpi/CVideoAux_TitleGPI.h"

#include "gpi/CGPICard_PinioTech.h"

#include "drivers/tasks/CVideoKeyTaskArray.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CFileTime.h"
#include "KestLib20/CResAccess.h"
#include "platform/Process.h"

// The run-time record names the keyer base as its base class, as the other keyer drivers do.
IMPLEMENT_KEST_CLASS(CVideoAux_TitleGPI, CVideoKeyCtrlA)

namespace {

constexpr const char *kLogDev = "LOG_DEV";
constexpr const char *kLogAirSwitch = "LOG_AIR_SWITCH";

void DebugText(const CString &text)
{
    plat::OutputDebugString(text);
}

uint16_t Level(int32_t value)
{
    return value ? 1 : 0;
}

} // namespace

CVideoAux_TitleGPI::CVideoAux_TitleGPI() : CVideoKeyDriverA(kUnknownType, nullptr) {}

CVideoAux_TitleGPI::CVideoAux_TitleGPI(const CVideoAux_TitleGPI &other) : CVideoKeyDriverA(other)
{
    CopySettings(other);
}

CVideoAux_TitleGPI &CVideoAux_TitleGPI::operator=(const CVideoAux_TitleGPI &other)
{
    if (this == &other) return *this;
    CVideoKeyDriverA::operator=(other);
    CopySettings(other);
    return *this;
}

void CVideoAux_TitleGPI::CopySettings(const CVideoAux_TitleGPI &other)
{
    m_nChannelIndex = other.m_nChannelIndex;
    m_nDelayTime = other.m_nDelayTime;
    m_nIntervalTime = other.m_nIntervalTime;
    m_nCmdOn = other.m_nCmdOn;
    m_nCmdOff = other.m_nCmdOff;
    m_bComplexMode = other.m_bComplexMode;
}

CVideoAux_TitleGPI::~CVideoAux_TitleGPI() = default;

int32_t CVideoAux_TitleGPI::OnInitInstance()
{
    if (!CVideoKeyCtrlA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_nChannelIndex = setting["ChannelIndex"].GetAsInteger(m_nChannelIndex);
    m_nDelayTime = setting["DelayTime"].GetAsInteger(m_nDelayTime);
    m_nIntervalTime = setting["IntervalTime"].GetAsInteger(m_nIntervalTime);
    m_bComplexMode = setting["ComplexMode"].GetAsBool(m_bComplexMode);
    m_nCmdOn = setting["CmdOn"].GetAsInteger(m_nCmdOn);
    m_nCmdOff = setting["CmdOff"].GetAsInteger(m_nCmdOff);
    return 1;
}

int CVideoAux_TitleGPI::DevClose()
{
    return 1;
}

int CVideoAux_TitleGPI::DevOpen()
{
    return 1;
}

int CVideoAux_TitleGPI::DevIsOpen()
{
    return 1;
}

int CVideoAux_TitleGPI::DevDoAuxTask(CVideoAuxTask &task)
{
    // A virtual (standby) caption leaves its contacts alone, as every keyer leaves its
    // hardware.
    if (IsVirtual()) return 1;
    CGPICard_PinioTech card;
    if (!card.OpenDevice()) {
        glReportLog(kLogDev, "Dev=GPI_TITLE; Open failed", "");
        return 0;
    }
    card.SetChannelState(static_cast<uint16_t>(m_nChannelIndex), Level(task.m_nAction));
    card.CloseDevice();
    glReportLog(kLogDev, "DEV=GPI_TITLE; DoAction ", "");
    return 1;
}

int32_t CVideoAux_TitleGPI::DevTaskDirectTake(IVideoKeyTaskArray *tasks)
{
    if (IsVirtual()) return 1;
    return m_bComplexMode ? DevTaskDirectTake_ComplexMode(tasks)
                          : DevTaskDirectTake_NormalMode(tasks);
}

int32_t CVideoAux_TitleGPI::DevTaskDirectTake_NormalMode(IVideoKeyTaskArray *tasks)
{
    if (!tasks || tasks->GetCount() <= 0) return 0;
    CGPICard_PinioTech card;
    if (!card.OpenDevice()) {
        DebugText("NormalMode  GPI设备打开失败");
        return 0;
    }
    const tagVideoKeyTask task = *tasks->GetPtrAt(0);
    if (!WaitForStart(task, m_nDelayTime)) return 0;
    const int ok = card.SetChannelState(static_cast<uint16_t>(m_nChannelIndex), Level(task.nop));
    CString text;
    text.Format("NormalMode  nKeyer = %d  nOp = %d  nOk = %d", m_nChannelIndex, task.nop, ok);
    DebugText(text);
    glReportDbg(kLogAirSwitch, "trace(CVideoAux_TitleGPI::DevTaskDirectTake) ; Up = %d ; OK = %d",
                task.nop, ok);
    return ok;
}

int32_t CVideoAux_TitleGPI::DevTaskDirectTake_ComplexMode(IVideoKeyTaskArray *tasks)
{
    CGPICard_PinioTech card;
    if (!card.OpenDevice()) {
        DebugText("ComplexMode  GPI设备打开失败");
        return 0;
    }
    const int32_t count = tasks ? tasks->GetCount() : 0;
    CString text;
    text.Format("ComplexMode  此次要执行的键控任务个数为 = %d", count);
    DebugText(text);
    int32_t succeeded = 0;
    for (int32_t i = 0; i < count; ++i) {
        const tagVideoKeyTask task = *tasks->GetPtrAt(i);
        const int32_t channel = GetKeyID(&task);
        char when[CFileTime::kDateTimeTextSize];
        if (task.IsFromGUI()) {
            text.Format("ComplexMode  来自界面的第%d个键控任务的开始时间为: %s ", i,
                        CFileTime(task.StartTime).GetAsString(when));
            DebugText(text);
            if (!WaitForStart(task, 0)) return 0;
        } else if (i == 0) {
            text.Format("ComplexMode  来自播出单的第%d个键控任务的开始时间为: %s ", i,
                        CFileTime(task.StartTime).GetAsString(when));
            DebugText(text);
            if (!WaitForStart(task, 0)) return 0;
        }
        const int ok = card.SetChannelState(static_cast<uint16_t>(channel),
                                            Level(task.nop ? m_nCmdOn : m_nCmdOff));
        text.Format("ComplexMode  nKeyer = %d  nOp = %d  nOk = %d", channel, task.nop, ok);
        DebugText(text);
        glReportDbg(kLogAirSwitch,
                    "CVideoAux_TitleGPI::DevTaskDirectTake; Keyer = %d ; Up = %d ; OK = %d",
                    channel, task.nop, ok);
        if (ok) ++succeeded;
        if (!Pause(m_nIntervalTime)) return 0;
    }
    return succeeded == count ? 1 : 0;
}
