// The framework's log call and the flat functions of the log core. A log message is three
// texts: a type (the channel), a text and an info text. Subscribers (log process units) take
// messages either by exact type, at once on the reporting thread, or by a pattern of types,
// in report order on the log core's own thread.
#pragma once

#include "Kest20/Kest20Api.h"

#include <cstdarg>
#include <cstdint>

// Function of a log process unit: called with its parameter and the message's three texts.
using LOGPROC = int (*)(void *parameter, const char *type, const char *text, const char *info);

// Modes of a log process unit.
constexpr int32_t LOG_MODE_EXACT = 1;   // type equal to the (upper-cased) name
constexpr int32_t LOG_MODE_PATTERN = 2; // type matching the name as a pattern

// Each of these first opens the log core; they return 0 when it is closed.

// Registers a unit; the name is upper-cased and cut to 127 characters. The result is the
// unit's handle (its index in the core's table).
KEST20_API int glRegisterLogProcessUnit(const char *name, LOGPROC function, void *parameter,
                                        int32_t mode);
// Ends a unit: 1. Waits for a call into the unit in progress on another thread; a handle
// that is not registered (any more) is ignored.
KEST20_API int glUnregisterLogProcessUnit(int handle);
// Posts a message: 1. Null texts count as empty.
KEST20_API int glReportLog(const char *type, const char *text, const char *info);
// Drops the queued messages, stops the log thread (giving it up after a bound) and empties
// the table: 1. The core stays open; later registrations start again at handle 0.
KEST20_API int glCloseCodeMonitor();

// Non-zero when `type` matches `pattern`: a list of types separated by ";", blanks, ":" or
// "?", compared without case, an entry matching when it ends with the type. An empty
// pattern, an empty type and a pattern beginning with "*" always match.
KEST20_API int glLogRexExpression(const char *type, const char *pattern);

// Formatted debug log: the text (cut to 255 characters) with the info "P<thread> @<local
// time>", posted with glReportLog. 0, and nothing posted, while the debug flag is off.
KEST20_API int glReportDbgX(const char *type, const char *format, va_list args);
KEST20_API int glReportDbg(const char *type, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

// The system's debug flag, which the system object sets from its "Debug" key while it lives
// (on at its construction, off again at its destruction). Off while there is no system
// object. Returns the previous value.
KEST20_API int glSetDebugFlag(int on);
