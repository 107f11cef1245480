#include "ProbeProcess.h"

#include "platform/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace apptest {

namespace {

namespace fs = std::filesystem;

uint64_t NowMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool IsJournal(const std::string &line)
{
    return line.rfind("log:", 0) != 0 && line.rfind("dbg:", 0) != 0 &&
           line.find('=') == std::string::npos;
}

} // namespace

bool ProbeResult::Has(const std::string &line) const
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> ProbeResult::Starting(const std::string &prefix) const
{
    std::vector<std::string> found;
    for (const std::string &line : lines)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

std::vector<std::string> ProbeResult::Journal(const std::string &after,
                                              const std::string &until) const
{
    std::vector<std::string> journal;
    auto it = std::find(lines.begin(), lines.end(), after);
    if (it == lines.end()) return journal;
    for (++it; it != lines.end() && *it != until; ++it)
        if (IsJournal(*it)) journal.push_back(*it);
    return journal;
}

ProbeDir::ProbeDir(const std::string &subdir) : m_subdir(subdir)
{
    std::string pattern = ::testing::TempDir() + "kest_app_XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("no temporary directory");
    m_root = pattern;
    m_programDir = subdir.empty() ? m_root : m_root + "/" + subdir;
    fs::create_directories(m_programDir);
    fs::copy_file(plat::GetProgramDirectory() + "/kest_app_probe", Program(),
                  fs::copy_options::overwrite_existing);
}

ProbeDir::~ProbeDir()
{
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
}

std::string ProbeDir::Relative(const std::string &name) const
{
    return m_subdir.empty() ? name : m_subdir + "/" + name;
}

void ProbeDir::Write(const std::string &relative, const std::string &text) const
{
    const fs::path path = fs::path(m_root) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ProbeDir::ReadFile(const std::string &relative) const
{
    std::ifstream in(fs::path(m_root) / relative, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

ProbeProcess::ProbeProcess(const ProbeDir &dir, const std::vector<std::string> &args,
                           const ProbeOptions &options)
    : m_output(dir.Root() + "/output.txt")
{
    std::map<std::string, std::string> env;
    for (char **entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const size_t eq = text.find('=');
        if (eq != std::string::npos) env[text.substr(0, eq)] = text.substr(eq + 1);
    }
    env["LD_LIBRARY_PATH"] = plat::GetProgramDirectory();
    env["KEST_SYSTEM_DIR"] = dir.Root() + "/no-system-dir";
    env.erase("KEST_PROBE_RESTART_STEPS");
    for (const auto &[name, value] : options.env) env[name] = value;

    std::vector<std::string> envText;
    for (const auto &[name, value] : env) envText.push_back(name + "=" + value);
    std::vector<char *> envp;
    for (std::string &text : envText) envp.push_back(text.data());
    envp.push_back(nullptr);
    const std::string program = dir.Program();
    std::vector<std::string> argText{program};
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &text : argText) argv.push_back(text.data());
    argv.push_back(nullptr);

    // Appended to, so that a process the probe starts can add its lines; each run starts
    // a new file.
    std::error_code ignored;
    fs::remove(m_output, ignored);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, m_output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const std::string cwd = dir.Root() + (options.cwd.empty() ? "" : "/" + options.cwd);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    m_startMs = NowMs();
    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

ProbeProcess::~ProbeProcess()
{
    if (m_pid > 0 && !m_reaped) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

ProbeResult ProbeProcess::Wait(uint32_t ms)
{
    if (m_pid <= 0 || m_reaped) return m_pid > 0 ? m_result : ProbeResult{};
    int status = 0;
    const uint64_t deadline = NowMs() + ms;
    pid_t done = 0;
    while ((done = waitpid(m_pid, &status, WNOHANG)) == 0 && NowMs() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    m_result = ProbeResult{};
    if (done != m_pid) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
    } else {
        m_result.ended = true;
        m_result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    m_reaped = true;
    m_result.elapsedMs = static_cast<uint32_t>(NowMs() - m_startMs);
    m_result.lines = Output().lines;
    return m_result;
}

ProbeResult ProbeProcess::WaitForLine(const std::string &prefix, uint32_t ms) const
{
    const uint64_t deadline = NowMs() + ms;
    ProbeResult output = Output();
    while (output.Starting(prefix).empty() && NowMs() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        output = Output();
    }
    return output;
}

ProbeResult ProbeProcess::Output() const
{
    ProbeResult output = m_result;
    output.lines.clear();
    std::ifstream in(m_output, std::ios::binary);
    for (std::string line; std::getline(in, line);) output.lines.push_back(line);
    return output;
}

ProbeResult RunProbe(const ProbeDir &dir, const std::vector<std::string> &args,
                     const ProbeOptions &options)
{
    ProbeProcess probe(dir, args, options);
    return probe.Wait();
}

std::string Section(const std::string &name,
                    std::initializer_list<std::pair<std::string, std::string>> keys)
{
    std::string text = "[" + name + "]\r\n";
    for (const auto &[key, value] : keys) text += key + "=" + value + "\r\n";
    return text;
}

} // namespace apptest
