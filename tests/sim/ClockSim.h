// A serial station clock at the far end of a line (the master side of a PtyPair) that sends
// its model's time frames, one second after another, on a thread of its own in real time.
// Its frames are built here from the clocks' frame layouts:
// - SY: 0x55 hour minute second (binary);
// - BJSX: 0x40 0x40 0x02 0xFD hour minute second (BCD);
// - MCG: 0xAA 0x14 year month day weekday hour minute second (binary, two-digit year);
// - Z3400: 0xAA 0x01 year month day weekday hour minute second (BCD);
// - ST3100: 0xAA 0x01 0x02 0x03 year month day weekday hour minute second 0x00 (BCD);
// - KHC3400: 0xAA 0xAA 0xAA second minute hour weekday day month year 0x00 0x00 (binary);
// - TVZ3100: a block 0xAA 0x00 year month day weekday hour minute (BCD), then a block of one
//   byte, the second (BCD).
// Each block goes out shaped by the faults of the peer (kestsim::Faults; a refusal sends
// nothing, since a clock has none), a count of faults counting blocks.
#pragma once

#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/SimFaults.h"

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace kestsim {

class ClockSim : public SimFaults<ClockSim> {
public:
    enum class Model { SY, BJSX, MCG, Z3400, ST3100, KHC3400, TVZ3100 };

    struct Time {
        int year = 2024, month = 6, day = 15, weekday = 6;
        int hour = 10, minute = 30, second = 45;
    };

    ClockSim(PtyPair &pty, Model model);
    ~ClockSim();
    ClockSim(const ClockSim &) = delete;
    ClockSim &operator=(const ClockSim &) = delete;

    // The blocks one second of the clock sends, each to arrive on its own.
    static std::vector<Bytes> Blocks(Model model, const Time &time);

    // Sends `seconds` seconds from `start` on, `periodMs` apart, each preceded by `garbage`.
    void Run(Time start, int seconds, uint32_t periodMs = 40, Bytes garbage = {});
    // Waits for the run to end.
    void Join();
    // Seconds sent so far.
    int Sent() const { return sent_.load(); }

    ScriptedPeer &Peer() { return peer_; }

private:
    // Puts one block out as the faults shaped it.
    void Send(const Answer &block);
    void Stop();

    const Model model_;
    std::atomic<bool> stop_{false};
    std::atomic<int> sent_{0};
    ScriptedPeer peer_;
    std::thread runner_;
};

} // namespace kestsim
