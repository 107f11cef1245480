#include "drivers/model/CVideoPlayTask.h"

int CVideoPlayTask::CallBack(int32_t status, int32_t extra) const
{
    if (!m_pUserData || !m_pfnCallBack) return 0;
    return (m_pUserData->*m_pfnCallBack)(m_nTaskID, status, extra);
}
