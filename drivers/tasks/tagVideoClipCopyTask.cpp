#include "drivers/tasks/tagVideoClipCopyTask.h"

int32_t tagVideoClipCopyTask::CallBack(int32_t status, int32_t param) const
{
    if (!pUserObject || !pfnCallBack) return 0;
    return (pUserObject->*pfnCallBack)(nTaskID, status, param);
}
