// A pseudo-terminal pair standing in for a serial cable: the code under test opens the slave
// by path, a simulator drives the master. Both sides are raw.
#pragma once

#include "platform/SerialPortResolver.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestsim {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool Valid() const { return slave_ >= 0; }
    const std::string &SlavePath() const { return slavePath_; }
    // -1 once closed.
    int MasterFd() const { return master_; }
    // The pair keeps the slave open itself, so the master side never sees a hang-up when the
    // line under test closes, and a test can read the line's settings back (tcgetattr).
    int SlaveFd() const { return slave_; }

    // Points COM n (or SIO n) at the slave through KEST_COM<n> (KEST_SIO<n>) until the pair
    // is destroyed, when the former value comes back.
    void Bind(plat::SerialPortKind kind, int n);

    // Closes the master: the line under test sees its far end hang up. A peer attached to
    // the pair must be stopped first (ScriptedPeer::HangUp does both).
    void CloseMaster();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    // Variables set by Bind with their former values (none: they were unset).
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace kestsim
