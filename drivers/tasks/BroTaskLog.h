// What the broadcast task engine and the play-out sources share for their diagnostics and
// times: the debug log call on their two log types, the calling thread's id for the "%04d" of
// their lines, and the framework time now.
#pragma once

#include "KestLib20/timecode_t.h"
#include "platform/String.h"

#include <cstdint>

namespace brotask {

// "LOG_AIR_TPU": the process unit and the sources' task side.
void LogTPU(const char *format, ...) __attribute__((format(printf, 1, 2)));
// "LOG_AIR_TMU": the managers.
void LogTMU(const char *format, ...) __attribute__((format(printf, 1, 2)));
int ThreadId();
int64_t Now();
// Frames (25 a second, through whole milliseconds) from `time` to now.
int64_t FramesSince(int64_t time);
// The text forms of the log lines: a framework time as date and time, its time of day as
// timecode, and a frame count as timecode.
CString DateTimeText(int64_t time);
CString TimeOfDayText(int64_t time);
CString TimecodeText(timecode_t frames);

} // namespace brotask
