// What the Leitch matrix drivers share: the 16-bit destinations and the log line of every
// command sent.
#pragma once

#include "Kest20/KestLog.h"

#include <cstdint>
#include <string>

namespace leitchkeys {

// The low 16 bits of a destination key's value: -1 becomes 65535.
inline int Low16(int32_t value)
{
    return static_cast<int>(static_cast<uint32_t>(value) & 0xFFFFu);
}

// "DEV=Matrix;<line> (Success) " or "... (Failed) " on "LOG_DEV".
inline void LogLine(const std::string &line, bool ok)
{
    const std::string text = "DEV=Matrix;" + line + " (" + (ok ? "Success" : "Failed") + ") ";
    glReportLog("LOG_DEV", text.c_str(), nullptr);
}

} // namespace leitchkeys
