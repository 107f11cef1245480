// AA2-framed matrices at the far end of a serial line (the master side of a PtyPair). Frames
// are SOH, text, two check characters ('0' + high nibble and the low nibble in hexadecimal of
// the XOR of the text), EOT; the simulator checks each with its own code:
// - "AS" 01 'N' and two hexadecimal routes, 'T': the AA2 matrix reads input then output, the
//   VRS1620 output then input; acknowledged with ACK.
// - "QD" 'N' and the output: answered with "DQ" 'N' input (AA2) or "DQ" output input 'N'
//   (VRS1620), framed.
// - A frame whose check does not hold is answered with NAK.
// Answers are shaped by the faults of the peer (kestsim::Faults): the refusal is NAK, and a
// bad check on a framed reply spoils its check characters, not its EOT. A polling matrix
// sends '#' when the test asks it to.
#pragma once

#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/SimFaults.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace kestsim {

class Aa2MatrixSim : public SimFaults<Aa2MatrixSim> {
public:
    enum class Model { Aa2, Vrs1620 };

    // One frame as the matrix understood it.
    struct Command {
        char kind = 0; // 'S' a switch, 'Q' a query, '?' anything else
        int input = -1;
        int output = -1;
        bool checkOk = true;
        bool operator==(const Command &) const = default;
    };

    Aa2MatrixSim(PtyPair &pty, Model model);
    Aa2MatrixSim(const Aa2MatrixSim &) = delete;
    Aa2MatrixSim &operator=(const Aa2MatrixSim &) = delete;

    std::vector<Command> Commands() const;
    // Waits in real time until `count` frames have come.
    bool WaitForCommands(size_t count, uint32_t ms) const;
    // The input that a query of the 0-based output reports (0 until set or switched).
    void SetInput(int output, int input);
    // Sends the poll '#' now.
    bool Poll();

    ScriptedPeer &Peer() { return peer_; }

private:
    Answer Take(const Bytes &request);

    const Model model_;
    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    std::vector<Command> commands_;
    std::map<int, int> routes_;
    ScriptedPeer peer_; // last: its threads call Take
};

} // namespace kestsim
