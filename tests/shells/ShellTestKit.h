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

// A telnet client as a user's terminal shows it. It answers the shell's options as common
// clients do: it lets the shell echo (or, told to, refuses that) and agrees to go ahead
// without GA, refusing every other option; while the shell does not echo it echoes what is
// typed itself. The screen is what the shell sent, without its commands, and the local echo.
class Terminal {
public:
    explicit Terminal(loopback::Fd fd, bool letShellEcho = true)
        : m_fd(std::move(fd)), m_bLetShellEcho(letShellEcho)
    {
    }

    bool Type(const std::string &text);
    // Reads, answering the shell's commands, until the screen shows `needle` after the point
    // reached by the last call (or the wait ran out): whether it did.
    bool WaitFor(const std::string &needle, int timeoutMs = kWaitMs);
    const std::string &Screen() const { return m_screen; }
    bool ShellEchoes() const { return m_bShellEchoes; }

private:
    void Take(const char *bytes, size_t count);
    void Answer(uint8_t command, uint8_t option);

    loopback::Fd m_fd;
    const bool m_bLetShellEcho;
    bool m_bShellEchoes = false;
    std::string m_screen;
    size_t m_mark = 0;
    std::string m_command; // a command of the shell's not yet whole
};

} // namespace shell_test
