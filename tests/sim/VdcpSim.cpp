#include "tests/sim/VdcpSim.h"

#include <algorithm>

namespace kestsim {

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kAck = 0x04;
constexpr uint8_t kNak = 0x05;
constexpr int32_t kFps = 25;

// Where the first complete frame ends in `pending` (0: none yet); bytes before its STX go
// with it.
size_t FindFrame(const Bytes &pending)
{
    const auto stx = std::find(pending.begin(), pending.end(), kStx);
    if (stx == pending.end() || stx + 1 == pending.end()) return 0;
    const size_t at = static_cast<size_t>(stx - pending.begin());
    const size_t end = at + pending[at + 1] + 3u;
    return pending.size() >= end ? end : 0;
}

uint8_t Bcd(int32_t value)
{
    return static_cast<uint8_t>((value / 10) << 4 | value % 10);
}

int32_t FromBcd(uint8_t value)
{
    return (value >> 4) * 10 + (value & 0x0F);
}

int32_t TimecodeAt(const Bytes &data, size_t at)
{
    if (data.size() < at + 4) return 0;
    return FromBcd(data[at + 3]) * 90000 + FromBcd(data[at + 2]) * 1500 +
           FromBcd(data[at + 1]) * kFps + FromBcd(data[at]);
}

} // namespace

VdcpSim::VdcpSim(PtyPair &pty) : peer_(pty)
{
    peer_.When(FindFrame, [this](const Bytes &request) { return Respond(request); });
}

