#include "SharingTestKit.h"

#include "platform/TimeSource.h"
#include "tests/Kest20/FakeSettings.h"

#include <chrono>
#include <thread>

namespace sharetest {

namespace {

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
    kestsim::PutLe(bytes, 0, value, 4);
    return bytes;
}

Bytes Pattern(size_t n, uint8_t seed)
{
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i);
    return bytes;
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
    SetPortNumber(port);
}

TestProtocol::~TestProtocol()
{
    Retire();
}

int TestProtocol::OnRecvData(int port, pointer_t &data)
{
    const auto *bytes = static_cast<const uint8_t *>(data.data);
    {
        std::lock_guard<std::mutex> lk(m_);
        received_.insert(received_.end(), bytes, bytes + data.length);
        ports_.push_back(port);
    }
    WithBuffer([&](CBuffer &buffer) {
        buffer.Append(data.data, data.length);
        if (!buffer.IsEmpty() && buffer[buffer.GetSize() - 1] == kEtx) SignalReply();
    });
    return 1;
}

int TestProtocol::Ask(const Bytes &frame, uint32_t replyMs)
{
    return Request(reinterpret_cast<const char *>(frame.data()), static_cast<int>(frame.size()), 1,
                   replyMs, 0);
}

Bytes TestProtocol::Reply()
{
    return WithBuffer([](CBuffer &buffer) {
        return Bytes(buffer.GetData(), buffer.GetData() + buffer.GetSize());
    });
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

Bytes IpAt(const Bytes &datagram, size_t offset)
{
    return datagram.size() < offset + 4
               ? Bytes()
               : Bytes(datagram.begin() + offset, datagram.begin() + offset + 4);
}

size_t Count(const LogProbe &log, const std::string &text)
{
    size_t count = 0;
    for (const std::string &logged : log.Texts()) count += logged == text;
    return count;
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
