#include "tests/sim/RawUdpProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace kestsim {

namespace {

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port);
    return sa;
}

// A socket of `type` bound to 127.0.0.1 on a port of the system's choice.
int BoundSocket(int type, uint16_t *port)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in sa = Loopback(0);
    socklen_t length = sizeof sa;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &length) == 0)
        *port = ntohs(sa.sin_port);
    return fd;
}

} // namespace

uint16_t FreePort(int type)
{
    uint16_t port = 0;
    const int fd = BoundSocket(type, &port);
    if (fd >= 0) ::close(fd);
    return port;
}

uint16_t FreeUdpPort()
{
    return FreePort(SOCK_DGRAM);
}

void PutLe(Bytes &out, size_t at, uint32_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

Bytes NetHead(uint16_t from, uint16_t to, uint16_t service, uint16_t message, uint16_t box,
              uint16_t result)
{
    Bytes head(kHeadSize, 0);
    PutLe(head, kHeadSourcePort, from, 2);
    head[kHeadDestinationIp] = 127;
    head[kHeadDestinationIp + 3] = 1;
    PutLe(head, kHeadDestinationPort, to, 2);
    PutLe(head, kHeadService, service, 2);
    PutLe(head, kHeadMessage, message, 2);
    PutLe(head, kHeadReplyBox, box, 2);
    PutLe(head, kHeadResult, result, 2);
    return head;
}

uint32_t NetField(const Bytes &datagram, size_t offset, size_t size)
{
    uint32_t value = 0;
    for (size_t i = size; i-- > 0;)
        value = value << 8 | (offset + i < datagram.size() ? datagram[offset + i] : 0);
    return value;
}

Bytes NetData(const Bytes &datagram)
{
    return datagram.size() < kHeadSize ? Bytes()
                                       : Bytes(datagram.begin() + kHeadSize, datagram.end());
}

RawUdpProcess::RawUdpProcess(uint16_t service) : service_(service)
{
    fd_ = BoundSocket(SOCK_DGRAM, &port_);
    receiver_ = std::thread([this] { ReceiveLoop(); });
}

RawUdpProcess::~RawUdpProcess()
{
    {
        std::lock_guard<std::mutex> lk(m_);
        stop_ = true;
    }
    receiver_.join();
    if (fd_ >= 0) ::close(fd_);
}

void RawUdpProcess::Answer(Responder responder)
{
    std::lock_guard<std::mutex> lk(m_);
    responder_ = std::move(responder);
}

void RawUdpProcess::ReceiveLoop()
{
    Bytes buffer(65536);
    for (;;) {
        {
            std::lock_guard<std::mutex> lk(m_);
            if (stop_) return;
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 20) != 1) continue;
        const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
        if (n <= 0) continue;
        Bytes datagram(buffer.begin(), buffer.begin() + n);
        Respond(datagram);
        std::lock_guard<std::mutex> lk(m_);
        queue_.push_back(std::move(datagram));
    }
}

// Answered before it is queued: a test that has taken a request from the queue knows that
// its answer is on the way.
void RawUdpProcess::Respond(const Bytes &datagram)
{
    Responder responder;
    {
        std::lock_guard<std::mutex> lk(m_);
        responder = responder_;
    }
    const auto box = static_cast<uint16_t>(NetField(datagram, kHeadReplyBox));
    if (!responder || !box || NetField(datagram, kHeadService) != service_) return;
    const Reply answer =
        responder(static_cast<uint16_t>(NetField(datagram, kHeadMessage)), NetData(datagram));
    if (!answer) return;
    const auto asker = static_cast<uint16_t>(NetField(datagram, kHeadSourcePort));
    Bytes reply = NetHead(port_, asker, kAckService, kAckMessage, box, answer->first);
    reply.insert(reply.end(), answer->second.begin(), answer->second.end());
    SendTo(asker, reply);
}

bool RawUdpProcess::SendTo(uint16_t port, const Bytes &datagram)
{
    const sockaddr_in to = Loopback(port);
    return ::sendto(fd_, datagram.data(), datagram.size(), 0,
                    reinterpret_cast<const sockaddr *>(&to),
                    sizeof to) == static_cast<ssize_t>(datagram.size());
}

bool RawUdpProcess::Send(uint16_t port, uint16_t message, uint16_t box, const Bytes &data)
{
    Bytes datagram = NetHead(port_, port, service_, message, box, 0);
    datagram.insert(datagram.end(), data.begin(), data.end());
    return SendTo(port, datagram);
}

Bytes RawUdpProcess::Ask(uint16_t port, uint16_t message, const Bytes &data, uint32_t ms)
{
    const uint16_t box = ++nextBox_;
    if (!Send(port, message, box, data)) return {};
    return ReplyIn(box, ms);
}

Bytes RawUdpProcess::Next(const std::function<bool(const Bytes &)> &keep, uint32_t ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        {
            std::lock_guard<std::mutex> lk(m_);
            while (!queue_.empty()) {
                Bytes datagram = std::move(queue_.front());
                queue_.pop_front();
                if (keep(datagram)) return datagram;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

Bytes RawUdpProcess::NextOf(uint16_t message, uint32_t ms)
{
    return Next([message](const Bytes &d) { return NetField(d, kHeadMessage) == message; }, ms);
}

Bytes RawUdpProcess::ReplyIn(uint16_t box, uint32_t ms)
{
    return Next(
        [box](const Bytes &d) {
            return NetField(d, kHeadService) == kAckService && NetField(d, kHeadReplyBox) == box;
        },
        ms);
}

Bytes RawUdpProcess::NextRequest(uint32_t ms)
{
    return Next([this](const Bytes &d) { return NetField(d, kHeadService) == service_; }, ms);
}

} // namespace kestsim
