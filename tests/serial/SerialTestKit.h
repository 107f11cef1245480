// What the serial tests share: a frame protocol of their own on the serial base, settings
// files mounted in the resource tree, environment variables set for one test, and waits on
// the line's queues.
#pragma once

#include "KestLib20/CConfigFileAccessX.h"
#include "devext/device/CSerialIO.h"
#include "tests/kit/SimLine.h"
#include "tests/sim/ScriptedPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace serialtest {

using kestsim::Bytes;
using Clock = std::chrono::steady_clock;

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint32_t kSoonMs = 5000;

long MsSince(Clock::time_point start);
// STX payload ETX.
Bytes Frame(const std::string &payload);
// n bytes cycling through every byte value.
Bytes Sequence(size_t n, uint8_t seed = 0);

// A protocol of the tests' own: a reply is STX ... ETX, garbage before the STX is dropped.
// It keeps every block OnRecvData got, and runs `onBlock` inside OnRecvData.
class CFrameProtocol : public CSerialIO {
public:
    CFrameProtocol(int port, iRtc *kind);
    ~CFrameProtocol() override;

    int OnRecvData(int port, pointer_t &data) override;

    void SetPortKind(iRtc *kind);
    // The settings, with the port kind kept.
    void SetLine(const COM_SETTING &setting);
    int Ask(const Bytes &frame, int tries, uint32_t replyMs, const ReplyTest &test = {});
    // The receive buffer, and the number of appends that filled it.
    Bytes Reply();
    int32_t ReplyAppends();

    Bytes Received() const;
    std::vector<int> Blocks() const;
    std::vector<int> Ports() const;
    bool WaitForBytes(size_t count, uint32_t ms = kSoonMs) const;

    std::function<void(const Bytes &block)> onBlock;

private:
    mutable std::mutex m_;
    Bytes received_;
    std::vector<int> blocks_;
    std::vector<int> ports_;
};

// A protocol on COM or board port `port` whose line is a pseudo-terminal with a scripted far
// end.
struct PtyLine {
    PtyLine(plat::SerialPortKind kind, int port);

    kit::SimLine<kestsim::ScriptedPeer> farEnd;
    kestsim::PtyPair &pty = farEnd.Pty();
    kestsim::ScriptedPeer &peer = farEnd.Peer();
    CFrameProtocol protocol;
};

template <plat::SerialPortKind Kind, int Port>
class PtyLineTest : public ::testing::Test, protected PtyLine {
protected:
    static constexpr int kPort = Port;

    PtyLineTest() : PtyLine(Kind, Port) {}
    void SetUp() override { ASSERT_TRUE(pty.Valid()); }
};

// Holds the first delivery inside OnRecvData until released, so the receive thread stays
// away from the line meanwhile.
class HeldDelivery {
public:
    explicit HeldDelivery(CFrameProtocol &protocol);
    bool WaitEntered();
    void Release() { m_release.set_value(); }

private:
    std::atomic<bool> m_held{false};
    std::promise<void> m_entered;
    std::promise<void> m_release;
};

// A settings file of the test's own mounted at `root` of the resource tree.
class MountedSettings {
public:
    MountedSettings(const char *root, const std::string &text);
    ~MountedSettings();

private:
    std::string m_file;
    std::unique_ptr<CConfigFileAccessX> m_provider;
};

// Sets (or, with null, removes) an environment variable until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_former;
};

// Bytes waiting to be read on the line under test (the pair's own slave shares the queue).
int InputWaiting(const kestsim::PtyPair &pty);
bool WaitForInput(const kestsim::PtyPair &pty, int count);
// Fills the line's output queue from the pair's own slave until it takes no more.
void FillOutput(const kestsim::PtyPair &pty);
// Process CPU time used over `ms` of real time.
double CpuMsOver(int ms);

// Waits in real time until `done` holds, at most `ms`.
bool WaitUntil(const std::function<bool()> &done, uint32_t ms = kSoonMs);

} // namespace serialtest
