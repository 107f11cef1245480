#include "tests/ftp/FtpPeerKit.h"

#include "platform/Gbk.h"
#include "tests/kit/Spawn.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace ftptest {

namespace fs = std::filesystem;

namespace {

constexpr int kStartMs = 20000;
constexpr int kStopMs = 5000;
constexpr const char *kVsftpd = "/usr/sbin/vsftpd";

std::string TempBase()
{
    const char *dir = std::getenv("TMPDIR");
    std::string base = dir && *dir ? dir : "/tmp";
    if (base.back() != '/') base += '/';
    return base;
}

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

const char *FlavorName(Flavor flavor)
{
    return flavor == Flavor::kVsftpd ? "vsftpd" : "pyftpdlib";
}

TempTree::TempTree()
{
    std::string pattern = TempBase() + "kest_ftp_XXXXXX";
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
    : FtpServer(Flavor::kPyftpdlib, root, options)
{
}

FtpServer::FtpServer(Flavor flavor, const fs::path &root, const std::vector<std::string> &options)
    : m_flavor(flavor)
{
    if (flavor == Flavor::kVsftpd && ::access(kVsftpd, X_OK) != 0) return;
    std::string log = TempBase() + "kest_ftp_log_XXXXXX";
    const int logFd = ::mkstemp(log.data());
    if (logFd < 0) return;
    ::close(logFd);
    m_commandLog = log;
    const bool vsftpd = flavor == Flavor::kVsftpd;
    std::vector<std::string> args = {"/usr/bin/python3",
                                     std::string(KEST_FTP_SCRIPT_DIR) +
                                         (vsftpd ? "/vsftpd_server.py" : "/ftp_server.py"),
                                     "--root",
                                     root.string(),
                                     "--user",
                                     User(),
                                     "--password",
                                     kPassword,
                                     "--command-log",
                                     log};
    for (const std::string &option : options) {
        if (option == "--gbk") m_gbk = true;
        if (option == "--rmd-tree") m_rmdTree = !vsftpd;
        // vsftpd passes names through as bytes and removes empty directories only.
        if (vsftpd && (option == "--gbk" || option == "--rmd-tree")) continue;
        args.push_back(option);
    }
    int out = -1;
    m_pid = kit::SpawnWithOutput(std::move(args), out);
    if (m_pid <= 0) return;
    m_port = ReadPort(out);
    ::close(out);
}

FtpServer::~FtpServer()
{
    Kill();
    std::error_code ec;
    if (!m_commandLog.empty()) fs::remove(m_commandLog, ec);
}

void FtpServer::Kill()
{
    if (m_pid <= 0) return;
    // Asked first: the vsftpd script ends its connections' servers on the way out.
    ::kill(m_pid, SIGTERM);
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopMs);
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= until) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_pid = -1;
}

const char *FtpServer::User() const
{
    return m_flavor == Flavor::kVsftpd ? "anonymous" : "kest";
}

std::string FtpServer::DiskName(const std::string &wireName) const
{
    return m_flavor == Flavor::kPyftpdlib && m_gbk ? plat::GbkToUtf8(wireName) : wireName;
}

std::string FtpServer::Url(const std::string &path) const
{
    return std::string("ftp://") + User() + ":" + kPassword +
           "@127.0.0.1:" + std::to_string(m_port) + "/" + path;
}

std::vector<std::string> FtpServer::Commands() const
{
    // pyftpdlib's script writes each command line; vsftpd's protocol log has lines such as
    // 'Thu ... [pid 8] [ftp] FTP command: Client "127.0.0.1", "LIST"'.
    static const std::string kMark = "FTP command: Client \"";
    std::vector<std::string> commands;
    std::ifstream in(m_commandLog);
    std::string line;
    while (std::getline(in, line)) {
        if (m_flavor == Flavor::kPyftpdlib) {
            commands.push_back(line);
            continue;
        }
        const size_t mark = line.find(kMark);
        if (mark == std::string::npos) continue;
        const size_t open = line.find("\", \"", mark + kMark.size());
        if (open == std::string::npos || line.back() != '"') continue;
        commands.push_back(line.substr(open + 4, line.size() - open - 5));
    }
    return commands;
}

int FtpServer::Count(const std::string &verb) const
{
    int count = 0;
    for (std::string command : Commands()) {
        // An ABOR comes behind telnet control bytes, which the logs keep or replace (by "?"
        // or U+FFFD).
        const size_t text = command.find_first_not_of("\xFF\xF4\xF2\xEF\xBF\xBD?", 0, 7);
        command.erase(0, text == std::string::npos ? command.size() : text);
        if (command.compare(0, verb.size(), verb) == 0 &&
            (command.size() == verb.size() || command[verb.size()] == ' '))
            ++count;
    }
    return count;
}

void FtpServer::Configure(CFtpClient &client) const
{
    client.scheme = "ftp";
    client.user = User();
    client.password = kPassword;
    client.host = "127.0.0.1";
    client.port = m_port;
}

} // namespace ftptest
