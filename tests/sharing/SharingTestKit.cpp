#include "SharingTestKit.h"

#include "Kest20/CDSystem.h"
#include "Kest20/DistributedSystemApi.h"
#include "Kest20/KestApplication.h"
#include "platform/TimeSource.h"
#include "tests/Kest20/FakeSettings.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace sharetest {

namespace {

// The framework of the test program. The distributed-system object is made once and never
// activated: its kernel answers from this process's own values, so resolving a name sends
// nothing, and the host name it gives is 127.0.0.1, which resolves without a hosts file. At
// the end the application closes, so that no framework thread (the log's) outlives the
// statics of the program.
class ProgramEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        void *made = CDSystem::GetClassID()->CreateInstance(nullptr);
        ASSERT_NE(made, nullptr);
        m_pSystem = static_cast<CDSystem *>(static_cast<IClassA *>(made));
        IDSKernel *kernel = glGetDistributedSystemCore();
        ASSERT_NE(kernel, nullptr);
        kernel->SetHostName("127.0.0.1");
    }
    void TearDown() override
    {
        if (m_pSystem) m_pSystem->Suicide();
        CloseApplication(0);
    }

private:
    CDSystem *m_pSystem = nullptr;
};

[[maybe_unused]] ::testing::Environment *const g_program =
    ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

sockaddr_in LoopbackAddress(uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port);
    return sa;
}

// A UDP socket bound to 127.0.0.1 on a port of the system's choice.
int BoundUdpSocket(uint16_t *port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa = LoopbackAddress(0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) return fd;
    socklen_t length = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &length);
    *port = ntohs(sa.sin_port);
    return fd;
}

