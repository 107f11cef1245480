// A TCP-style session over a socket pair: the client end writes the input, closes its
// sending side and reads everything the server end sends until it is closed, on a thread of
// its own, so that a server that writes much never blocks.
#pragma once

#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fuzz {

class Session {
public:
    // The server end is handed to the session object (which closes it); -1 when no pair.
    explicit Session(const std::vector<uint8_t> &input)
    {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return;
        m_server = pair[0];
        m_client = std::thread([fd = pair[1], input, this] {
            size_t at = 0;
            while (at < input.size()) {
                const ssize_t n = ::send(fd, input.data() + at, input.size() - at, MSG_NOSIGNAL);
                if (n <= 0) break;
                at += static_cast<size_t>(n);
            }
            ::shutdown(fd, SHUT_WR);
            char buffer[4096];
            for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                m_received.append(buffer, static_cast<size_t>(n));
            ::close(fd);
        });
    }
    ~Session() { Finish(); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    int ServerEnd() const { return m_server; }
    // Waits for the client end, which ends once the server end is closed; what it received.
    const std::string &Finish()
    {
        if (m_client.joinable()) m_client.join();
        return m_received;
    }

private:
    int m_server = -1;
    std::thread m_client;
    std::string m_received;
};

} // namespace fuzz
