// A VDCP video server at the far end of a serial line (the master side of a PtyPair), with
// frames of its own: STX, count, CMD-1, CMD-2, data, checksum (CMD-1 .. checksum sum to 0).
// It keeps a clip list, one selected channel with its transport (idle, cued, playing at 25
// frames a second, stilled, stopped, jogged, shuttled) and answers the port, transport,
// cue, position, status, id and id-list commands. Clip ids are 8 bytes padded with zeros,
// or length-prefixed where CMD-1 has bit 7 set. Its answers go out shaped by the faults of
// the peer (kestsim::Faults; a refusal is a NAK).
#pragma once

#include "tests/sim/ScriptedPeer.h"
#include "tests/sim/SimFaults.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestsim {

class VdcpSim : public SimFaults<VdcpSim> {
public:
    using Faults = kestsim::Faults;
    // One well-formed frame as received, with the time its reader took it in.
    struct Command {
        uint8_t cmd1;
        uint8_t cmd2;
        Bytes data;
        std::chrono::steady_clock::time_point at{};
    };

    explicit VdcpSim(PtyPair &pty);
    VdcpSim(const VdcpSim &) = delete;
    VdcpSim &operator=(const VdcpSim &) = delete;

    // The frame of a command or a sense reply.
    static Bytes Frame(uint8_t cmd1, uint8_t cmd2, const Bytes &data = {});
    static Bytes Timecode(int32_t frames);

    void AddClip(const std::string &name, int32_t frames);
    // The cued bit comes this long after a cue (0: at once).
    void SetCueDelay(uint32_t ms);
    // The channels that OpenPort grants; a request for another one is refused.
    void SetFreeChannels(std::vector<uint8_t> channels);
    void SetExtended(uint32_t value);
    // SelectPort acknowledged but the selected channel left as it is.
    void SetIgnoreSelect(bool ignore);
    // Ids per id-list reply.
    void SetIdsPerReply(size_t count);

    // Encoders: a stop leaves the channel stopped for `ms` and then idle (-1, the default:
    // stopped until the next command changes it).
    void SetStopIdleAfter(int32_t ms);
    // Id lists asked with the NEW command set come back in one reply, each id a length byte
    // and its bytes.
    void SetNewFormIdList(bool on);
    // The clip of the last record init.
    std::string RecordClip() const;

    std::vector<Command> Commands() const;
    void ClearCommands();
    size_t CountOf(uint8_t cmd1, uint8_t cmd2) const;
    bool WaitForCount(uint8_t cmd1, uint8_t cmd2, size_t count, uint32_t ms) const;
    uint8_t Status1() const;
    uint8_t SelectedChannel() const;
    int32_t Position() const;
    std::string CuedClip() const;
    // Sends a well-formed frame now, unasked.
    bool SendUnsolicited(const Bytes &frame) { return peer_.Send(frame); }

    ScriptedPeer &Peer() { return peer_; }

private:
    using Clock = std::chrono::steady_clock;

    Answer Respond(const Bytes &request);
    // The answer to one checked frame; the lock is held.
    Bytes Serve(uint8_t cmd1, uint8_t cmd2, const Bytes &data);
    std::string ClipOf(uint8_t cmd1, const Bytes &data, size_t &used) const;
    // The answer of the encoder commands (record init, record, a stop that turns idle) and of
    // the NEW-form id list, when they are so set up; none for any other command. The lock is
    // held.
    std::optional<Bytes> ServeEncoder(uint8_t cmd1, uint8_t cmd2, const Bytes &data);
    // Brings the playing position and the cued bit up to now; the lock is held.
    void Update() const;
    int32_t PositionNow() const;

    mutable std::mutex m_;
    std::map<std::string, int32_t> clips_;
    std::vector<std::string> order_;
    std::vector<Command> commands_;
    uint32_t cueDelayMs_ = 0;
    std::vector<uint8_t> free_{1, 2, 3, 4};
    uint32_t extended_ = 0;
    size_t idsPerReply_ = 10;
    bool ignoreSelect_ = false;
    size_t listNext_ = 0;

    uint8_t selected_ = 0;
    mutable uint8_t status1_ = 0x01;
    std::string cued_;
    int32_t cuedSom_ = 0;
    mutable Clock::time_point cueReady_{};
    mutable bool cueing_ = false;
    mutable int32_t position_ = 0;
    mutable Clock::time_point since_{};
    mutable bool playing_ = false;

    int32_t stopIdleMs_ = -1;
    bool idleArmed_ = false;
    Clock::time_point idleAt_{};
    bool newFormIdList_ = false;
    std::string recordClip_;
    int32_t recordFrames_ = 0;

    // Last: its threads call Respond, so it goes first.
    ScriptedPeer peer_;
};

} // namespace kestsim
