// A ThomsonAIR tape robot on the master side of a PtyPair: it decodes the framed commands with
// its own decoder, keeps shelf cells with labels, four VTR bays and two grippers, carries
// cassettes on pick and put commands, answers status queries and label reads, and records
// every command body. Knobs: the peer's faults (kestsim::Faults, through SetFaults; silence
// and refusal also have setters of their own), a busy answer, a failing gripper, the stuck
// flag of the robot status, and unsolicited messages.
#pragma once

#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/SimFaults.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace kestsim {

class RobotSim : public SimFaults<RobotSim> {
public:
    explicit RobotSim(PtyPair &pty);

    // Cell "A07" (row letter, 1-based column) holds `label`; an empty label empties it.
    void SetShelf(const std::string &cell, const std::string &label);
    void SetBay(int bay, const std::string &label);
    std::string Shelf(const std::string &cell) const;
    std::string Bay(int bay) const;
    // The presence map (bit c: column c + 1).
    void SetPresence(uint32_t map);

    void SetSilent(bool on);
    void SetRefuse(bool on);
    void SetBusy(bool on);
    // Picks from shelf cells leave the gripper empty (the sensor shows nothing taken).
    void SetGripperFails(bool on);
    void SetStuck(bool on);

    // The command bodies received (without length and checksum).
    std::vector<Bytes> Commands() const;
    size_t Count(const std::string &prefix) const;
    void ClearCommands();

    // Sends an unsolicited message.
    bool Send(const Bytes &bytes) { return peer_.Send(bytes); }
    ScriptedPeer &Peer() { return peer_; }

    // A frame: N, body, checksum.
    static Bytes Frame(const Bytes &body);

private:
    Answer Respond(const Bytes &request);
    // The answer to one command body, under the lock.
    Answer Serve(const Bytes &body);
    Answer Data(const Bytes &data) const;
    Bytes Value(uint32_t a, uint32_t b, bool two) const;

    mutable std::mutex m_;
    std::map<std::string, std::string> shelf_;
    std::string bays_[4];
    std::string grippers_[2];
    uint32_t presence_ = 0;
    bool busy_ = false, gripperFails_ = false, stuck_ = false;
    std::vector<Bytes> commands_;
    ScriptedPeer peer_;
};

} // namespace kestsim
