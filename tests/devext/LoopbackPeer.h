// The far end of a connection in the tests, written on plain POSIX sockets so that it shares
// nothing with the code under test. Everything stays on 127.0.0.1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace loopback {

// An owned descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd &&other) noexcept : fd_(other.Release()) {}
    Fd &operator=(Fd &&other) noexcept;
    int Get() const { return fd_; }
    int Release();
    void Reset();

private:
    int fd_ = -1;
};

// A connected TCP pair: `peer` is the test's end, `accepted` the end handed to the code
// under test (its new owner).
struct TcpPair {
    Fd peer;
    int accepted = -1;
};
// `source`, when given, is the client's own loopback address (127.x.y.z, host order): a
// server that tells peers apart by address sees another peer.
TcpPair MakeTcpPair(uint32_t source = 0);

// A client connected to 127.0.0.1:`port`; invalid when the connection failed.
Fd Connect(uint16_t port, uint32_t source = 0);
bool SendAll(int fd, std::string_view bytes);
// Reads until `count` bytes came, the peer closed, or `timeoutMs` passed.
std::string Receive(int fd, size_t count, int timeoutMs);
// True when the other end closed the connection within `timeoutMs`.
bool WaitClosed(int fd, int timeoutMs);

// A UDP socket bound to 127.0.0.1 on a port of the system's choice.
Fd UdpSocket(uint16_t *port);
bool SendDatagram(int fd, uint16_t port, std::string_view bytes);

uint32_t LoopbackIp(); // 127.0.0.1 in network byte order

// Milliseconds since an arbitrary start, for measuring how long a call took.
int64_t NowMs();

} // namespace loopback
