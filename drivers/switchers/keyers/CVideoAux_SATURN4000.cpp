#include "drivers/switchers/keyers/CVideoAux_SATURN4000.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/keyers/KeyerFrames.h"
#include "drivers/switchers/SwitchLineOpen.h"
#include "drivers/switchers/production/CVideoSwitch_M21.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"

#include <vector>

namespace {

constexpr const char *kDescription = "SATURN4000切换台键控";
constexpr const char *kTitleDescription = "切换台SATURN4000键控驱动";
constexpr const char *kDevLog = "LOG_DEV";
constexpr const char *kTitleLog = "hhd";
constexpr const char *kActionText = "DEV=%s; DoAction(%d) Result:(%s) ";

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

int KeyAction(CSerialIO_M21 &port, int key, bool presetBus, int32_t operation)
{
    return port.Send(keyframe::Saturn4000KeyAction(key, presetBus, operation == 0));
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoAux_SATURN4000, CVideoKeyCtrlA, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoAux_TitleSATURN4000, CVideoAuxA, kTitleDescription)

std::shared_ptr<CSerialIO_M21> FindSaturn4000Port(uint16_t port)
{
    return std::dynamic_pointer_cast<CSerialIO_M21>(CSerialIO::GetByActivePort(port));
}

CVideoAux_SATURN4000Device::CVideoAux_SATURN4000Device()
    : CVideoKeyDriverA(kUnknownType, kDescription)
{
}

int32_t CVideoAux_SATURN4000Device::OnInitInstance()
{
    if (!CVideoKeyCtrlA::OnInitInstance()) return 0;
    m_nPort = swline::ReadPortNumber(GetSettingInfo(), "COM", m_nPort);
    CResAccess setting(GetSettingInfo());
    m_nDelayTime = setting["DelayTime"].GetAsInteger(m_nDelayTime);
    m_bComplexMode = setting["ComplexMode"].GetAsBool(m_bComplexMode);
    m_nIntervalTime = setting["IntervalTime"].GetAsInteger(m_nIntervalTime);
    m_bOnlyPreset = setting["OnlyPreset"].GetAsBool(m_bOnlyPreset);
    return 1;
}

int32_t CVideoAux_SATURN4000Device::DevTaskDirectTake(IVideoKeyTaskArray *tasks)
{
    if (!tasks || tasks->GetCount() <= 0 || !DevOpen()) return 0;
    std::vector<int32_t> keys, operations;
    for (int32_t i = 0; i < tasks->GetCount(); ++i) {
        keys.push_back(GetKeyID(tasks->GetPtrAt(i)));
        operations.push_back(tasks->GetPtrAt(i)->nop);
    }
    const tagVideoKeyTask first = *tasks->GetPtrAt(0);
    const bool complex = m_bComplexMode;
    bool presetBus = false;
    if (!complex && !first.IsFromGUI() && m_bOnlyPreset)
        presetBus = first.StartTime > Now();
    else if (!WaitForStart(first, m_nDelayTime))
        return 0;

    // The switcher's line: held for each action, not across the pauses.
    if (!FindSaturn4000Port(m_nPort)) {
        LogOpenFailed(GetDevName());
        return 0;
    }
    bool all = true;
    for (size_t i = 0; i < keys.size(); ++i) {
        const int key = complex ? keys[i] : keys[0];
        int ok = 0;
        if (const auto port = FindSaturn4000Port(m_nPort))
            ok = KeyAction(*port, key, presetBus, operations[i]);
        glReportDbg(kDevLog, kActionText, static_cast<const char *>(GetDevName()), operations[i],
                    ok ? "OK" : "Failed");
        all = all && ok;
        if (!Pause(m_nIntervalTime)) return 0;
    }
    if (!all) return 0;
    for (size_t i = 0; i < keys.size(); ++i)
        ReportKey(operations[i], FuncTypeOfKey(complex ? keys[i] : keys[0]));
    return 1;
}

CVideoAux_TitleSATURN4000::CVideoAux_TitleSATURN4000()
{
    m_strDescription = kTitleDescription;
}

int32_t CVideoAux_TitleSATURN4000::OnInitInstance()
{
    if (!CVideoAuxA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_nKey = setting["Key"].GetAsInteger(m_nKey);
    m_nPort = swline::ReadPortNumber(GetSettingInfo(), "COM", m_nPort);
    return 1;
}

int CVideoAux_TitleSATURN4000::DevOpen()
{
    return 1;
}

int CVideoAux_TitleSATURN4000::DevClose()
{
    return 1;
}

int CVideoAux_TitleSATURN4000::DevIsOpen()
{
    return 1;
}

int CVideoAux_TitleSATURN4000::DevDoAuxTask(CVideoAuxTask &task)
{
    const auto port = FindSaturn4000Port(m_nPort);
    if (!port) {
        CVideoKeyDriverA::LogOpenFailed(GetDevName());
        return 0;
    }
    const int32_t action = task.m_nAction;
    const int ok = action == 1 || action == 0 ? KeyAction(*port, m_nKey, false, action) : 1;
    CString text;
    text.Format(kActionText, static_cast<const char *>(GetDevName()), action, ok ? "OK" : "Failed");
    glReportDbg(kDevLog, "%s", static_cast<const char *>(text));
    glReportLog(kTitleLog, text, "");
    return ok;
}
