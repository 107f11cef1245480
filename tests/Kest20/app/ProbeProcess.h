// Runs kest_app_probe as a process of its own: a copy of the program in a directory of the
// test's own (so its settings file "probe.CLSID" and its "Config" files sit beside it), the
// framework libraries found through LD_LIBRARY_PATH, an empty system directory unless the test
// names one, and everything it writes gathered in one output file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace apptest {

// What a finished (or abandoned) probe left.
struct ProbeResult {
    bool ended = false; // false: still running at the time-out (then killed)
    int exitCode = -1;  // -1 when ended by a signal
    int signal = 0;     // the signal that ended it
    uint32_t elapsedMs = 0;
    std::vector<std::string> lines;

    bool Has(const std::string &line) const;
    // The lines that begin with `prefix`.
    std::vector<std::string> Starting(const std::string &prefix) const;
    // The lines of the probe's objects (neither log, debug nor step results), in order,
    // after the line `after` up to the line `until` (both excluded).
    std::vector<std::string> Journal(const std::string &after, const std::string &until) const;
};

class ProbeDir {
public:
    // A new directory; the program is copied to `<dir>/<subdir>/probe`.
    explicit ProbeDir(const std::string &subdir = "");
    ~ProbeDir();
    ProbeDir(const ProbeDir &) = delete;
    ProbeDir &operator=(const ProbeDir &) = delete;

    const std::string &Root() const { return m_root; }
    const std::string &ProgramDir() const { return m_programDir; }
    std::string Program() const { return m_programDir + "/probe"; }
    // Writes a file below the root (directories made as needed); lines end in CR LF.
    void Write(const std::string &relative, const std::string &text) const;
    // The probe's settings file in its program directory.
    void Settings(const std::string &text) const { Write(Relative("probe.CLSID"), text); }
    std::string ReadFile(const std::string &relative) const;
    std::string Relative(const std::string &name) const;

private:
    std::string m_root;
    std::string m_programDir;
    std::string m_subdir;
};

struct ProbeOptions {
    std::map<std::string, std::string> env; // added to (or replacing in) the test's own
    std::string cwd;                        // below the root; empty: the root
};

class ProbeProcess {
public:
    ProbeProcess(const ProbeDir &dir, const std::vector<std::string> &args,
                 const ProbeOptions &options = {});
    // Kills the probe when it still runs.
    ~ProbeProcess();
    ProbeProcess(const ProbeProcess &) = delete;
    ProbeProcess &operator=(const ProbeProcess &) = delete;

    pid_t Pid() const { return m_pid; }
    // Waits for the end up to `ms`; the output so far in any case.
    ProbeResult Wait(uint32_t ms = 20000);
    // The output so far, once a line beginning with `prefix` is there or `ms` have passed:
    // for what a process started by the probe writes after the probe has ended.
    ProbeResult WaitForLine(const std::string &prefix, uint32_t ms = 15000) const;

private:
    ProbeResult Output() const;

    std::string m_output;
    pid_t m_pid = -1;
    bool m_reaped = false;
    uint64_t m_startMs = 0;
    ProbeResult m_result;
};

// Starts and waits, in one.
ProbeResult RunProbe(const ProbeDir &dir, const std::vector<std::string> &args,
                     const ProbeOptions &options = {});

// "[name]" followed by "key=value" lines.
std::string Section(const std::string &name,
                    std::initializer_list<std::pair<std::string, std::string>> keys);

} // namespace apptest
