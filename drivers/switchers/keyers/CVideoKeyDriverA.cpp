#include "drivers/switchers/keyers/CVideoKeyDriverA.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
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
    m_evDeactivated.Reset();
    return CVideoKeyCtrlA::OnActiveInstance();
}

int32_t CVideoKeyDriverA::OnDeactiveInstance()
{
    m_evDeactivated.Set();
    return CVideoKeyCtrlA::OnDeactiveInstance();
}

bool CVideoKeyDriverA::WaitForStart(const tagVideoKeyTask &first, int32_t laterMs)
{
    const int64_t later = first.IsFromGUI() ? 0 : static_cast<int64_t>(laterMs) * kUnitsPerMs;
    return glSleepUntilSpecialTime(first.StartTime + later, m_evDeactivated) != 0;
}

bool CVideoKeyDriverA::Pause(int32_t ms)
{
    if (ms <= 0) return !m_evDeactivated.IsSet();
    return m_evDeactivated.Wait(static_cast<uint32_t>(ms)) != plat::WAIT_OBJECT_0;
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
