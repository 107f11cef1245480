// Helpers of the shell tests: the client end of a loopback connection that reads until a
// text has arrived or the server closed.
#pragma once

#include "tests/devext/LoopbackPeer.h"

#include <string>

namespace shell_test {

constexpr int kWaitMs = 5000;

class Client {
public:
    explicit Client(loopback::Fd fd) : m_fd(std::move(fd)) {}

    bool Send(const std::string &bytes) { return loopback::SendAll(m_fd.Get(), bytes); }
    // Everything received until `needle` has arrived (or the wait ran out); what follows the
    // needle in the same receive is kept for the next call.
    std::string ReadUntil(const std::string &needle, int timeoutMs = kWaitMs);
    // Everything until the server closes the connection.
    std::string ReadToClose(int timeoutMs = kWaitMs);
    // True when the server closed within the wait.
    bool Closed(int timeoutMs = kWaitMs) { return loopback::WaitClosed(m_fd.Get(), timeoutMs); }
    int Fd() const { return m_fd.Get(); }

private:
    loopback::Fd m_fd;
    std::string m_pending;
};

} // namespace shell_test
