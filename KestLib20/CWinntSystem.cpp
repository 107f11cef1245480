#include "KestLib20/CWinntSystem.h"

#include "KestLib20/ThreadSafeBuffer.h"
#include "platform/Process.h"

#include <climits>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace {

// Paths get at least the customary 288 characters of scratch; longer ones get what they
// need, so nothing is cut (a path that does not fit in the ring at all gives null).
const char *ToScratch(const std::string &text)
{
    int size = static_cast<int>(text.size()) + 1;
    char *out = glGetThreadSafeBuffer(size < 288 ? 288 : size);
    if (!out) return nullptr;
    memcpy(out, text.c_str(), text.size() + 1);
    return out;
}

std::string EnvOr(const char *name, const char *fallback)
{
    std::string value;
    if (plat::GetEnv(name, &value) && !value.empty()) return value;
    return fallback;
}

} // namespace

const char *CWinntSystem::GetSystemDirectoryA()
{
    return ToScratch(EnvOr("KEST_SYSTEM_DIR", "/etc/kest"));
}

const char *CWinntSystem::GetWindowsDirectoryA()
{
    return ToScratch("/etc");
}

const char *CWinntSystem::GetCurrentDirectoryA()
{
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) return ToScratch("");
    return ToScratch(buf);
}

const char *CWinntSystem::GetTempPathA()
{
    std::string dir = EnvOr("TMPDIR", "/tmp");
    if (dir.back() != '/') dir += '/';
    return ToScratch(dir);
}

const char *CWinntSystem::GetProgramFileName()
{
    return ToScratch(plat::GetProgramFileName());
}

const char *CWinntSystem::GetProgramPath()
{
    return ToScratch(plat::GetProgramDirectory());
}

const char *CWinntSystem::GetProgramName()
{
    std::string path = plat::GetProgramFileName();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return nullptr;
    std::string name = path.substr(slash + 1);
    if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".exe") == 0)
        name.resize(name.size() - 4);
    return ToScratch(name);
}
