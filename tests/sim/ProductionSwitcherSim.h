// Production switchers at the far end of a line (the master side of a PtyPair), written from
// their protocols and apart from the drivers:
// - TTV9920: takes length 01 command data (length + 1 bytes) and acknowledges with 01 80 (its
//   refusal, the nak fault: 01 00); answers the program query (41) and the preset query (42)
//   with the data reply 05 01 90 entry 00 00; the link test 00 30 00 30 with 01 80. C1 sets
//   the program source, C2 the preset source, C6 swaps them.
// - M21 / SATURN4000: takes 02 n command data check (after the preamble 82 80) and
//   acknowledges with 04 (its refusal: 08); it can send messages of its own (02 ...), which
//   the line must answer with 04.
// - M2100: takes packets 02 count(2) blocks check; a set block (type 1) is acknowledged with
//   04 (its refusal: 05); a query block (type 2) is answered with a reply packet whose type-3
//   block carries an item per query (0D status, 0C key mask, 0B, 06 bus source).
// Answers go out shaped by the faults of the peer (kestsim::Faults).
#pragma once

#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/SimFaults.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace kestsim {

class ProductionSwitcherSim : public SimFaults<ProductionSwitcherSim> {
public:
    enum class Model { Ttv9920, M21, M2100 };

    // One frame as the switcher understood it: its command (TTV, M21) or block type (M2100),
    // and the bytes after it; `preamble`: the bytes 82 80 came right before it (M21).
    struct Command {
        int command = 0;
        Bytes data;
        bool preamble = false;
    };

    ProductionSwitcherSim(PtyPair &pty, Model model);
    ProductionSwitcherSim(const ProductionSwitcherSim &) = delete;
    ProductionSwitcherSim &operator=(const ProductionSwitcherSim &) = delete;

    std::vector<Command> Commands() const;
    bool WaitForCommands(size_t count, uint32_t ms) const;
    void ClearCommands();

    // TTV9920: the entries the switcher holds.
    int Program() const;
    int Preset() const;
    void SetEntries(int program, int preset);
    // M2100: the state the switcher reports, and the source selected on a bus.
    void SetStatus(uint8_t status);
    void SetKeyMask(uint8_t mask);
    uint8_t KeyMask() const;
    int BusSource(int bus) const;

    // M21: a message of the switcher's own (a whole frame with command `command`).
    bool SendMessage(uint8_t command, const Bytes &data);

    ScriptedPeer &Peer() { return peer_; }

private:
    Answer Ttv(const Bytes &request);
    Answer M21(const Bytes &request);
    Answer M2100(const Bytes &request);
    void Record(Command command);

    const Model model_;
    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    std::vector<Command> commands_;
    int program_ = 0;
    int preset_ = 0;
    uint8_t status_ = 1;
    uint8_t keyMask_ = 0;
    std::map<int, int> busSources_;
    ScriptedPeer peer_; // last: its threads call the answers above
};

// The M21 / SATURN4000 frame: 02, n, command, data, check (two's complement of the sum).
Bytes M21SimFrame(uint8_t command, const Bytes &data);
// An M2100 packet: 02, count (big-endian), the blocks, check.
Bytes M2100SimPacket(const Bytes &blocks);

} // namespace kestsim
