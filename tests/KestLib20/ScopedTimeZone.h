// Pins the local time zone (TZ) for one test and restores it afterwards.
#pragma once

#include "platform/Process.h"

#include <string>

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char *tz) : m_bHad(plat::GetEnv("TZ", &m_old))
    {
        plat::SetEnv("TZ", tz);
    }
    ~ScopedTimeZone() { plat::SetEnv("TZ", m_bHad ? m_old.c_str() : nullptr); }
    ScopedTimeZone(const ScopedTimeZone &) = delete;
    ScopedTimeZone &operator=(const ScopedTimeZone &) = delete;

private:
    std::string m_old;
    bool m_bHad;
};
