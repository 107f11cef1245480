#include "drivers/switchers/keyers/CVideoAux_M2100.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"

#include <utility>
#include <vector>

namespace {

constexpr const char *kDescription = "M2100切换台键控";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoAux_M2100, CVideoKeyCtrlA, kDescription)

CVideoAux_M2100::CVideoAux_M2100() : CVideoKeyDriverA(kUnknownType, kDescription) {}

CVideoAux_M2100::~CVideoAux_M2100()
{
    EndShareReader();
    ReleaseControl();
}

void CVideoAux_M2100::ReleaseControl()
{
    std::lock_guard<std::mutex> lk(m_controlLock);
    if (m_pControl) CM2100Pool::Get().Release(m_pControl->GetPort());
    m_pControl = nullptr;
}

CM2100Control *CVideoAux_M2100::Control()
{
    std::lock_guard<std::mutex> lk(m_controlLock);
    return m_pControl;
}

int32_t CVideoAux_M2100::OnInitInstance()
{
    if (!CVideoKeyCtrlA::OnInitInstance()) return 0;
    m_nPort = ReadPortKey("COM", m_nPort);
    CResAccess setting(GetSettingInfo());
    m_nPutOffTime = setting["PutOffTime"].GetAsInteger(m_nPutOffTime);
    m_bContinuous = setting["Continuous"].GetAsBool(m_bContinuous);
    m_bRetCheck = setting["RetCheck"].GetAsBool(m_bRetCheck);
    return 1;
}

int CVideoAux_M2100::DevOpen()
{
    SetDevStatus(DEVSTATUS_NORMAL);
    if (IsVirtual()) return 1;
    CM2100Control *control = nullptr;
    {
        std::lock_guard<std::mutex> lk(m_controlLock);
        if (!m_pControl) {
            m_pControl = CM2100Pool::Get().Acquire(m_nPort);
            m_pControl->SetContinuous(m_bContinuous);
            m_pControl->SetWaitForReply(m_bRetCheck);
        }
        control = m_pControl;
    }
    if (control->Connected()) return 1;
    control->Open();
    if (!control->IsOpen())
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
    else if (!control->Check())
        SetDevStatus(DEVSTATUS_RUN_FAILED);
    return 1;
}

int CVideoAux_M2100::DevClose()
{
    ReleaseControl();
    return 1;
}

int CVideoAux_M2100::DevIsOpen()
{
    if (IsVirtual()) return 1;
    CM2100Control *control = Control();
    return control ? control->Connected() : 0;
}

int CVideoAux_M2100::DevTest(const char *)
{
    SetDevStatus(DEVSTATUS_NORMAL);
    if (IsVirtual()) return 1;
    DevOpen();
    if (!DevIsOpen()) return 0;
    CM2100Control *control = Control();
    const int checked = control ? control->Check() : 0;
    if (!checked) SetDevStatus(DEVSTATUS_RUN_FAILED);
    return checked;
}

int32_t CVideoAux_M2100::DevTaskDirectTake(IVideoKeyTaskArray *tasks)
{
    if (IsVirtual()) return 1;
    if (!tasks || tasks->GetCount() <= 0) return 0;
    DevOpen();
    std::vector<std::pair<int, int>> keys;
    for (int32_t i = 0; i < tasks->GetCount(); ++i) {
        const tagVideoKeyTask *task = tasks->GetPtrAt(i);
        keys.emplace_back(GetKeyID(task), task->nop);
    }
    if (!WaitForStart(*tasks->GetPtrAt(0), m_nPutOffTime)) return 0;
    CM2100Control *control = Control();
    const int result = control ? control->SetKeys(keys) : 0;
    if (!result) return 0;
    for (const auto &[key, operation] : keys) ReportKey(operation, FuncTypeOfKey(key));
    return result;
}
