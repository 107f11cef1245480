#include "tests/sim/ShareSwitchPeer.h"

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

void Put(Bytes &out, size_t at, uint32_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

Bytes Head(uint16_t fromPort, uint16_t toPort, uint16_t service, uint16_t message, uint16_t box,
           uint16_t result)
{
    Bytes head(kHeadSize, 0);
    Put(head, kHeadSourcePort, fromPort, 2);
    head[kHeadDestinationIp] = 127;
    head[kHeadDestinationIp + 3] = 1;
    Put(head, kHeadDestinationPort, toPort, 2);
    Put(head, kHeadService, service, 2);
    Put(head, kHeadMessage, message, 2);
    Put(head, kHeadReplyBox, box, 2);
    Put(head, kHeadResult, result, 2);
    return head;
}

} // namespace

Bytes ShareText(const std::string &text)
{
    Bytes bytes = ShareInt(static_cast<int32_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

Bytes ShareInt(int32_t value)
{
    Bytes bytes(4);
    Put(bytes, 0, static_cast<uint32_t>(value), 4);
    return bytes;
}

Bytes ShareValues(std::initializer_list<Bytes> values)
{
    Bytes all;
    for (const Bytes &v : values) all.insert(all.end(), v.begin(), v.end());
    return all;
}

uint32_t ShareField(const Bytes &datagram, size_t offset, size_t size)
{
    uint32_t value = 0;
    for (size_t i = size; i-- > 0;)
        value = value << 8 | (offset + i < datagram.size() ? datagram[offset + i] : 0);
    return value;
}

std::vector<int32_t> ShareInts(const Bytes &data, size_t offset)
{
    std::vector<int32_t> values;
    for (size_t at = offset; at + 4 <= data.size(); at += 4)
        values.push_back(static_cast<int32_t>(ShareField(data, at, 4)));
    return values;
}

ShareSwitchPeer::ShareSwitchPeer()
{
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa = Loopback(0);
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0) {
        socklen_t length = sizeof sa;
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&sa), &length);
        port_ = ntohs(sa.sin_port);
    }
    receiver_ = std::thread([this] { ReceiveLoop(); });
}

ShareSwitchPeer::~ShareSwitchPeer()
{
    {
        std::lock_guard<std::mutex> lk(m_);
        stop_ = true;
    }
    receiver_.join();
    if (fd_ >= 0) ::close(fd_);
}

void ShareSwitchPeer::Answer(Responder responder)
{
    std::lock_guard<std::mutex> lk(m_);
    responder_ = std::move(responder);
}

void ShareSwitchPeer::ReceiveLoop()
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

void ShareSwitchPeer::Respond(const Bytes &datagram)
{
    Responder responder;
    {
        std::lock_guard<std::mutex> lk(m_);
        responder = responder_;
    }
    const auto box = static_cast<uint16_t>(ShareField(datagram, kHeadReplyBox));
    if (!responder || !box || ShareField(datagram, kHeadService) != kSwitchShareService) return;
    const Reply answer =
        responder(static_cast<uint16_t>(ShareField(datagram, kHeadMessage)), ShareData(datagram));
    if (!answer) return;
    const auto asker = static_cast<uint16_t>(ShareField(datagram, kHeadSourcePort));
    Bytes reply = Head(port_, asker, kAckService, kAckMessage, box, answer->first);
    reply.insert(reply.end(), answer->second.begin(), answer->second.end());
    SendTo(asker, reply);
}

bool ShareSwitchPeer::SendTo(uint16_t port, const Bytes &datagram)
{
    const sockaddr_in to = Loopback(port);
    return ::sendto(fd_, datagram.data(), datagram.size(), 0,
                    reinterpret_cast<const sockaddr *>(&to),
                    sizeof to) == static_cast<ssize_t>(datagram.size());
}

bool ShareSwitchPeer::Send(uint16_t port, uint16_t message, uint16_t box, const Bytes &data)
{
    Bytes datagram = Head(port_, port, kSwitchShareService, message, box, 0);
    datagram.insert(datagram.end(), data.begin(), data.end());
    return SendTo(port, datagram);
}

Bytes ShareSwitchPeer::Next(const std::function<bool(const Bytes &)> &keep, uint32_t ms)
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

Bytes ShareSwitchPeer::ReplyIn(uint16_t box, uint32_t ms)
{
    return Next(
        [box](const Bytes &d) {
            return ShareField(d, kHeadService) == kAckService &&
                   ShareField(d, kHeadReplyBox) == box;
        },
        ms);
}

Bytes ShareSwitchPeer::NextRequest(uint32_t ms)
{
    return Next([](const Bytes &d) { return ShareField(d, kHeadService) == kSwitchShareService; },
                ms);
}

} // namespace kestsim
