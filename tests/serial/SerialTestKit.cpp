#include "tests/serial/SerialTestKit.h"

#include "devext/device/CSerial_M422.h"
#include "devext/device/CSerial_RS232.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <algorithm>
#include <iterator>

namespace serialtest {

long MsSince(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

Bytes Frame(const std::string &payload)
{
    Bytes frame{kStx};
    std::copy(payload.begin(), payload.end(), std::back_inserter(frame));
    frame.push_back(kEtx);
    return frame;
}

Bytes Sequence(size_t n, uint8_t seed)
{
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i);
    return bytes;
}

CFrameProtocol::CFrameProtocol(int port, iRtc *kind)
{
    SetPortKind(kind);
    SetPortNumber(port);
}

void CFrameProtocol::SetPortKind(iRtc *kind)
{
    Line line = GetLine();
    line.portClass = kind;
    CSerialIO::SetLine(line);
}

void CFrameProtocol::SetLine(const COM_SETTING &setting)
{
    CSerialIO::SetLine({setting.nPort, setting.nBaud, setting.nDataBits, setting.nParity,
                        setting.nStopBits, setting.nHalfTime, GetLine().portClass});
}

CFrameProtocol::~CFrameProtocol()
{
    Retire();
}

int CFrameProtocol::OnRecvData(int port, pointer_t &data)
{
    const auto *bytes = static_cast<const uint8_t *>(data.data);
    const Bytes block(bytes, bytes + data.length);
    WithBuffer([&](CBuffer &buffer) {
        buffer.Append(data.data, data.length);
        buffer.DeleteUntil(&kStx, 1);
        if (buffer.GetSize() > 0 && buffer.Find(kEtx) > 0) SignalReply();
    });
    {
        std::lock_guard<std::mutex> lk(m_);
        received_.insert(received_.end(), block.begin(), block.end());
        blocks_.push_back(data.length);
        ports_.push_back(port);
    }
    if (onBlock) onBlock(block);
    return 1;
}

int CFrameProtocol::Ask(const Bytes &frame, int tries, uint32_t replyMs, const ReplyTest &test)
{
    return Request(reinterpret_cast<const char *>(frame.data()), static_cast<int>(frame.size()),
                   tries, replyMs, 50, test);
}

Bytes CFrameProtocol::Reply()
{
    return WithBuffer([](CBuffer &buffer) { return Bytes(buffer.begin(), buffer.end()); });
}

int32_t CFrameProtocol::ReplyAppends()
{
    return WithBuffer([](CBuffer &buffer) { return buffer.GetAppendCount(); });
}

Bytes CFrameProtocol::Received() const
{
    std::lock_guard<std::mutex> lk(m_);
    return received_;
}

std::vector<int> CFrameProtocol::Blocks() const
{
    std::lock_guard<std::mutex> lk(m_);
    return blocks_;
}

std::vector<int> CFrameProtocol::Ports() const
{
    std::lock_guard<std::mutex> lk(m_);
    return ports_;
}

bool CFrameProtocol::WaitForBytes(size_t count, uint32_t ms) const
{
    return WaitUntil([&] { return Received().size() >= count; }, ms);
}

HeldDelivery::HeldDelivery(CFrameProtocol &protocol)
{
    protocol.onBlock = [this](const Bytes &) {
        if (m_held.exchange(true)) return;
        m_entered.set_value();
        m_release.get_future().wait();
    };
}

bool HeldDelivery::WaitEntered()
{
    return m_entered.get_future().wait_for(std::chrono::milliseconds(kSoonMs)) ==
           std::future_status::ready;
}

PtyLine::PtyLine(plat::SerialPortKind kind, int port)
    : farEnd(kind, port),
      protocol(port, kind == plat::SerialPortKind::COM ? CSerial_RS232::GetClassID()
                                                       : CSerial_M422::GetClassID())
{
}

MountedSettings::MountedSettings(const char *root, const std::string &text)
{
    std::string pattern = ::testing::TempDir() + "kest_serial_XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd >= 0) close(fd);
    m_file = pattern;
    std::ofstream(m_file, std::ios::binary | std::ios::trunc) << text;
    m_provider = std::make_unique<CConfigFileAccessX>(m_file.c_str());
    m_provider->Mount(root);
}

MountedSettings::~MountedSettings()
{
    m_provider.reset();
    std::filesystem::remove(m_file);
}

ScopedEnv::ScopedEnv(const char *name, const char *value) : m_name(name)
{
    std::string former;
    if (plat::GetEnv(name, &former)) m_former = former;
    plat::SetEnv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    plat::SetEnv(m_name.c_str(), m_former ? m_former->c_str() : nullptr);
}

int InputWaiting(const kestsim::PtyPair &pty)
{
    int n = -1;
    ioctl(pty.SlaveFd(), FIONREAD, &n);
    return n;
}

bool WaitForInput(const kestsim::PtyPair &pty, int count)
{
    return WaitUntil([&] { return InputWaiting(pty) >= count; });
}

void FillOutput(const kestsim::PtyPair &pty)
{
    const int fd = pty.SlaveFd();
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    // Large blocks first, then single bytes into whatever room is left; again after a pause
    // until no room is left, as the terminal moves bytes on to the far end's queue late.
    const Bytes block(4096, 0x55);
    for (bool wrote = true; wrote;) {
        wrote = false;
        for (size_t size : {block.size(), size_t{1}})
            while (write(fd, block.data(), size) > 0) wrote = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    fcntl(fd, F_SETFL, flags);
}

double CpuMsOver(int ms)
{
    timespec before, after;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
    return (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
}

bool WaitUntil(const std::function<bool()> &done, uint32_t ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace serialtest
