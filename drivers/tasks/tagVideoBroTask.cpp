#include "drivers/tasks/tagVideoBroTask.h"

#include "Kest20/CClock.h"
#include "platform/Gbk.h"

#include <cstring>

namespace {

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

} // namespace

void name32_t::Set(const char *text)
{
    const size_t length = text ? plat::GbkCutLength(text, kSize - 1) : 0;
    std::memcpy(szText, text ? text : "", length);
    std::memset(szText + length, 0, kSize - length);
}

int64_t tagVideoBroTask::GetTimeToStart() const
{
    return Start - Now();
}

int64_t tagVideoBroTask::GetTimeSinceStart() const
{
    return Now() - Start;
}

int32_t tagVideoBroTask::CallBack(int32_t status, int32_t extra) const
{
    return pUserData && pfnCallBack ? pfnCallBack(pUserData, TaskID, status, extra) : 0;
}
