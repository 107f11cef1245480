#include "tests/netmsg/NetMsgTestKit.h"

#include "platform/Process.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <thread>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

extern char **environ;

namespace {

// No test ever broadcasts beyond this host, whatever the environment says.
class LoopbackOnly : public ::testing::Environment {
public:
    void SetUp() override { plat::SetEnv("KEST_BROADCAST", "127.255.255.255"); }
};
[[maybe_unused]] ::testing::Environment *const g_loopbackOnly =
    ::testing::AddGlobalTestEnvironment(new LoopbackOnly);

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

int32_t FreeUdpPort()
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t length = sizeof address;
    int32_t port = 0;
    if (s >= 0 && bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (s >= 0) close(s);
    return port;
}

std::string CraftedMessage::Bytes(int64_t lengthField) const
{
    std::string body;
    for (const std::string &s : strings) body.append(s).push_back('\0');
    uint32_t words[10];
    memcpy(words, fields, sizeof words);
    words[kLength] = static_cast<uint32_t>(lengthField >= 0 ? lengthField : 40 + body.size());
    std::string bytes;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(w >> (8 * i)));
    return bytes + body;
}

bool SendDatagram(int32_t port, const std::string &bytes)
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.255.255.255", &to.sin_addr);
    const bool sent = s >= 0 && setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 &&
                      sendto(s, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&to),
                             sizeof to) == static_cast<ssize_t>(bytes.size());
    if (s >= 0) close(s);
    return sent;
}

PeerProcess::PeerProcess(int32_t port, const std::string &node)
{
    const std::string program = plat::GetProgramDirectory() + "/netmsg_peer";
    const std::string portText = std::to_string(port);
    // Everything the child needs is made before fork: between fork and exec only
    // async-signal-safe calls are made.
    std::vector<std::string> environment;
    for (char **e = environ; *e; ++e)
        if (strncmp(*e, "KEST_NODE=", 10) != 0) environment.push_back(*e);
    if (!node.empty()) environment.push_back("KEST_NODE=" + node);
    std::vector<char *> envp;
    for (std::string &e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    char *argv[] = {const_cast<char *>(program.c_str()), const_cast<char *>(portText.c_str()),
                    nullptr};
    int toPeer[2];
    int fromPeer[2];
    if (pipe2(toPeer, O_CLOEXEC) != 0) return;
    if (pipe2(fromPeer, O_CLOEXEC) != 0) {
        close(toPeer[0]);
        close(toPeer[1]);
        return;
    }
    m_pid = fork();
    if (m_pid == 0) {
        dup2(toPeer[0], 0);
        dup2(fromPeer[1], 1);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(toPeer[0]);
    close(fromPeer[1]);
    m_in = toPeer[1];
    m_out = fromPeer[0];
    std::string line;
    if (m_pid > 0 && ReadLine(line, 5000) && line.rfind("READY ", 0) == 0) m_id = line.substr(6);
}

PeerProcess::~PeerProcess()
{
    if (m_in >= 0) close(m_in);
    if (m_pid > 0 && !WaitForExit(2000)) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) close(m_out);
}

void PeerProcess::Tell(const std::string &command)
{
    const std::string line = command + "\n";
    [[maybe_unused]] ssize_t n = write(m_in, line.data(), line.size());
}

std::string PeerProcess::Ask(const std::string &command, const std::string &reply, int timeoutMs)
{
    Tell(command);
    std::string line;
    const int64_t end = NowMs() + timeoutMs;
    while (ReadLine(line, static_cast<int>(std::max<int64_t>(end - NowMs(), 0)))) {
        if (line.rfind(reply, 0) == 0) return line;
        m_asideLines.push_back(line);
    }
    return "";
}

bool PeerProcess::WaitFor(const std::string &text, int timeoutMs, std::vector<std::string> *before)
{
    std::string line;
    const int64_t end = NowMs() + timeoutMs;
    while (NextLine(line, static_cast<int>(std::max<int64_t>(end - NowMs(), 0)))) {
        if (line.find(text) != std::string::npos) return true;
        if (before) before->push_back(line);
    }
    return false;
}

bool PeerProcess::WaitForAll(std::vector<std::string> texts, int timeoutMs)
{
    std::string line;
    const int64_t end = NowMs() + timeoutMs;
    while (!texts.empty() && NextLine(line, static_cast<int>(std::max<int64_t>(end - NowMs(), 0))))
        std::erase_if(texts, [&](const std::string &t) { return line.find(t) != line.npos; });
    return texts.empty();
}

bool PeerProcess::NextLine(std::string &line, int timeoutMs)
{
    if (m_asideLines.empty()) return ReadLine(line, timeoutMs);
    line = m_asideLines.front();
    m_asideLines.pop_front();
    return true;
}

bool PeerProcess::ReadLine(std::string &line, int timeoutMs)
{
    const int64_t end = NowMs() + timeoutMs;
    for (;;) {
        const size_t newline = m_buffered.find('\n');
        if (newline != std::string::npos) {
            line = m_buffered.substr(0, newline);
            m_buffered.erase(0, newline + 1);
            return true;
        }
        const int64_t left = end - NowMs();
        pollfd fd{m_out, POLLIN, 0};
        if (m_out < 0 || left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0) return false;
        char chunk[4096];
        const ssize_t n = read(m_out, chunk, sizeof chunk);
        if (n <= 0) return false;
        m_buffered.append(chunk, static_cast<size_t>(n));
    }
}

bool PeerProcess::WaitForExit(int timeoutMs)
{
    const int64_t end = NowMs() + timeoutMs;
    while (NowMs() < end) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return true;
        }
        usleep(10000);
    }
    return false;
}

uint32_t PumpClock(const std::function<bool()> &done, uint32_t step, uint32_t limit)
{
    uint32_t total = 0;
    while (!done() && total < limit) {
        if (!plat::TestClock::WaitForTimedWaiters(1, 20)) continue;
        plat::TestClock::Advance(step);
        total += step;
        // The woken thread leaves the wait's books only once it runs again.
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    return total;
}

std::string KernelEvent(const std::string &name, const std::string &id)
{
    return "<Evt=\"" + name + "\"  Param=\"" + id + "\">";
}
