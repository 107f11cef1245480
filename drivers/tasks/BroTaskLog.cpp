#include "drivers/tasks/BroTaskLog.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CFileTime.h"
#include "platform/Thread.h"

#include <cstdarg>

namespace brotask {

void LogTPU(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    glReportDbgX("LOG_AIR_TPU", format, args);
    va_end(args);
}

void LogTMU(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    glReportDbgX("LOG_AIR_TMU", format, args);
    va_end(args);
}

int ThreadId()
{
    return static_cast<int>(plat::GetCurrentThreadId());
}

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

int64_t FramesSince(int64_t time)
{
    return (Now() - time) / 10000 * 25 / 1000;
}

CString DateTimeText(int64_t time)
{
    char text[CFileTime::kDateTimeTextSize];
    return CFileTime(time).GetAsString(text);
}

CString TimeOfDayText(int64_t time)
{
    timecode_t timeOfDay;
    CFileTime(time).Get(timeOfDay);
    return TimecodeText(timeOfDay);
}

CString TimecodeText(timecode_t frames)
{
    char text[timecode_t::kTextSize];
    return frames.GetAsString(text);
}

} // namespace brotask
