#include "drivers/switchers/keyers/CVideoAux_M2100.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/SwitchLineOpen.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"

#include <utility>
#include <vector>

namespace {

constexpr const char *kDescription = "M2100切换台键控";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoAux_M2100, CVideoKeyCtrlA, kDescription)

CVideoAux_M2100Device::CVideoAux_M2100Device() : CVideoKeyDriverA(kUnknownType, kDescription) {}

int32_t CVideoAux_M2100Device::OnInitInstance()
{
    if (!CVideoKeyCtrlA::OnInitInstance()) return 0;
    m_nPort = swline::ReadPortNumber(GetSettingInfo(), "COM", m_nPort);
    CResAccess setting(GetSettingInfo());
    m_nPutOffTime = setting["PutOffTime"].GetAsInteger(m_nPutOffTime);
    m_bContinuous = setting["Continuous"].GetAsBool(m_bContinuous);
    m_bRetCheck = setting["RetCheck"].GetAsBool(m_bRetCheck);
    return 1;
}

int CVideoAux_M2100Device::DevOpen()
{
    SetDevStatus(DEVSTATUS_NORMAL);
    SetDevStatus(m_link.Open(m_nPort, m_bContinuous, m_bRetCheck));
    return 1;
}

int CVideoAux_M2100Device::DevClose()
{
    m_link.Release();
    return CVideoKeyCtrlA::DevClose();
}

int CVideoAux_M2100Device::DevIsOpen()
{
    return m_link.Connected();
}

int CVideoAux_M2100Device::DevTest(const char *)
{
    SetDevStatus(DEVSTATUS_NORMAL);
    DevOpen();
    if (!DevIsOpen()) return 0;
    const auto control = m_link.Get();
    const int checked = control ? control->Check() : 0;
    if (!checked) SetDevStatus(DEVSTATUS_RUN_FAILED);
    return checked;
}

int32_t CVideoAux_M2100Device::DevTaskDirectTake(IVideoKeyTaskArray *tasks)
{
    if (!tasks || tasks->GetCount() <= 0) return 0;
    DevOpen();
    std::vector<std::pair<int, int>> keys;
    for (int32_t i = 0; i < tasks->GetCount(); ++i) {
        const tagVideoKeyTask *task = tasks->GetPtrAt(i);
        keys.emplace_back(GetKeyID(task), task->nop);
    }
    if (!WaitForStart(*tasks->GetPtrAt(0), m_nPutOffTime)) return 0;
    const auto control = m_link.Get();
    const int result = control ? control->SetKeys(keys) : 0;
    if (!result) return 0;
    for (const auto &[key, operation] : keys) ReportKey(operation, FuncTypeOfKey(key));
    return result;
}