Bytes VdcpSim::Frame(uint8_t cmd1, uint8_t cmd2, const Bytes &data)
{
    Bytes frame{kStx, static_cast<uint8_t>(data.size() + 2), cmd1, cmd2};
    frame.insert(frame.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (size_t i = 2; i < frame.size(); ++i) sum = static_cast<uint8_t>(sum + frame[i]);
    frame.push_back(static_cast<uint8_t>(0x100 - sum));
    return frame;
}

Bytes VdcpSim::Timecode(int32_t frames)
{
    return {Bcd(frames % kFps), Bcd(frames / kFps % 60), Bcd(frames / 1500 % 60),
            Bcd(frames / 90000 % 100)};
}

void VdcpSim::AddClip(const std::string &name, int32_t frames)
{
    std::lock_guard<std::mutex> lk(m_);
    if (!clips_.count(name)) order_.push_back(name);
    clips_[name] = frames;
}

void VdcpSim::SetCueDelay(uint32_t ms)
{
    std::lock_guard<std::mutex> lk(m_);
    cueDelayMs_ = ms;
}

void VdcpSim::SetFreeChannels(std::vector<uint8_t> channels)
{
    std::lock_guard<std::mutex> lk(m_);
    free_ = std::move(channels);
}

void VdcpSim::SetIgnoreSelect(bool ignore)
{
    std::lock_guard<std::mutex> lk(m_);
    ignoreSelect_ = ignore;
}

void VdcpSim::SetExtended(uint32_t value)
{
    std::lock_guard<std::mutex> lk(m_);
    extended_ = value;
}

void VdcpSim::SetIdsPerReply(size_t count)
{
    std::lock_guard<std::mutex> lk(m_);
    idsPerReply_ = std::max<size_t>(count, 1);
}

std::vector<VdcpSim::Command> VdcpSim::Commands() const
{
    std::lock_guard<std::mutex> lk(m_);
    return commands_;
}

void VdcpSim::ClearCommands()
{
    std::lock_guard<std::mutex> lk(m_);
    commands_.clear();
}

size_t VdcpSim::CountOf(uint8_t cmd1, uint8_t cmd2) const
{
    std::lock_guard<std::mutex> lk(m_);
    return static_cast<size_t>(
        std::count_if(commands_.begin(), commands_.end(),
                      [&](const Command &c) { return c.cmd1 == cmd1 && c.cmd2 == cmd2; }));
}

bool VdcpSim::WaitForCount(uint8_t cmd1, uint8_t cmd2, size_t count, uint32_t ms) const
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (CountOf(cmd1, cmd2) < count) {
        if (Clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

uint8_t VdcpSim::Status1() const
{
    std::lock_guard<std::mutex> lk(m_);
    Update();
    return status1_;
}

uint8_t VdcpSim::SelectedChannel() const
{
    std::lock_guard<std::mutex> lk(m_);
    return selected_;
}

int32_t VdcpSim::Position() const
{
    std::lock_guard<std::mutex> lk(m_);
    Update();
    return position_;
}

std::string VdcpSim::CuedClip() const
{
    std::lock_guard<std::mutex> lk(m_);
    return cued_;
}

void VdcpSim::Update() const
{
    const auto now = Clock::now();
    if (playing_) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - since_).count();
        const auto frames = static_cast<int32_t>(ms * kFps / 1000);
        position_ += frames;
        since_ += std::chrono::milliseconds(frames * 1000 / kFps);
    }
    if (cueing_ && now >= cueReady_) {
        cueing_ = false;
        status1_ = 0x81;
    }
}

std::string VdcpSim::ClipOf(uint8_t cmd1, const Bytes &data, size_t &used) const
{
    if (cmd1 & 0x80) {
        const size_t length = data.empty() ? 0 : data[0];
        used = std::min(data.size(), length + 1);
        return data.size() > 1 ? std::string(data.begin() + 1, data.begin() + used) : "";
    }
    used = std::min<size_t>(data.size(), 8);
    std::string name(data.begin(), data.begin() + used);
    name.erase(std::find(name.begin(), name.end(), '\0'), name.end());
    return name;
}

Answer VdcpSim::Respond(const Bytes &request)
{
    const Clock::time_point at = Clock::now();
    const auto stx = std::find(request.begin(), request.end(), kStx);
    const Bytes frame(stx, request.end());
    std::lock_guard<std::mutex> lk(m_);
    uint8_t sum = 0;
    for (size_t i = 2; i < frame.size(); ++i) sum = static_cast<uint8_t>(sum + frame[i]);
    if (frame.size() < 5 || sum != 0) return peer_.Shape({kNak}, {kNak});
    const Bytes data(frame.begin() + 4, frame.end() - 1);
    commands_.push_back({frame[2], frame[3], data, at});
    Update();
    return peer_.Shape(Serve(frame[2], frame[3], data), {kNak});
}

Bytes VdcpSim::Serve(uint8_t cmd1, uint8_t cmd2, const Bytes &data)
{
    const uint8_t group = cmd1 & 0x7F;
    const auto reply = [&](const Bytes &bytes) {
        return Frame(static_cast<uint8_t>(cmd1 | 0x80), static_cast<uint8_t>(cmd2 | 0x80), bytes);
    };
    if (std::optional<Bytes> answer = ServeEncoder(cmd1, cmd2, data)) return *answer;
    size_t used = 0;
    if (group == 0x10) {
        switch (cmd2) {
        case 0x00: // stop
            playing_ = false;
            status1_ = 0x08;
            break;
        case 0x01: // play
        case 0x06: // continue
            if (cmd2 == 0x01 && !cued_.empty()) position_ = cuedSom_;
            playing_ = true;
            since_ = Clock::now();
            status1_ = 0x04;
            break;
        case 0x04: // still
            playing_ = false;
            status1_ = 0x01;
            break;
        case 0x07: { // jog: one signed byte or four bytes big-endian
            int32_t frames = 0;
            if (data.size() == 1)
                frames = static_cast<int8_t>(data[0]);
            else if (data.size() == 4)
                frames = static_cast<int32_t>(static_cast<uint32_t>(data[0]) << 24 | data[1] << 16 |
                                              data[2] << 8 | data[3]);
            playing_ = false;
            position_ += frames;
            status1_ = 0x10;
            break;
        }
        case 0x08: // variable play
            status1_ = 0x20;
            break;
        default:
            break;
        }
        return {kAck};
    }
    if (group == 0x20) {
        switch (cmd2) {
        case 0x22: // select port
            if (!data.empty() && !ignoreSelect_) selected_ = data[0];
            break;
        case 0x24:   // play cue
        case 0x25: { // cue with data
            const std::string clip = ClipOf(cmd1, data, used);
            if (!clips_.count(clip)) return {kNak};
            cued_ = clip;
            cuedSom_ = cmd2 == 0x25 ? TimecodeAt(data, used) : 0;
            playing_ = false;
            position_ = cuedSom_;
            cueing_ = true;
            status1_ = 0x02;
            cueReady_ = Clock::now() + std::chrono::milliseconds(cueDelayMs_);
            Update();
            break;
        }
        case 0x26: // delete
            clips_.erase(ClipOf(cmd1, data, used));
            break;
        default:
            break;
        }
        return {kAck};
    }
    if (group != 0x30) return {kNak};
    switch (cmd2) {
    case 0x01: // open port: refused unless free
        if (data.empty() || std::find(free_.begin(), free_.end(), data[0]) == free_.end())
            return {kNak};
        return reply({1});
    case 0x05: // port status
        return reply({data.empty() ? uint8_t(0) : data[0], status1_, selected_, 0,
                      static_cast<uint8_t>(extended_), static_cast<uint8_t>(extended_ >> 8),
                      static_cast<uint8_t>(extended_ >> 16)});
    case 0x06: { // position
        Bytes out{0x01};
        const Bytes tc = Timecode(position_);
        out.insert(out.end(), tc.begin(), tc.end());
        return reply(out);
    }
    case 0x10: // system status
        if (!data.empty() && data[0] == 0x02) return reply({0x02, 0x12, 0x34});
        {
            Bytes out{0x01};
            const Bytes tc = Timecode(36000);
            out.insert(out.end(), tc.begin(), tc.end());
            return reply(out);
        }
    case 0x11:   // id list
    case 0x02: { // next part of it
        if (cmd2 == 0x11) listNext_ = 0;
        Bytes out{0, 0};
        size_t taken = 0;
        for (; listNext_ < order_.size() && taken < idsPerReply_; ++listNext_, ++taken) {
            std::string id = order_[listNext_].substr(0, 8);
            id.resize(8, '\0');
            out.insert(out.end(), id.begin(), id.end());
        }
        const size_t left = order_.size() - listNext_;
        out[0] = static_cast<uint8_t>(left >> 8);
        out[1] = static_cast<uint8_t>(left);
        return reply(out);
    }
    case 0x14: { // id size
        const auto clip = clips_.find(ClipOf(cmd1, data, used));
        if (clip == clips_.end()) return {kNak};
        return reply(Timecode(clip->second));
    }
    case 0x16: // id request
        return reply({static_cast<uint8_t>(clips_.count(ClipOf(cmd1, data, used)) ? 1 : 0)});
    default:
        return {kNak};
    }
}

// ---- encoders and the NEW-form id list ----

void VdcpSim::SetStopIdleAfter(int32_t ms)
{
    std::lock_guard<std::mutex> lk(m_);
    stopIdleMs_ = ms;
}

void VdcpSim::SetNewFormIdList(bool on)
{
    std::lock_guard<std::mutex> lk(m_);
    newFormIdList_ = on;
}

std::string VdcpSim::RecordClip() const
{
    std::lock_guard<std::mutex> lk(m_);
    return recordClip_;
}

std::optional<Bytes> VdcpSim::ServeEncoder(uint8_t cmd1, uint8_t cmd2, const Bytes &data)
{
    if (idleArmed_ && Clock::now() >= idleAt_) {
        idleArmed_ = false;
        status1_ = 0x01;
    }
    const uint8_t group = cmd1 & 0x7F;
    if (group == 0x10 && cmd2 == 0x00 && stopIdleMs_ >= 0) { // stop, then idle
        playing_ = false;
        status1_ = 0x08;
        idleArmed_ = true;
        idleAt_ = Clock::now() + std::chrono::milliseconds(stopIdleMs_);
        return Bytes{kAck};
    }
    if (group == 0x10 && cmd2 == 0x02) { // record: the clip comes into the list
        if (!recordClip_.empty()) {
            if (!clips_.count(recordClip_)) order_.push_back(recordClip_);
            clips_[recordClip_] = recordFrames_;
        }
        position_ = 0;
        playing_ = true;
        since_ = Clock::now();
        status1_ = 0x04;
        return Bytes{kAck};
    }
    if (group == 0x20 && cmd2 == 0x23) { // record init: cued for recording
        size_t used = 0;
        recordClip_ = ClipOf(cmd1, data, used);
        recordFrames_ = TimecodeAt(data, used);
        playing_ = false;
        cueing_ = true;
        status1_ = 0x02;
        cueReady_ = Clock::now() + std::chrono::milliseconds(cueDelayMs_);
        Update();
        return Bytes{kAck};
    }
    if (newFormIdList_ && (cmd1 & 0x80) && group == 0x30 && cmd2 == 0x11) {
        Bytes out{0, 0};
        for (const std::string &name : order_) {
            out.push_back(static_cast<uint8_t>(name.size()));
            out.insert(out.end(), name.begin(), name.end());
        }
        return Frame(static_cast<uint8_t>(cmd1 | 0x80), static_cast<uint8_t>(cmd2 | 0x80), out);
    }
    return std::nullopt;
}

} // namespace kestsim
