// The process set-up of the fuzz targets that run framework objects: settings served from
// memory for the life of the process (nothing is read from or written to /etc), a temporary
// directory of their own, net messages kept on this host, and the distributed-system object
// answering from this process's own values.
#pragma once

#include "tests/Kest20/FakeSettings.h"

#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace fuzz {

// A UDP socket on 127.0.0.1 that takes the replies handlers send, drained after each input.
class Sink {
public:
    Sink()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof sa;
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&sa), &length) == 0)
            m_port = ntohs(sa.sin_port);
    }
    uint16_t Port() const { return m_port; }
    void Drain() const
    {
        char buffer[2048];
        while (m_fd >= 0 && ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
        }
    }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// A UDP port that was free a moment ago.
inline uint16_t FreeUdpPort()
{
    const Sink probe;
    return probe.Port();
}

// Call once, first: the environment every framework object of the process then sees.
inline FakeSettings &ProcessSettings()
{
    static FakeSettings *settings = [] {
        std::string dir = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
        dir += "/kest_fuzz.XXXXXX";
        if (::mkdtemp(dir.data())) {
            ::setenv("TMPDIR", dir.c_str(), 1);
            ::setenv("KEST_SYSTEM_DIR", dir.c_str(), 1);
            static const std::string made = dir;
            std::atexit([] {
                std::error_code ignored;
                std::filesystem::remove_all(made, ignored);
            });
        }
        ::setenv("KEST_BROADCAST", "127.255.255.255", 1);
        return new FakeSettings;
    }();
    return *settings;
}

} // namespace fuzz
