// The current time of the framework clock, as the log and the error manager stamp it.
#pragma once

#include "Kest20/CClock.h"
#include "KestLib20/CFileTime.h"

// The framework clock; the system clock once the application's clock has gone (late at exit).
inline CFileTime GetFrameworkTime()
{
    int64_t now = 0;
    return glGetTimeEx(&now) ? CFileTime(now) : CFileTime::GetCurrentTime();
}
