// Virtual ports: a line whose far end is an emulator object in the same process.
#include "devext/device/CSerialDevA.h"
#include "devext/device/CSerialEmulator.h"
#include "tests/serial/SerialTestKit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

using namespace serialtest;

namespace {

constexpr int kPort = 60;

// A loop-back emulator that also keeps what it was sent.
class CEchoEmulator : public CSerialEmulator {
public:
    explicit CEchoEmulator(int port, bool active = true)
    {
        m_nPort = port;
        m_bActive = active ? 1 : 0;
    }
    ~CEchoEmulator() override { Retire(); }
    void SetActive(bool active) { m_bActive = active ? 1 : 0; }

    int OnRecvData(const unsigned char *data, int length) override
    {
        {
            std::lock_guard<std::mutex> lk(m_);
            got_.insert(got_.end(), data, data + length);
        }
        return CSerialEmulator::OnRecvData(data, length);
    }
    Bytes Got()
    {
        std::lock_guard<std::mutex> lk(m_);
        return got_;
    }

private:
    std::mutex m_;
    Bytes got_;
};

iRtc *VirtualKind()
{
    return CSerialDevA::GetClassID()->Find("CSerial_Virtual", iRtc::FIND_CLASSNAME);
}

} // namespace

TEST(VirtualPort, OpensWhileAnActiveEmulatorHasItsNumberAndLoopsBack)
{
    // The other kinds find no line on this number.
    ScopedEnv noCom("KEST_COM60", "/nonexistent/kest-serial-test");
    ScopedEnv noBoard("KEST_SIO60", nullptr);
    ASSERT_NE(VirtualKind(), nullptr);
    CFrameProtocol protocol(kPort, VirtualKind());
    EXPECT_EQ(protocol.DevOpen(), 0) << "no emulator";
    CEchoEmulator idle(kPort, false);
    CEchoEmulator elsewhere(kPort + 1);
    EXPECT_EQ(protocol.DevOpen(), 0) << "no active emulator on its number";
    EXPECT_EQ(CSerialEmulator::GetByPort(kPort), nullptr);

    CEchoEmulator emulator(kPort);
    EXPECT_EQ(CSerialEmulator::GetByPort(kPort).get(), &emulator);
    ASSERT_EQ(protocol.DevOpen(), 1);
    const auto port = CSerialDevA::GetByPort(kPort);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->IsKindOf(VirtualKind()));
    EXPECT_EQ(std::string(port->GetDevName()), "DEV_COM60");

    EXPECT_EQ(protocol.DevWrite("\x02"
                                "abc\x03",
                                5),
              1);
    EXPECT_EQ(emulator.Got(), Frame("abc"));
    EXPECT_EQ(protocol.Received(), Frame("abc")) << "echoed back";
    EXPECT_EQ(protocol.Ports(), std::vector<int>{kPort});
    char buffer[4];
    int length = sizeof buffer;
    EXPECT_EQ(protocol.DevRead(buffer, length), 0);
    EXPECT_EQ(length, 0);

    // The request loop over it: the echo is the reply.
    EXPECT_EQ(protocol.Ask(Frame("ping"), 1, 1000), 1);
    EXPECT_EQ(protocol.Reply(), Frame("ping"));

    // Bytes the emulator sends on its own reach the protocol.
    const unsigned char unsolicited[] = {kStx, 'u', kEtx};
    EXPECT_EQ(emulator.SendData(unsolicited, 3), 1);
    const Bytes received = protocol.Received();
    EXPECT_EQ(Bytes(received.end() - 3, received.end()), Frame("u"));
    EXPECT_EQ(elsewhere.SendData(unsolicited, 3), 0) << "no port on its number";

    // Without the emulator the port closes at the next write.
    emulator.SetActive(false);
    EXPECT_EQ(protocol.DevWrite("x", 1), 0);
    EXPECT_EQ(protocol.DevIsOpen(), 0);
    EXPECT_EQ(CSerialDevA::GetByPort(kPort), nullptr);
    emulator.SetActive(true);
    EXPECT_EQ(protocol.DevOpen(), 1) << "a port object left closed is replaced";
}

// An emulator's delivery holds the port it found: the protocol's close and destruction meanwhile
// wait for the delivery to leave, and nothing it is inside is freed under it.
TEST(VirtualPort, ADeliveryUnderWayKeepsThePortAndTheProtocolItReaches)
{
    constexpr int kDeliveryPort = kPort + 2;
    ScopedEnv noCom("KEST_COM62", "/nonexistent/kest-serial-test");
    ScopedEnv noBoard("KEST_SIO62", nullptr);
    CEchoEmulator emulator(kDeliveryPort);
    const unsigned char bytes[] = {kStx, 'd', kEtx};
    for (int round = 0; round < 5; ++round) {
        auto protocol = std::make_unique<CFrameProtocol>(kDeliveryPort, VirtualKind());
        ASSERT_EQ(protocol->DevOpen(), 1);
        CFrameProtocol *reached = protocol.get();
        std::promise<void> entered;
        protocol->onBlock = [&, reached](const Bytes &) {
            entered.set_value();
            // Inside the delivery while the protocol is being destroyed (no verdict rests on
            // how long).
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            reached->Blocks();
        };
        auto delivery = std::async(std::launch::async, [&] { return emulator.SendData(bytes, 3); });
        entered.get_future().wait();
        protocol.reset();
        EXPECT_EQ(delivery.get(), 1);
        EXPECT_EQ(CSerialDevA::GetByPort(kDeliveryPort), nullptr);
    }
}

// A write holds the emulator it found: the emulator's destruction meanwhile waits for the write
// to leave it.
TEST(VirtualPort, AWriteUnderWayKeepsItsEmulator)
{
    constexpr int kWritePort = kPort + 3;
    ScopedEnv noCom("KEST_COM63", "/nonexistent/kest-serial-test");
    ScopedEnv noBoard("KEST_SIO63", nullptr);
    // Takes the bytes and stays inside the write a while (no verdict rests on how long).
    class CSlowEmulator : public CEchoEmulator {
    public:
        using CEchoEmulator::CEchoEmulator;
        ~CSlowEmulator() override { Retire(); }
        int OnRecvData(const unsigned char *data, int length) override
        {
            entered.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return CEchoEmulator::OnRecvData(data, length);
        }
        std::promise<void> entered;
    };
    for (int round = 0; round < 5; ++round) {
        auto emulator = std::make_unique<CSlowEmulator>(kWritePort);
        CFrameProtocol protocol(kWritePort, VirtualKind());
        ASSERT_EQ(protocol.DevOpen(), 1);
        auto write =
            std::async(std::launch::async, [&] { return protocol.DevWrite("\x02w\x03", 3); });
        emulator->entered.get_future().wait();
        emulator.reset();
        EXPECT_EQ(write.get(), 1);
        EXPECT_EQ(protocol.Received(), Frame("w")) << "echoed by the emulator before it went";
    }
}
