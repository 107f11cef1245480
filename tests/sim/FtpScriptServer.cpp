#include "tests/sim/FtpScriptServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace kestsim {

FtpScriptServer::FtpScriptServer()
{
    m_rules = {{"USER", "331 password please\r\n"},
               {"PASS", "230 logged on\r\n"},
               {"QUIT", "221 bye\r\n"}};
    if (::pipe2(m_wake, O_CLOEXEC) != 0) return;
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 ||
        ::listen(m_listen, 4) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&sa), &len) != 0)
        return;
    m_port = ntohs(sa.sin_port);
    m_thread = std::thread([this] { Run(); });
}

FtpScriptServer::~FtpScriptServer()
{
    if (m_wake[1] >= 0) (void)::write(m_wake[1], "x", 1);
    if (m_thread.joinable()) m_thread.join();
    for (int fd : {m_listen, m_wake[0], m_wake[1]})
        if (fd >= 0) ::close(fd);
}

void FtpScriptServer::Greeting(const std::string &bytes)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_greeting = bytes;
}

void FtpScriptServer::SetRule(Rule rule)
{
    std::lock_guard<std::mutex> lk(m_lock);
    std::erase_if(m_rules, [&](const Rule &r) { return r.prefix == rule.prefix; });
    m_rules.insert(m_rules.begin(), std::move(rule));
}

void FtpScriptServer::When(const std::string &prefix, const std::string &reply)
{
    SetRule({prefix, reply, false});
}

void FtpScriptServer::DropOn(const std::string &prefix)
{
    SetRule({prefix, "", true});
}

std::vector<std::string> FtpScriptServer::Commands() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_commands;
}

int FtpScriptServer::Connections() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_connections;
}

bool FtpScriptServer::WaitForCommand(const std::string &prefix, uint32_t ms) const
{
    std::unique_lock<std::mutex> lk(m_lock);
    return m_changed.wait_for(lk, std::chrono::milliseconds(ms), [&] {
        return std::any_of(m_commands.begin(), m_commands.end(),
                           [&](const std::string &c) { return c.rfind(prefix, 0) == 0; });
    });
}

bool FtpScriptServer::SendAll(int fd, const std::string &bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

void FtpScriptServer::Run()
{
    for (;;) {
        pollfd fds[2] = {{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[0].revents) return;
        const int conn = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (conn < 0) continue;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            ++m_connections;
        }
        Serve(conn);
        ::close(conn);
    }
}

// One connection at a time: greeting, then a command line, its answer, and so on until the
// client or a rule ends it, or the server stops.
void FtpScriptServer::Serve(int conn)
{
    std::string greeting;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        greeting = m_greeting;
    }
    if (!SendAll(conn, greeting)) return;
    std::string pending;
    for (;;) {
        pollfd fds[2] = {{m_wake[0], POLLIN, 0}, {conn, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[0].revents) return;
        char buffer[512];
        const ssize_t n = ::recv(conn, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            Rule answer;
            bool found = false;
            {
                std::lock_guard<std::mutex> lk(m_lock);
                m_commands.push_back(line);
                for (const Rule &rule : m_rules)
                    if (line.rfind(rule.prefix, 0) == 0) {
                        answer = rule;
                        found = true;
                        break;
                    }
            }
            m_changed.notify_all();
            if (found && answer.drop) return;
            if (found && !SendAll(conn, answer.reply)) return;
        }
    }
}

} // namespace kestsim
