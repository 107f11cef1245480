// Leitch matrices and XPR routers at the far end of a serial line (the master side of a
// PtyPair). Every model takes CR-ended text lines (an LF after the CR is dropped) and reads
// them in its own way:
// - Terminal: "@ X:<levels>/<dest>,<src>" (take) and "@ P:..." (preset), numbers in
//   hexadecimal; answers a take, a preset and "@ B:E" with one "S:<level><dest>,<src>" CR per
//   level of the last cross-point.
// - Analog: a code letter and decimal numbers ("X<level>:<src>,<dest>" for a cross-point);
//   never answers.
// - Panacea: "X <level>:<src>,<dest>"; never answers.
// - Xpr: "l<level>;s<src>;d<dest>"; answers each line with ">".
// Answers are shaped by the peer's faults (kestsim::Faults).
#pragma once

#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/SimFaults.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace kestsim {

class LeitchSim : public SimFaults<LeitchSim> {
public:
    enum class Model { Terminal, Analog, Panacea, Xpr };

    // One line as the device understood it: `kind` is 'X' for a cross-point, 'P' for a
    // terminal preset, else the line's first letter (0 for an empty line). Numbers not in
    // the line are -1.
    struct Command {
        std::string line;
        char kind = 0;
        std::string levels;
        int level = -1;
        int source = -1;
        int destination = -1;
        int number = -1; // the analogue keyword's number
        bool operator==(const Command &) const = default;
    };

    LeitchSim(PtyPair &pty, Model model);
    LeitchSim(const LeitchSim &) = delete;
    LeitchSim &operator=(const LeitchSim &) = delete;

    std::vector<Command> Commands() const;
    // Waits in real time until `count` lines have come.
    bool WaitForCommands(size_t count, uint32_t ms) const;
    ScriptedPeer &Peer() { return peer_; }

private:
    Answer Take(const Bytes &request);
    Command Read(const std::string &line) const;

    const Model model_;
    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    std::vector<Command> commands_;
    ScriptedPeer peer_; // last: its threads call Take
};

} // namespace kestsim
