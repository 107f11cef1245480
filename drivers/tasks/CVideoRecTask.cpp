#include "drivers/tasks/CVideoRecTask.h"

#include "Kest20/CClock.h"

namespace {

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

} // namespace

int32_t CVideoRecTask::CallBack(int32_t status, int32_t param) const
{
    if (!m_pUserObject || !m_pfnCallBack) return 0;
    return (m_pUserObject->*m_pfnCallBack)(m_strTaskID, status, param);
}

int64_t CVideoRecTask::GetTimeToStart() const
{
    return m_nStart - Now();
}

int64_t CVideoRecTask::GetTimeSinceStart() const
{
    return Now() - m_nStart;
}

int32_t CVideoRecTask::SetStatus(int32_t status, int32_t param)
{
    m_nStatus = status;
    return CallBack(status, param);
}

void CVideoRecTask::AddError(int32_t bits)
{
    if (bits) m_nError |= bits;
}

int32_t CVideoRecTask::ClearError(int32_t bits)
{
    m_nError &= ~bits;
    return m_nError;
}

int32_t CVideoRecTask::NotifyError(int32_t bit) const
{
    return CallBack(RECTASK_ERROR, bit);
}
