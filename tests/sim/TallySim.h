// The Talley tally controller and the VM3000 matrix at the far end of a serial line (the
// master side of a PtyPair), each decoding what it is sent in its own way:
// - Talley: 48-byte commands 02 00 2C 01 01 00 02 code and 40 bytes 00; never answers. A
//   command whose fixed bytes are wrong is recorded as such.
// - VM3000: 'Z' letter ooo [iii] CR. A switch ('S', with an input) is answered "ZY" CR, its
//   refusal (the nak fault) "ZN" CR; a read ('R') is answered "ZR" ooo iii CR with the input
//   the output carries, or first "ZY" CR and then that when reads are acknowledged.
// Answers are shaped by the faults of the peer (kestsim::Faults).
#pragma once

#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/SimFaults.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace kestsim {

class TallySim : public SimFaults<TallySim> {
public:
    enum class Model { Talley, Vm3000 };

    // One command as the device understood it.
    struct Command {
        char letter = 0; // Talley: 'T'; VM3000: the command letter
        int output = -1; // VM3000
        int input = -1;  // Talley: the code byte; VM3000: the input (-1: none)
        bool wellFormed = true;
        bool operator==(const Command &) const = default;
    };

    TallySim(PtyPair &pty, Model model);
    TallySim(const TallySim &) = delete;
    TallySim &operator=(const TallySim &) = delete;

    std::vector<Command> Commands() const;
    // Waits in real time until `count` commands have come.
    bool WaitForCommands(size_t count, uint32_t ms) const;
    // VM3000: the input that a read of the output reports (0 until set or switched).
    void SetInput(int output, int input);
    // VM3000: reads are acknowledged with 'Y' before their answer.
    void SetReadAck(bool on);

    ScriptedPeer &Peer() { return peer_; }

private:
    Answer Talley(const Bytes &request);
    Answer Vm3000(const Bytes &request);
    void Record(const Command &command);

    const Model model_;
    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    std::vector<Command> commands_;
    std::map<int, int> routes_;
    bool readAck_ = false;
    ScriptedPeer peer_; // last: its threads call the answers above
};

} // namespace kestsim
