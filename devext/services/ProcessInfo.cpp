#include "devext/services/ProcessInfo.h"

#include "KestLib20/FilePath.h"
#include "platform/TimeSource.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace processinfo {

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;

int64_t Millis(const timeval &t)
{
    return int64_t{t.tv_sec} * 1000 + t.tv_usec / 1000;
}

// Seconds since the Unix epoch at which the machine booted.
int64_t BootTime()
{
    std::ifstream stat("/proc/stat");
    std::string word;
    while (stat >> word)
        if (word == "btime") {
            int64_t seconds = 0;
            stat >> seconds;
            return seconds;
        }
    return 0;
}

// Clock ticks after boot at which this process started (field 22 of /proc/self/stat).
int64_t StartTicks()
{
    std::ifstream file("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')'); // the command name may hold blanks
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22) return std::strtoll(field.c_str(), nullptr, 10);
    return 0;
}

} // namespace

void GetCpuTimes(int64_t &kernelMs, int64_t &userMs)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    kernelMs = Millis(usage.ru_stime);
    userMs = Millis(usage.ru_utime);
}

int64_t GetCreationTime()
{
    const int64_t boot = BootTime();
    const int64_t hz = sysconf(_SC_CLK_TCK);
    if (!boot || hz <= 0) return 0;
    const int64_t ticks = StartTicks();
    return (boot + ticks / hz) * kUnitsPerSecond + (ticks % hz) * kUnitsPerSecond / hz +
           plat::kFileTimeUnixEpoch;
}

int64_t GetFileWriteTime(const char *path)
{
    struct stat st {};
    if (!path || stat(MakePosixPath(path), &st) != 0) return 0;
    return int64_t{st.st_mtim.tv_sec} * kUnitsPerSecond + st.st_mtim.tv_nsec / 100 +
           plat::kFileTimeUnixEpoch;
}

} // namespace processinfo
