// What the sharing tests share: this program's sharing service with its "Shared" list, a
// protocol of the tests' own, a process on a plain UDP socket that builds and reads datagrams
// field by field (apart from the system's encoders), and the manual clock; the program's
// set-up, with the name resolution and the dispatchers, is tests/sim/program's. Everything
// stays on 127.0.0.1.
#pragma once

#include "devext/device/CSerialDevA.h"
#include "devext/device/CSerialIO.h"
#include "devext/device/CSerialShareServ.h"
#include "tests/Kest20/LogProbe.h"
#include "tests/sim/RawUdpProcess.h"
#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/program/NetProgram.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

namespace sharetest {

using kestsim::Bytes;

constexpr uint32_t kSoonMs = 5000;
constexpr uint8_t kEtx = 0x03;
constexpr uint16_t kService = 35;

Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Le32(uint32_t value);
// n bytes cycling through every byte value.
Bytes Pattern(size_t n, uint8_t seed = 0);
// A 32-bit value, then a buffer: what Write and DoInt carry.
inline Bytes PortAndBuffer(uint32_t port, const Bytes &bytes)
{
    return Concat({Le32(port), Le32(static_cast<uint32_t>(bytes.size())), bytes});
}

using kestsim::ActiveDisp;
using kestsim::FreeUdpPort;
using kestsim::ResolveTo;
// The run-time class record of the network port kind.
iRtc *NetKind();
// A "Shared" list of entries {local port, server URL}, as a setting holds it.
std::string SharedList(std::initializer_list<std::pair<int, std::string>> entries);

// This program's sharing service, initialised with `shared` as its "Shared" setting, active.
class ActiveService {
public:
    explicit ActiveService(const std::string &shared = "");
    ~ActiveService();
    ActiveService(const ActiveService &) = delete;
    ActiveService &operator=(const ActiveService &) = delete;
    CSerialShareServ *operator->() { return &service; }

    CSerialShareServ service;
};

// A protocol of the tests' own: it keeps every block OnRecvData got, and a reply is complete
// when its last byte is ETX.
class TestProtocol : public CSerialIO {
public:
    explicit TestProtocol(int port);
    ~TestProtocol() override;

    int OnRecvData(int port, pointer_t &data) override;
    int Ask(const Bytes &frame, uint32_t replyMs = 2000);
    int Write(const Bytes &bytes)
    {
        return DevWrite(reinterpret_cast<const char *>(bytes.data()),
                        static_cast<int>(bytes.size()));
    }
    Bytes Reply();
    Bytes Received() const;
    std::vector<int> Ports() const;
    bool WaitForBytes(size_t count, uint32_t ms = kSoonMs) const;
    // The port object the protocol holds, found by its port number.
    std::shared_ptr<CSerialDevA> Port() const { return CSerialDevA::GetByPort(GetSetting().nPort); }

private:
    mutable std::mutex m_;
    Bytes received_;
    std::vector<int> ports_;
};

// The 4 bytes of an IP address at `offset`, as they travel (network order).
Bytes IpAt(const Bytes &datagram, size_t offset);
// How many messages of `text` the probe got.
size_t Count(const LogProbe &log, const std::string &text);

// A process of the tests' own on a plain UDP socket that talks to the serial sharing service.
class RawProcess : public kestsim::RawUdpProcess {
public:
    RawProcess() : RawUdpProcess(kService) {}
};

// Waits in real time until `done` holds, at most `ms`.
bool WaitUntil(const std::function<bool()> &done, uint32_t ms = kSoonMs);
// With the manual clock installed: advances it `stepMs` at a time, giving the threads it
// wakes real time to act, until `done` holds; false when `limitMs` passed first.
bool AdvanceUntil(const std::function<bool()> &done, uint32_t limitMs, uint32_t stepMs = 100);

} // namespace sharetest
