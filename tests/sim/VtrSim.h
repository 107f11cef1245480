// A Sony 9-pin VTR on the master side of a PtyPair: it decodes command frames with its own
// decoder, keeps a transport state (tape in or out, stopped, playing at 25 frames a second on
// the process's time source, so on the manual clock in tests that install it, cued), answers
// with acknowledgements and data replies, and records every command with the tick it came at.
// Faults: those of the peer (kestsim::Faults; a refusal is the NAK reply), set through
// SetFaults or one knob at a time, and time-code fields out of range.
#pragma once

#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/SimFaults.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace kestsim {

class VtrSim : public SimFaults<VtrSim> {
public:
    struct Command {
        uint8_t cmd1 = 0; // as received, with its data count
        uint8_t cmd2 = 0;
        Bytes data;
        uint32_t tick = 0; // the time source's tick count when it came
        bool Is(uint8_t c1, uint8_t c2) const { return (cmd1 & 0xF0) == (c1 & 0xF0) && cmd2 == c2; }
    };

    explicit VtrSim(PtyPair &pty);

    // Transport state.
    void SetTape(bool present);
    void SetPosition(int32_t frames); // both the time code and the timer
    void SetCueComplete(bool on);     // status bit 2.0
    void SetCuesComplete(bool on);    // whether a cue sets 2.0 (it does by default)
    void SetStatusByte4(bool on);     // status bit 4.0
    void SetModel(uint8_t high, uint8_t low);
    bool Playing() const;
    int32_t Position() const;

    // Knobs of the peer's faults, applying to every answer from now on.
    void SetSilent(bool on);
    void SetNak(bool on);
    // Only the command of this kind (its group and CMD-2) is refused, or no more.
    void SetRefused(uint8_t cmd1, uint8_t cmd2, bool on);
    void SetDelay(uint32_t ms);
    void SetSplit(size_t pieceSize, uint32_t gapMs);
    void SetBadChecksum(bool on);
    void SetGarbage(Bytes garbage);
    // The next `count` time readings answer hours 0x25 (out of range).
    void SetBadTimecodes(int count);
    // Time readings carry every flag bit beside their digits (drop frame, colour frame, field,
    // binary groups).
    void SetTimecodeFlags(bool on);

    std::vector<Command> Commands() const;
    size_t Count(uint8_t cmd1, uint8_t cmd2) const;
    void ClearCommands();
    // Waits in real time for `count` commands of the kind in all.
    bool WaitFor(uint8_t cmd1, uint8_t cmd2, size_t count = 1, uint32_t ms = 5000) const;
    ScriptedPeer &Peer() { return peer_; }

    // The frame of a reply or command: cmd1 with the data count, cmd2, data, checksum.
    static Bytes Frame(uint8_t group, uint8_t cmd2, const Bytes &data);

private:
    using Clock = std::chrono::steady_clock;

    // Milliseconds on the time source.
    static uint64_t NowMs();
    Answer Respond(const Bytes &request);
    Bytes Reply(const Command &command);
    int32_t PositionLocked() const;

    mutable std::mutex m_;
    std::vector<Command> commands_;
    bool tape_ = true;
    bool playing_ = false;
    int32_t position_ = 0;
    uint64_t playFromMs_ = 0;
    bool cueComplete_ = false;
    bool cuesComplete_ = true;
    bool byte4_ = false;
    uint8_t model_[2] = {0x20, 0x25};
    int badTimecodes_ = 0;
    bool timecodeFlags_ = false;
    std::vector<std::pair<uint8_t, uint8_t>> refused_; // group and CMD-2
    // Last: its threads call Respond, so it stops before the state above goes.
    ScriptedPeer peer_;
};

} // namespace kestsim
