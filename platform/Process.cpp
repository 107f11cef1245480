#include "platform/Process.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <limits.h>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

extern char **environ;

namespace plat {

namespace {

std::mutex &EnvLock()
{
    static auto *lock = new std::mutex;
    return *lock;
}

thread_local uint32_t t_lastError = 0;

std::mutex &SinkLock()
{
    static auto *lock = new std::mutex;
    return *lock;
}

DebugOutputSink &Sink()
{
    static auto *sink = new DebugOutputSink;
    return *sink;
}

bool EndsWithNoCase(const std::string &s, const char *suffix)
{
    size_t n = strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

} // namespace

uint32_t GetCurrentProcessId()
{
    return static_cast<uint32_t>(getpid());
}

uint32_t GetParentProcessId()
{
    return static_cast<uint32_t>(getppid());
}

std::string GetProgramFileName()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

std::string GetProgramDirectory()
{
    std::string path = GetProgramFileName();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return path.substr(0, slash);
}

std::vector<std::string> GetCommandLineArgs()
{
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos) end = all.size();
        args.emplace_back(all, start, end - start);
        start = end + 1;
    }
    return args;
}

bool GetEnv(const char *name, std::string *value)
{
    if (!name) return false;
    std::lock_guard<std::mutex> lk(EnvLock());
    const char *v = getenv(name);
    if (!v) return false;
    if (value) *value = v;
    return true;
}

bool SetEnv(const char *name, const char *value)
{
    if (!name || !*name || strchr(name, '=')) return false;
    std::lock_guard<std::mutex> lk(EnvLock());
    return (value ? setenv(name, value, 1) : unsetenv(name)) == 0;
}

std::vector<std::pair<std::string, std::string>> EnumEnv()
{
    std::vector<std::pair<std::string, std::string>> out;
    std::lock_guard<std::mutex> lk(EnvLock());
    for (char **e = environ; e && *e; ++e) {
        const char *eq = strchr(*e, '=');
        if (!eq) continue;
        out.emplace_back(std::string(*e, static_cast<size_t>(eq - *e)), std::string(eq + 1));
    }
    return out;
}

void RefreshTimeZone()
{
    std::lock_guard<std::mutex> lk(EnvLock());
    tzset();
}

bool GetHostName(std::string *name)
{
    char buf[256];
    if (gethostname(buf, sizeof buf) != 0) return false;
    buf[sizeof buf - 1] = '\0';
    if (name) *name = buf;
    return true;
}

void *LoadLibrary(const char *name)
{
    if (!name || !*name) {
        SetLastError(EINVAL);
        return nullptr;
    }
    std::string n = name;
    for (char &c : n)
        if (c == '\\') c = '/';
    if (n.find('/') != std::string::npos || EndsWithNoCase(n, ".so")) {
        void *h = dlopen(n.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) SetLastError(ENOENT);
        return h;
    }
    if (EndsWithNoCase(n, ".dll")) n.resize(n.size() - 4);
    const std::string candidates[] = {"lib" + n + ".so", n + ".so"};
    std::string dir = GetProgramDirectory();
    for (const auto &c : candidates) {
        if (void *h = dlopen((dir + "/" + c).c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
    }
    for (const auto &c : candidates) {
        if (void *h = dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
    }
    SetLastError(ENOENT);
    return nullptr;
}

void *GetProcAddress(void *library, const char *symbol)
{
    if (!library || !symbol) return nullptr;
    return dlsym(library, symbol);
}

bool FreeLibrary(void *library)
{
    return library && dlclose(library) == 0;
}

uint32_t GetLastError()
{
    return t_lastError;
}

void SetLastError(uint32_t code)
{
    t_lastError = code;
}

void OutputDebugString(const char *text)
{
    if (!text) return;
    DebugOutputSink sink;
    {
        std::lock_guard<std::mutex> lk(SinkLock());
        sink = Sink();
    }
    if (sink)
        sink(text);
    else
        fputs(text, stderr);
}

DebugOutputSink SetDebugOutputSink(DebugOutputSink sink)
{
    std::lock_guard<std::mutex> lk(SinkLock());
    DebugOutputSink old = std::move(Sink());
    Sink() = std::move(sink);
    return old;
}

uint32_t StartProcess(const std::string &path, const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(path.c_str()));
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    std::lock_guard<std::mutex> lk(EnvLock());
    int rc = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        SetLastError(static_cast<uint32_t>(rc));
        return 0;
    }
    return static_cast<uint32_t>(pid);
}

bool TerminateProcess(uint32_t pid)
{
    if (pid == 0) return false;
    return kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

void ExitProcessNow(int code)
{
    _exit(code);
}

} // namespace plat
