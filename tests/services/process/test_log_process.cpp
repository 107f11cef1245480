// The text log files of a program killed after a quiet spell: lines that were waiting for a
// batch when the messages stopped are in the file within the flush interval, before the kill,
// with no later line to push them out and no orderly end to flush them.
#include "platform/Process.h"
#include "tests/kit/Spawn.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Far more than the flush interval of 5 s, for a loaded machine.
constexpr auto kBound = std::chrono::seconds(30);

// The message lines ("writer : ...") of every file in `dir`.
std::vector<std::string> Messages(const fs::path &dir)
{
    std::vector<std::string> lines;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec)) {
        std::ifstream file(entry.path(), std::ios::binary);
        for (std::string line; std::getline(file, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("writer : ", 0) == 0) lines.push_back(line.substr(9));
        }
    }
    return lines;
}

// kest_log_writer with its settings, killed when the test is done with it.
class Writer {
public:
    Writer(const fs::path &settings, const std::vector<std::string> &messages)
    {
        std::vector<std::string> args = {plat::GetProgramDirectory() + "/kest_log_writer",
                                         settings.string()};
        args.insert(args.end(), messages.begin(), messages.end());
        m_pid = kit::SpawnWithOutput(std::move(args), m_out);
    }
    ~Writer()
    {
        Kill();
        if (m_out >= 0) ::close(m_out);
    }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Whether the program said it has reported its messages, within the bound.
    bool Reported()
    {
        std::string text;
        for (const auto until = Clock::now() + kBound; m_pid > 0 && Clock::now() < until;) {
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buffer[64];
            const ssize_t n = ::read(m_out, buffer, sizeof buffer);
            if (n <= 0) return false;
            text.append(buffer, static_cast<size_t>(n));
            if (text.find("reported\n") != std::string::npos) return true;
        }
        return false;
    }
    // Ends it where it stands; whether it was still running.
    bool Kill()
    {
        if (m_pid <= 0) return false;
        const bool running = ::waitpid(m_pid, nullptr, WNOHANG) == 0;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return running;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

class LogProcess : public ::testing::Test {
protected:
    LogProcess()
    {
        std::string pattern = ::testing::TempDir() + "kest_logproc_XXXXXX";
        if (::mkdtemp(pattern.data())) dir = pattern;
        fs::create_directories(dir / "logs");
        std::ofstream(dir / "settings.cfg", std::ios::binary)
            << "[Log]\r\nLogFile=Air\r\nAir=<File=\"" << (dir / "logs" / "Air").string()
            << "\" TITLE=\"LOG_AIR\">\r\n";
    }
    ~LogProcess() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    fs::path dir;
};

} // namespace

TEST_F(LogProcess, TheLastLinesBeforeAQuietSpellAreInTheFileBeforeTheProcessIsKilled)
{
    // The first line goes out at once; the others wait for their batch.
    const std::vector<std::string> messages = {"first", "second", "third", "last"};
    Writer writer(dir / "settings.cfg", messages);
    ASSERT_TRUE(writer.Reported());
    std::vector<std::string> written;
    for (const auto until = Clock::now() + kBound; Clock::now() < until;) {
        written = Messages(dir / "logs");
        if (written.size() >= messages.size()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(writer.Kill()) << "the program was still running, quiet";
    EXPECT_EQ(written, messages);
    EXPECT_EQ(Messages(dir / "logs"), messages);
}
