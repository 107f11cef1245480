// Text-framed switches at the far end of a serial line (the master side of a PtyPair), each
// decoding what it is sent in its own way (a row each in the model table of the .cpp):
// - BW120: " 11" tens units "11" channel CR NUL; never answers.
// - DLKD: SOH "WR" kind 'x' OO 'y' II CC EOT in hexadecimal, the check the XOR of the bytes
//   between SOH and the check; never answers. A frame with a bad check is recorded as such.
// - Quartz: ".S" levels ooo "," iii CR; answers each with ".A" and CR, shaped by the faults
//   of the peer (kestsim::Faults).
#pragma once

#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/SimFaults.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kestsim {

class TextSwitchSim : public SimFaults<TextSwitchSim> {
public:
    enum class Model { Bw120, Dlkd, Quartz };

    // One command as the switch understood it.
    struct Route {
        std::string levels;  // Quartz: the level letters; DLKD: the kind letter
        int output = 0;      // BW120: the channel digit
        int input = 0;       // BW120: the entry
        bool checkOk = true; // DLKD only
        bool operator==(const Route &) const = default;
    };

    TextSwitchSim(PtyPair &pty, Model model);
    TextSwitchSim(const TextSwitchSim &) = delete;
    TextSwitchSim &operator=(const TextSwitchSim &) = delete;

    std::vector<Route> Routes() const;
    // Waits in real time until `count` commands have come.
    bool WaitForRoutes(size_t count, uint32_t ms) const;
    // Quartz: takes commands without answering them.
    void SetSilent(bool silent);

    ScriptedPeer &Peer() { return peer_; }

private:
    Answer Take(const Bytes &request);

    const Model model_;
    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    std::vector<Route> routes_;
    ScriptedPeer peer_; // last: its threads call Take
};

} // namespace kestsim
