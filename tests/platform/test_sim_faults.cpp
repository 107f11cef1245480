// Every serial device simulator shapes what it sends by SetFaults, and a count of faults ends
// them after that many answers, whatever the model.
#include "platform/SerialLine.h"
#include "tests/kit/SimLine.h"
#include "tests/sim/ChangeoverSim.h"
#include "tests/sim/ClockSim.h"
#include "tests/sim/RobotSim.h"
#include "tests/sim/VdcpSim.h"
#include "tests/sim/VtrSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

using kestsim::Bytes;
using kestsim::Faults;
using plat::SerialPortKind;

namespace {

constexpr uint32_t kSoon = 5000;

// A simulator on its line as this test drives it: asked once, it has taken the request and
// sent whatever it answers when Ask returns.
struct Device {
    virtual ~Device() = default;
    virtual void SetFaults(Faults faults, int count) = 0;
    virtual kestsim::PtyPair &Pty() = 0;
    virtual void Ask(plat::SerialLine &line) = 0;
};

// One that answers `request_`.
template <class Sim> struct Answering : Device {
    template <class... Args>
    Answering(int port, Bytes request, Args... args)
        : line_(SerialPortKind::COM, port, args...), request_(std::move(request))
    {
    }
    void SetFaults(Faults faults, int count) override { line_.Sim().SetFaults(faults, count); }
    kestsim::PtyPair &Pty() override { return line_.Pty(); }
    void Ask(plat::SerialLine &line) override
    {
        line_.Peer().ClearReceived();
        ASSERT_EQ(line.Write(request_.data(), request_.size(), kSoon), request_.size());
        ASSERT_TRUE(line_.Peer().WaitForBytes(request_.size(), kSoon));
        ASSERT_TRUE(line_.Peer().WaitSent(kSoon));
    }
    kit::SimLine<Sim> line_;
    const Bytes request_;
};

// The clock, which sends a second of its own accord.
struct Clock : Device {
    explicit Clock(int port) : line_(SerialPortKind::COM, port, kestsim::ClockSim::Model::SY) {}
    void SetFaults(Faults faults, int count) override { line_.Sim().SetFaults(faults, count); }
    kestsim::PtyPair &Pty() override { return line_.Pty(); }
    void Ask(plat::SerialLine &) override
    {
        line_.Sim().Run({}, 1, 2);
        line_.Sim().Join();
    }
    kit::SimLine<kestsim::ClockSim> line_;
};

struct Row {
    const char *what;
    std::function<std::unique_ptr<Device>()> make;
    Bytes answer; // unshaped
};

std::vector<Row> Rows()
{
    using kestsim::ChangeoverSim;
    Bytes robotStatus{'G'};
    const Bytes robotData = kestsim::RobotSim::Frame(Bytes(8, 0x00));
    robotStatus.insert(robotStatus.end(), robotData.begin(), robotData.end());
    return {
        {"changeover",
         [] {
             return std::make_unique<Answering<ChangeoverSim>>(21, Bytes{0x55},
                                                               ChangeoverSim::Line::Rs485);
         },
         {0x07, 0x07, 0x00, 0x00}},
        {"robot",
         [] {
             return std::make_unique<Answering<kestsim::RobotSim>>(
                 22, kestsim::RobotSim::Frame(kestsim::ToBytes("?T")));
         },
         robotStatus},
        {"VTR",
         [] {
             return std::make_unique<Answering<kestsim::VtrSim>>(
                 23, kestsim::VtrSim::Frame(0x20, 0x00, {}));
         },
         kestsim::VtrSim::Frame(0x10, 0x01, {})},
        {"VDCP",
         [] {
             return std::make_unique<Answering<kestsim::VdcpSim>>(
                 24, kestsim::VdcpSim::Frame(0x10, 0x00));
         },
         {0x04}},
        {"clock", [] { return std::make_unique<Clock>(25); },
         kestsim::ClockSim::Blocks(kestsim::ClockSim::Model::SY, {}).front()},
    };
}

// The next `count` bytes the device sends, waited for with a bound.
Bytes Next(plat::SerialLine &line, size_t count)
{
    Bytes got;
    uint8_t buf[64];
    while (got.size() < count) {
        const int n = line.Read(buf, std::min(sizeof buf, count - got.size()), kSoon);
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

} // namespace

TEST(SimulatorFaults, EverySimulatorShapesItsAnswersForAsManyAsCounted)
{
    for (const Row &row : Rows()) {
        SCOPED_TRACE(row.what);
        const std::unique_ptr<Device> device = row.make();
        plat::SerialLine line;
        ASSERT_TRUE(line.Open(device->Pty().SlavePath()));

        // Silent for one answer: what comes next is the second answer alone.
        Faults silent;
        silent.silent = true;
        device->SetFaults(silent, 1);
        device->Ask(line);
        device->Ask(line);
        EXPECT_EQ(Next(line, row.answer.size()), row.answer);

        // Garbage first and a bad check on one answer, then the answer as it is.
        Faults garbled;
        garbled.garbage = {0xEE, 0xEF};
        garbled.badCheck = true;
        device->SetFaults(garbled, 1);
        device->Ask(line);
        Bytes shaped = garbled.garbage;
        shaped.insert(shaped.end(), row.answer.begin(), row.answer.end());
        if (row.answer.size() > 1) shaped.back() ^= 0x5A;
        EXPECT_EQ(Next(line, shaped.size()), shaped);
        device->Ask(line);
        EXPECT_EQ(Next(line, row.answer.size()), row.answer);

        // Faults without a count stay.
        Faults cut;
        cut.shortReply = true;
        device->SetFaults(cut, 0);
        for (int i = 0; i < 2; ++i) {
            device->Ask(line);
            EXPECT_EQ(Next(line, row.answer.size() - 1),
                      Bytes(row.answer.begin(), row.answer.end() - 1));
        }
    }
}
