// Small serial switchers at the far end of a line (the master side of a PtyPair), with frames
// of their own:
// - BDS1602: takes A0|u bus source (bus 0 program, else preset) and echoes it; answers the
//   query C0|u 00 with A0|u 00 program-source.
// - APS1602: takes 55 (H<<4|n) cmd args check; acknowledges a take (cmd 10) or preset (11)
//   with 10 01 02 (its refusal, the nak fault: 10 02 03), answers the program query (21) with 71 21
//   s check and the preset query (20) with 71 20 s check.
// - ONYX: takes 21 u 04 L|10 e c sum and confirms it with 23 u 04 L|1 e c 00; polls the line
//   on demand with 23 u+80 and records the answers.
// Answers go out shaped by the faults of the peer (kestsim::Faults).
#pragma once

#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/SimFaults.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kestsim {

class SwitcherSim : public SimFaults<SwitcherSim> {
public:
    enum class Model { Bds1602, Aps1602, Onyx };

    using Faults = kestsim::Faults;

    // One command as the switch understood it.
    struct Command {
        int kind = 0;    // BDS: the bus; APS: the command byte; ONYX: 0
        int source = 0;  // 0-based (BDS, APS) or the entry as sent (ONYX)
        int channel = 0; // ONYX only
    };

    SwitcherSim(PtyPair &pty, Model model, uint8_t unit = 0);
    SwitcherSim(const SwitcherSim &) = delete;
    SwitcherSim &operator=(const SwitcherSim &) = delete;

    std::vector<Command> Commands() const;
    // Waits in real time until `count` commands have come.
    bool WaitForCommands(size_t count, uint32_t ms) const;
    int Queries() const;
    void SetProgram(int source);
    void SetPreset(int source);

    // ONYX: sends a poll now; the answers the line gave so far.
    bool Poll();
    Bytes PollAnswers() const;

    ScriptedPeer &Peer() { return peer_; }

private:
    Answer Bds(const Bytes &request);
    Answer Aps(const Bytes &request);
    Answer Onyx(const Bytes &request);
    void Record(Command command);

    const Model model_;
    const uint8_t unit_;
    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    std::vector<Command> commands_;
    int queries_ = 0;
    int program_ = 0;
    int preset_ = 0;
    ScriptedPeer peer_; // last: its threads call the answers above
};

} // namespace kestsim
