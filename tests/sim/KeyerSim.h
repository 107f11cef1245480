// Keyers and caption generators at the far end of a line (the master side of a PtyPair),
// written from their protocols and apart from the drivers:
// - DSK50D: takes the set-key command 12 03 01 code state check (a bad check is ignored) and
//   answers 02 01 'B' check, or, in status mode, the status block 02 15 'A' with the states of
//   keys 0 to 3 in bytes 11 to 14. Its refusal (the nak fault) leaves the key as it was and
//   reports the states.
// - ShiHui: takes "C1" D|S key-digit "N01" CR and answers "OK" CR (its refusal: "ER" CR).
// - TrikKey: takes the toggle 55 00 2E key-1 00 01 and answers nothing.
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

class KeyerSim : public SimFaults<KeyerSim> {
public:
    enum class Model { Dsk50d, ShiHui, TrikKey };

    // One command as the keyer understood it: the key (DSK50D: its code; ShiHui: the digit;
    // TrikKey: the key number) and the state asked for (TrikKey: the state after the toggle).
    struct Command {
        int key = 0;
        bool on = false;
        bool operator==(const Command &) const = default;
    };

    KeyerSim(PtyPair &pty, Model model);
    KeyerSim(const KeyerSim &) = delete;
    KeyerSim &operator=(const KeyerSim &) = delete;

    std::vector<Command> Commands() const;
    bool WaitForCommands(size_t count, uint32_t ms) const;
    void ClearCommands();

    bool KeyOn(int key) const;
    void SetKeyOn(int key, bool on);
    // DSK50D: answer every command with the status block.
    void SetStatusReplies(bool on);

    ScriptedPeer &Peer() { return peer_; }

private:
    Answer Dsk50d(const Bytes &request);
    Answer ShiHui(const Bytes &request);
    Answer TrikKey(const Bytes &request);
    Bytes Dsk50dStatus() const;
    // Records the command; applies it unless the answer is a refusal or none.
    void Apply(const Command &command);

    const Model model_;
    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    std::vector<Command> commands_;
    std::map<int, bool> keys_;
    bool statusReplies_ = false;
    ScriptedPeer peer_; // last: its threads call the answers above
};

} // namespace kestsim
