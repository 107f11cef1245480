// Process services: ids, the program's path and command line, the environment (under one
// lock), host name, loading libraries by name, the thread-local last error, the debug-output
// sink, and starting and ending processes.
#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace plat {

PLAT_API uint32_t GetCurrentProcessId();
PLAT_API uint32_t GetParentProcessId();

// Full path of the running executable (from /proc/self/exe; usable from a library).
PLAT_API std::string GetProgramFileName();
// Directory of the executable, without a trailing "/".
PLAT_API std::string GetProgramDirectory();
// Command-line arguments of the process, the program itself first (from /proc/self/cmdline).
PLAT_API std::vector<std::string> GetCommandLineArgs();

// Environment access under one process-wide lock. GetEnv returns false when unset.
PLAT_API bool GetEnv(const char *name, std::string *value);
// Sets `name` to `value`; a null value removes the variable.
PLAT_API bool SetEnv(const char *name, const char *value);
PLAT_API std::vector<std::pair<std::string, std::string>> EnumEnv();

// Reads the TZ variable again (under the environment lock) before a local-time conversion.
PLAT_API void RefreshTimeZone();

// Host name of the machine; false when it cannot be read.
PLAT_API bool GetHostName(std::string *name);

// Loads a library by name. "Name" and "Name.dll" are tried as "libName.so" and "Name.so",
// first in the program's directory, then on the loader's path; a name holding a "/" or
// ending in ".so" is loaded as given. Null on failure (the last error is set).
PLAT_API void *LoadLibrary(const char *name);
PLAT_API void *GetProcAddress(void *library, const char *symbol);
PLAT_API bool FreeLibrary(void *library);

// Thread-local last error of platform calls.
PLAT_API uint32_t GetLastError();
PLAT_API void SetLastError(uint32_t code);

// Debug output (the debugger's message channel). Written to standard error unless a sink is
// installed; tests install one to capture what is reported.
using DebugOutputSink = std::function<void(const char *text)>;
PLAT_API void OutputDebugString(const char *text);
// Installs `sink` (empty: back to standard error) and returns the previous one.
PLAT_API DebugOutputSink SetDebugOutputSink(DebugOutputSink sink);

// Starts `path` with `args` (not including the program itself). Returns the new process id,
// 0 on failure.
PLAT_API uint32_t StartProcess(const std::string &path, const std::vector<std::string> &args);
// Ends process `pid` at once. False when it cannot be signalled.
PLAT_API bool TerminateProcess(uint32_t pid);
// Ends this process at once with `code`, running no exit handlers.
[[noreturn]] PLAT_API void ExitProcessNow(int code);

} // namespace plat
