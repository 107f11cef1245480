// What the benchmarks share: percentiles, the rows of the one table that scripts/bench.sh
// prints, a settings file mounted at "/etc/tvx" for the run, and CPU time readings.
#pragma once

#include "KestLib20/CConfigFileAccessX.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

// The value at fraction `p` of the samples (nearest rank); 0 for none.
inline double Percentile(std::vector<double> samples, double p)
{
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const size_t index = static_cast<size_t>(p * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(index, samples.size() - 1)];
}

// One row of the table: the figure, its value, the machine's limit measured in the same run,
// and the value less the limit.
inline void Row(const std::string &figure, double value, double limit, const char *unit,
                int decimals = 3)
{
    std::printf("| %-46s | %12.*f | %12.*f | %+12.*f | %-6s |\n", figure.c_str(), decimals, value,
                decimals, limit, decimals, value - limit, unit);
    std::fflush(stdout);
}

inline double ToMs(int64_t ns)
{
    return static_cast<double>(ns) / 1e6;
}

inline int64_t ClockNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
inline int64_t SteadyNs()
{
    return ClockNs(CLOCK_MONOTONIC);
}
inline int64_t ProcessCpuNs()
{
    return ClockNs(CLOCK_PROCESS_CPUTIME_ID);
}

// Sleeps to the absolute monotonic time `ns`, as a bare thread does.
inline void SleepUntilNs(int64_t ns)
{
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
    }
}

// A settings file of the run's own, mounted at "/etc/tvx" while the object lives.
class MountedSettings {
public:
    explicit MountedSettings(const std::string &name, const std::string &text)
        : m_path(std::filesystem::temp_directory_path() / (name + ".ini"))
    {
        std::ofstream(m_path) << text;
        m_provider = std::make_unique<CConfigFileAccessX>(m_path.c_str());
        m_provider->Mount("/etc/tvx");
    }
    ~MountedSettings()
    {
        m_provider.reset();
        std::filesystem::remove(m_path);
    }

private:
    std::filesystem::path m_path;
    std::unique_ptr<CConfigFileAccessX> m_provider;
};

inline std::string Section(const std::string &name,
                           const std::vector<std::pair<std::string, std::string>> &keys)
{
    std::string text = "[" + name + "]\r\n";
    for (const auto &[key, value] : keys) text += key + "=" + value + "\r\n";
    return text;
}

// The quoted list {"A","B"} of the ids.
inline std::string IdList(const std::vector<std::string> &ids)
{
    std::string text = "{";
    for (size_t i = 0; i < ids.size(); ++i) text += (i ? ",\"" : "\"") + ids[i] + "\"";
    return text + "}";
}

} // namespace bench
