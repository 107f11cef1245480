#include "tests/sim/SntpSim.h"

#include "platform/TimeSource.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestsim {

namespace {

constexpr int64_t k1900InFileTime = 94354848000000000LL; // 1900-01-01 in 100 ns since 1601

void PutTimestamp(uint8_t *at, int64_t fileTime)
{
    const int64_t since1900 = fileTime - k1900InFileTime;
    const uint64_t seconds = static_cast<uint64_t>(since1900 / 10000000);
    const uint64_t fraction = (static_cast<uint64_t>(since1900 % 10000000) << 32) / 10000000;
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(seconds >> (24 - 8 * i));
        at[4 + i] = static_cast<uint8_t>(fraction >> (24 - 8 * i));
    }
}

} // namespace

SntpSim::SntpSim()
{
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &length) != 0 || pipe(wake_) != 0) {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        return;
    }
    port_ = ntohs(addr.sin_port);
    server_ = std::thread([this] { Serve(); });
}

SntpSim::~SntpSim()
{
    if (fd_ < 0) return;
    const char stop = 1;
    if (write(wake_[1], &stop, 1) != 1) {
        // The pipe is empty and ours: the write does not fail.
    }
    server_.join();
    close(fd_);
    close(wake_[0]);
    close(wake_[1]);
}

void SntpSim::Serve()
{
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || fds[1].revents) return;
        uint8_t request[68];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            recvfrom(fd_, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&from), &length);
        if (n < 48 || (request[0] & 0x07) != 3) continue;
        ++requests_;
        if (silent_) continue;
        uint8_t reply[48] = {};
        reply[0] = 0x24; // no leap warning, version 4, mode 4 (server)
        reply[1] = static_cast<uint8_t>(stratum_.load());
        for (int i = 0; i < 8; ++i) reply[24 + i] = request[40 + i];
        const int64_t now = plat::GetSystemTimeAsFileTime() + offset_.load();
        PutTimestamp(reply + 32, now);
        PutTimestamp(reply + 40, now);
        sendto(fd_, reply, sizeof reply, 0, reinterpret_cast<sockaddr *>(&from), length);
    }
}

} // namespace kestsim
