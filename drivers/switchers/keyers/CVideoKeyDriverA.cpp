#include "drivers/switchers/keyers/CVideoKeyDriverA.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "drivers/model/DeviceCalls.h"
#include "drivers/tasks/tagVideoKeyTask.h"

namespace {

constexpr const char *kKeyBus = "#OVRA_KEY";
constexpr const char *kDevLog = "LOG_DEV";
constexpr int64_t kUnitsPerMs = 10000;

} // namespace

CVideoKeyDriverA::CVideoKeyDriverA(const char *typeId, const char *description)
    : CVideoKeyCtrlA(typeId)
{
    if (description) m_strDescription = description;
}

CVideoKeyDriverA::CVideoKeyDriverA(const CVideoKeyDriverA &other) : CVideoKeyCtrlA(other) {}

CVideoKeyDriverA &CVideoKeyDriverA::operator=(const CVideoKeyDriverA &other)
{
    CVideoKeyCtrlA::operator=(other);
    return *this;
}

int32_t CVideoKeyDriverA::OnActiveInstance()
{
    m_bDeactivated = false;
    return CVideoKeyCtrlA::OnActiveInstance();
}

int32_t CVideoKeyDriverA::OnDeactiveInstance()
{
    // Marked before the waits in progress are ended: a wait begun meanwhile sees the mark.
    m_bDeactivated = true;
    return CVideoKeyCtrlA::OnDeactiveInstance();
}

bool CVideoKeyDriverA::WaitForStart(const tagVideoKeyTask &first, int32_t laterMs)
{
    const int64_t later = first.IsFromGUI() ? 0 : static_cast<int64_t>(laterMs) * kUnitsPerMs;
    CDeviceWait wait(this);
    return !m_bDeactivated && wait.Until(first.StartTime + later);
}

bool CVideoKeyDriverA::Pause(int32_t ms)
{
    CDeviceWait wait(this);
    return !m_bDeactivated && wait.For(ms > 0 ? static_cast<uint32_t>(ms) : 0);
}

int32_t CVideoKeyDriverA::FuncTypeOfKey(int32_t key) const
{
    if (key == m_nLogo) return KEYTASK_FUNC_LOGO;
    if (key == m_nTitle) return KEYTASK_FUNC_TITLE;
    if (key == m_nTime) return KEYTASK_FUNC_TIME;
    return key;
}

void CVideoKeyDriverA::ReportKey(int32_t operation, int32_t functype)
{
    CString text;
    text.Format("STATUS = \"%d\",FUNCTYPE =\"%d\"", operation, functype);
    glReportLog(kKeyBus, text, "");
}

void CVideoKeyDriverA::LogOpenFailed(const char *devName)
{
    glReportDbg(kDevLog, "Dev=%s;Open Failed", devName);
}
