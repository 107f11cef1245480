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

} // namespace shell_test
