#include "Kest20/ApplicationRestart.h"

#include "platform/Process.h"
#include "platform/String.h"
#include "platform/TimeSource.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr const char *kRestartSwitch = "/ApplicationRestart";
constexpr uint32_t kParentGrace = 3000;

void Report(const char *format, ...) __attribute__((format(printf, 1, 2)));
void Report(const char *format, ...)
{
    CString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    plat::OutputDebugString(text);
}

// Whether `pid` is still this process's parent. A parent that has ended is no longer one (the
// process has been handed to another), so its id, which may come to name another process,
// is never signalled.
bool IsParent(int32_t pid)
{
    return pid > 0 && plat::GetParentProcessId() == static_cast<uint32_t>(pid);
}

} // namespace

int GetApplicationRestartFlag(int32_t *parentId)
{
    if (parentId) *parentId = 0;
    const std::vector<std::string> args = plat::GetCommandLineArgs();
    // The program's own path is no argument: on Linux it may hold the switch as a directory.
    for (size_t i = 1; i < args.size(); ++i) {
        const size_t at = args[i].find(kRestartSwitch);
        if (at == std::string::npos) continue;
        const char *rest = args[i].c_str() + at + std::strlen(kRestartSwitch);
        if (parentId && *rest == ':') *parentId = static_cast<int32_t>(std::atol(rest + 1));
        return 1;
    }
    return 0;
}

int IsApplicationRestart()
{
    return GetApplicationRestartFlag(nullptr);
}

int KillParentApplication()
{
    int32_t parent = 0;
    GetApplicationRestartFlag(&parent);
    if (parent == 0) {
        plat::OutputDebugString("ParentProcessID missing\n");
        return 0;
    }
    if (!IsParent(parent)) {
        plat::OutputDebugString("OpenProcess Parent failed\n");
        return 0;
    }
    plat::Sleep(kParentGrace);
    if (!IsParent(parent) || !plat::TerminateProcess(static_cast<uint32_t>(parent))) {
        plat::OutputDebugString("OpenProcess Parent failed\n");
        return 0;
    }
    plat::OutputDebugString("Parent's process terminate sucessfully\n");
    return 1;
}

int RestartThisApplication()
{
    const std::string path = plat::GetProgramFileName();
    const std::string directory = plat::GetProgramDirectory();
    const bool moved = chdir(directory.c_str()) == 0;
    Report("  SetCurrentDirectoryW %s(%d) \n", moved ? "OK" : "failed", moved ? 0 : errno);

    const uint32_t self = plat::GetCurrentProcessId();
    const std::string restart = std::string(kRestartSwitch) + ":" + std::to_string(self);
    Report("CreateProcessW: \"%s\" %s\n", path.c_str(), restart.c_str());
    plat::OutputDebugString(" Application Automatic Restart\n");
    const uint32_t started = plat::StartProcess(path, {restart});
    Report("CreateProcessW Ret=%d GetLastError=%d\n", started ? 1 : 0,
           started ? 0 : static_cast<int>(plat::GetLastError()));
    return started ? 1 : 0;
}
