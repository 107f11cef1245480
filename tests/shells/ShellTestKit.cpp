#include "ShellTestKit.h"

#include <poll.h>
#include <sys/socket.h>

namespace shell_test {

std::string Client::ReadUntil(const std::string &needle, int timeoutMs)
{
    const int64_t end = loopback::NowMs() + timeoutMs;
    std::string text = std::move(m_pending);
    m_pending.clear();
    for (;;) {
        const size_t at = text.find(needle);
        if (at != std::string::npos) {
            m_pending = text.substr(at + needle.size());
            text.resize(at + needle.size());
            return text;
        }
        const int64_t left = end - loopback::NowMs();
        pollfd p{m_fd.Get(), POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return text;
        char buffer[4096];
        const ssize_t n = ::recv(m_fd.Get(), buffer, sizeof buffer, 0);
        if (n <= 0) return text;
        text.append(buffer, static_cast<size_t>(n));
    }
}

std::string Client::ReadToClose(int timeoutMs)
{
    std::string text = std::move(m_pending);
    m_pending.clear();
    return text + loopback::Receive(m_fd.Get(), 1 << 20, timeoutMs);
}

namespace {

constexpr uint8_t kIac = 255, kSb = 250, kSe = 240, kWill = 251, kWont = 252, kDo = 253,
                  kDont = 254, kEcho = 1, kSga = 3;

} // namespace

bool Terminal::Type(const std::string &text)
{
    if (!m_bShellEchoes)
        for (char c : text) m_screen += c == '\r' ? std::string("\r\n") : std::string(1, c);
    return loopback::SendAll(m_fd.Get(), text);
}

void Terminal::Answer(uint8_t command, uint8_t option)
{
    uint8_t reply = 0;
    if (command == kWill && option == kEcho) {
        reply = m_bLetShellEcho ? kDo : kDont;
        m_bShellEchoes = m_bLetShellEcho;
    } else if (command == kWont && option == kEcho) {
        reply = m_bShellEchoes ? kDont : 0;
        m_bShellEchoes = false;
    } else if (command == kWill) {
        reply = option == kSga ? kDo : kDont;
    } else if (command == kDo) {
        reply = kWont;
    }
    if (!reply) return;
    const char bytes[] = {static_cast<char>(kIac), static_cast<char>(reply),
                          static_cast<char>(option)};
    loopback::SendAll(m_fd.Get(), std::string(bytes, sizeof bytes));
}

void Terminal::Take(const char *bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        if (m_command.empty() && b != kIac) {
            m_screen += static_cast<char>(b);
            continue;
        }
        m_command += static_cast<char>(b);
        const auto at = [&](size_t k) { return static_cast<uint8_t>(m_command[k]); };
        if (m_command.size() < 2) continue;
        if (at(1) == kSb) {
            // Through IAC SE.
            if (m_command.size() >= 4 && at(m_command.size() - 2) == kIac &&
                at(m_command.size() - 1) == kSe)
                m_command.clear();
            continue;
        }
        if (at(1) >= kWill) {
            if (m_command.size() < 3) continue;
            Answer(at(1), at(2));
        }
        m_command.clear();
    }
}

bool Terminal::WaitFor(const std::string &needle, int timeoutMs)
{
    const int64_t end = loopback::NowMs() + timeoutMs;
    for (;;) {
        const size_t at = m_screen.find(needle, m_mark);
        if (at != std::string::npos) {
            m_mark = at + needle.size();
            return true;
        }
        const int64_t left = end - loopback::NowMs();
        pollfd p{m_fd.Get(), POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char buffer[4096];
        const ssize_t n = ::recv(m_fd.Get(), buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        Take(buffer, static_cast<size_t>(n));
    }
}

} // namespace shell_test
