// A changeover switch at the far end of a serial line (the master side of a PtyPair), with
// frames of its own:
// - RS-422: takes 0x55 c 0xAA, where every set bit of c puts that channel on the backup input,
//   and answers with its status frame 0x55 s 0xAA (s: a bit per channel on backup);
// - RS-485: takes 0xAA c c (5 main, 10 backup) and acknowledges with 0x00; answers the query
//   0x55 with its address twice and its position twice.
// Its answers go out shaped by the faults of the peer (kestsim::Faults), and it can send
// status frames of its own accord.
#pragma once

#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/SimFaults.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kestsim {

class ChangeoverSim : public SimFaults<ChangeoverSim> {
public:
    enum class Line { Rs422, Rs485 };

    using Faults = kestsim::Faults;

    ChangeoverSim(PtyPair &pty, Line line, uint8_t address = 7);
    ChangeoverSim(const ChangeoverSim &) = delete;
    ChangeoverSim &operator=(const ChangeoverSim &) = delete;

    static Bytes StatusFrame(uint8_t status);

    // The positions commanded, in order: 1 main, 2 backup.
    std::vector<int> Positions() const;
    // Waits in real time until `count` commands have come.
    bool WaitForPositions(size_t count, uint32_t ms) const;
    int Queries() const;
    // An RS-422 status frame sent now, unasked.
    bool SendStatus(uint8_t status);

    ScriptedPeer &Peer() { return peer_; }

private:
    Answer Command422(const Bytes &request);
    Answer Command485(const Bytes &request);

    const Line line_;
    const uint8_t address_;
    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    std::vector<int> positions_;
    int queries_ = 0;
    // Last: its threads call the answers above, so it goes first.
    ScriptedPeer peer_;
};

} // namespace kestsim
