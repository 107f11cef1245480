#include "tests/ftp/FtpPeerKit.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char **environ;

namespace ftptest {

namespace fs = std::filesystem;

namespace {

constexpr int kStartMs = 20000;

// The "PORT <n>" line of the server's output, read with a bound.
uint16_t ReadPort(int fd)
{
    std::string text;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buffer[128];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return 0;
        text.append(buffer, static_cast<size_t>(n));
        const size_t end = text.find('\n');
        if (end != std::string::npos) {
            if (text.rfind("PORT ", 0) != 0) return 0;
            return static_cast<uint16_t>(std::atoi(text.c_str() + 5));
        }
    }
    return 0;
}

} // namespace

TempTree::TempTree()
{
    std::string pattern = ::testing::TempDir() + "kest_ftp_XXXXXX";
    if (::mkdtemp(pattern.data())) m_root = pattern;
}

TempTree::~TempTree()
{
    std::error_code ec;
    if (!m_root.empty()) fs::remove_all(m_root, ec);
}

void TempTree::File(const std::string &relative, size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    Text(relative, bytes);
}

void TempTree::Text(const std::string &relative, const std::string &text)
{
    const fs::path path = m_root / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void TempTree::Dir(const std::string &relative)
{
    fs::create_directories(m_root / relative);
}

bool TempTree::Exists(const std::string &relative) const
{
    return fs::exists(m_root / relative);
}

std::string TempTree::Read(const std::string &relative) const
{
    std::ifstream in(m_root / relative, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int64_t TempTree::Size(const std::string &relative) const
{
    std::error_code ec;
    const auto size = fs::file_size(m_root / relative, ec);
    return ec ? -1 : static_cast<int64_t>(size);
}

FtpServer::FtpServer(const fs::path &root, const std::vector<std::string> &options)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<std::string> args = {"/usr/bin/python3", KEST_FTP_SERVER_SCRIPT,
                                     "--root",           root.string(),
                                     "--user",           kUser,
                                     "--password",       kPassword};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (m_pid > 0) m_port = ReadPort(out[0]);
    ::close(out[0]);
}

FtpServer::~FtpServer()
{
    Kill();
}

void FtpServer::Kill()
{
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

std::string FtpServer::Url(const std::string &path) const
{
    return std::string("ftp://") + kUser + ":" + kPassword +
           "@127.0.0.1:" + std::to_string(m_port) + "/" + path;
}

void FtpServer::Configure(CFtpClient &client) const
{
    client.scheme = "ftp";
    client.user = kUser;
    client.password = kPassword;
    client.host = "127.0.0.1";
    client.port = m_port;
}

} // namespace ftptest