void Put(Bytes &out, size_t at, uint32_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void RealSleep(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Le32(uint32_t value)
{
    Bytes bytes(4);
    Put(bytes, 0, value, 4);
    return bytes;
}

Bytes Pattern(size_t n, uint8_t seed)
{
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i);
    return bytes;
}

uint16_t FreeUdpPort()
{
    uint16_t port = 0;
    const int fd = BoundUdpSocket(&port);
    if (fd >= 0) ::close(fd);
    return port;
}

void ResolveTo(const char *netName, uint16_t port)
{
    IDSKernel *kernel = glGetDistributedSystemCore();
    ASSERT_NE(kernel, nullptr);
    kernel->SetProgName(netName);
    kernel->SetEnvAsInteger("KEST_PORT", port);
}

iRtc *NetKind()
{
    return CSerialDevA::GetClassID()->FindByNames("CSerial_Net");
}

std::string SharedList(std::initializer_list<std::pair<int, std::string>> entries)
{
    std::string list;
    for (const auto &[com, server] : entries) {
        if (!list.empty()) list += ",";
        list += "\"<Com='" + std::to_string(com) + "' Server='" + server + "'>\"";
    }
    return "{" + list + "}";
}

ActiveDisp::ActiveDisp(const char *name)
{
    {
        FakeSettings settings;
        settings.Set(std::string("/etc/tvx/") + name, "Default Port",
                     std::to_string(FreeUdpPort()));
        disp.InitInstance(nullptr, name);
    }
    disp.ActiveInstance();
}

ActiveDisp::~ActiveDisp()
{
    disp.DeactiveInstance(0);
}

ActiveService::ActiveService(const std::string &shared)
{
    {
        FakeSettings settings;
        if (!shared.empty())
            settings.Set(std::string("/etc/tvx/") + CSerialShareServ::kInstanceName, "Shared",
                         shared);
        service.InitInstance(nullptr, nullptr);
    }
    service.ActiveInstance();
}

ActiveService::~ActiveService()
{
    service.DeactiveInstance(0);
}

TestProtocol::TestProtocol(int port)
{
    m_Setting.nPort = static_cast<uint16_t>(port);
}

TestProtocol::~TestProtocol()
{
    DevClose();
}

int TestProtocol::OnRecvData(int port, pointer_t &data)
{
    const auto *bytes = static_cast<const uint8_t *>(data.data);
    {
        std::lock_guard<std::mutex> lk(m_);
        received_.insert(received_.end(), bytes, bytes + data.length);
        ports_.push_back(port);
    }
    std::lock_guard<CDataLock> lk(m_RecvLock);
    m_Buffer.Append(data.data, data.length);
    if (!m_Buffer.IsEmpty() && m_Buffer[m_Buffer.GetSize() - 1] == kEtx) SignalReply();
    return 1;
}

int TestProtocol::Ask(const Bytes &frame, uint32_t replyMs)
{
    return Request(reinterpret_cast<const char *>(frame.data()), static_cast<int>(frame.size()), 1,
                   replyMs, 0);
}

Bytes TestProtocol::Reply()
{
    std::lock_guard<CDataLock> lk(m_RecvLock);
    return Bytes(m_Buffer.GetData(), m_Buffer.GetData() + m_Buffer.GetSize());
}

Bytes TestProtocol::Received() const
{
    std::lock_guard<std::mutex> lk(m_);
    return received_;
}

std::vector<int> TestProtocol::Ports() const
{
    std::lock_guard<std::mutex> lk(m_);
    return ports_;
}

bool TestProtocol::WaitForBytes(size_t count, uint32_t ms) const
{
    return WaitUntil([&] { return Received().size() >= count; }, ms);
}

uint32_t Field(const Bytes &datagram, size_t offset, size_t size)
{
    uint32_t value = 0;
    for (size_t i = size; i-- > 0;)
        value = value << 8 | (offset + i < datagram.size() ? datagram[offset + i] : 0);
    return value;
}

Bytes IpAt(const Bytes &datagram, size_t offset)
{
    return datagram.size() < offset + 4
               ? Bytes()
               : Bytes(datagram.begin() + offset, datagram.begin() + offset + 4);
}

Bytes Request(uint16_t sourcePort, uint16_t message, uint16_t replyBox, const Bytes &data)
{
    Bytes head(32, 0);
    Put(head, kSourcePort, sourcePort, 2);
    const Bytes loopback = {127, 0, 0, 1};
    std::copy(loopback.begin(), loopback.end(), head.begin() + kDestinationIp);
    Put(head, kServiceId, kService, 2);
    Put(head, kMessageId, message, 2);
    Put(head, kReplyBox, replyBox, 2);
    return Concat({head, data});
}

Bytes DataOf(const Bytes &datagram)
{
    return datagram.size() < 32 ? Bytes() : Bytes(datagram.begin() + 32, datagram.end());
}

size_t Count(const LogProbe &log, const std::string &text)
{
    size_t count = 0;
    for (const std::string &logged : log.Texts()) count += logged == text;
    return count;
}

RawProcess::RawProcess()
{
    fd_ = BoundUdpSocket(&port_);
    receiver_ = std::thread([this] { ReceiveLoop(); });
}

RawProcess::~RawProcess()
{
    {
        std::lock_guard<std::mutex> lk(m_);
        stop_ = true;
    }
    receiver_.join();
    if (fd_ >= 0) ::close(fd_);
}

void RawProcess::Answer(Responder responder)
{
    std::lock_guard<std::mutex> lk(m_);
    responder_ = std::move(responder);
}

void RawProcess::ReceiveLoop()
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
void RawProcess::Respond(const Bytes &datagram)
{
    Responder responder;
    {
        std::lock_guard<std::mutex> lk(m_);
        responder = responder_;
    }
    const uint16_t box = static_cast<uint16_t>(Field(datagram, kReplyBox));
    if (!responder || Field(datagram, kServiceId) != kService || !box) return;
    const Reply answer = responder(datagram);
    if (!answer) return;
    const uint16_t asker = static_cast<uint16_t>(Field(datagram, kSourcePort));
    Bytes reply = Request(port_, 38, box, answer->second);
    Put(reply, kDestinationPort, asker, 2);
    Put(reply, kServiceId, 3, 2);
    Put(reply, kResult, answer->first, 2);
    SendTo(asker, reply);
}

bool RawProcess::SendTo(uint16_t port, const Bytes &datagram)
{
    const sockaddr_in to = LoopbackAddress(port);
    return ::sendto(fd_, datagram.data(), datagram.size(), 0,
                    reinterpret_cast<const sockaddr *>(&to),
                    sizeof to) == static_cast<ssize_t>(datagram.size());
}

Bytes RawProcess::Take(const std::function<bool(const Bytes &)> &keep, uint32_t ms)
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
        RealSleep(2);
    }
}

Bytes RawProcess::Next(uint16_t message, uint32_t ms)
{
    return Take([message](const Bytes &d) { return Field(d, kMessageId) == message; }, ms);
}

bool RawProcess::Send(uint16_t port, uint16_t message, uint16_t replyBox, const Bytes &data)
{
    Bytes datagram = Request(port_, message, replyBox, data);
    Put(datagram, kDestinationPort, port, 2);
    return SendTo(port, datagram);
}

Bytes RawProcess::Ask(uint16_t port, uint16_t message, const Bytes &data, uint32_t ms)
{
    const uint16_t box = ++nextBox_;
    if (!Send(port, message, box, data)) return {};
    return Take(
        [box](const Bytes &d) { return Field(d, kServiceId) == 3 && Field(d, kReplyBox) == box; },
        ms);
}

bool WaitUntil(const std::function<bool()> &done, uint32_t ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        RealSleep(2);
    }
    return true;
}

bool AdvanceUntil(const std::function<bool()> &done, uint32_t limitMs, uint32_t stepMs)
{
    for (uint32_t advanced = 0; advanced < limitMs; advanced += stepMs) {
        if (done()) return true;
        plat::TestClock::Advance(stepMs);
        RealSleep(10);
    }
    return done();
}

} // namespace sharetest
