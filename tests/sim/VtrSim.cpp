#include "tests/sim/VtrSim.h"

#include "platform/TimeSource.h"

#include <cstdlib>
#include <thread>

namespace kestsim {

namespace {

uint8_t Sum(const Bytes &bytes)
{
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    return static_cast<uint8_t>(sum);
}

uint8_t Bcd(int value)
{
    return static_cast<uint8_t>((value / 10) << 4 | (value % 10));
}

int FromBcd(uint8_t b)
{
    return (b >> 4) * 10 + (b & 0x0F);
}

// A whole frame at the head of the pending bytes: its length, else 0.
size_t WholeFrame(const Bytes &pending)
{
    if (pending.size() < 2) return 0;
    const size_t length = static_cast<size_t>(pending[0] & 0x0F) + 3;
    return pending.size() >= length ? length : 0;
}

const Bytes kAck{0x10, 0x01, 0x11};

} // namespace

VtrSim::VtrSim(PtyPair &pty) : peer_(pty)
{
    peer_.When(WholeFrame, [this](const Bytes &request) { return Respond(request); });
}

Bytes VtrSim::Frame(uint8_t group, uint8_t cmd2, const Bytes &data)
{
    Bytes frame;
    frame.reserve(data.size() + 3);
    frame.push_back(static_cast<uint8_t>((group & 0xF0) | data.size()));
    frame.push_back(cmd2);
    for (const uint8_t byte : data) frame.push_back(byte);
    frame.push_back(Sum(frame));
    return frame;
}

uint64_t VtrSim::NowMs()
{
    return plat::MonotonicNanos() / 1000000u;
}

int32_t VtrSim::PositionLocked() const
{
    if (!playing_) return position_;
    return position_ + static_cast<int32_t>((NowMs() - playFromMs_) * 25 / 1000);
}

Bytes VtrSim::Reply(const Command &c)
{
    if (c.Is(0x00, 0x11)) return Frame(0x10, 0x11, {model_[0], model_[1]});
    if (c.Is(0x61, 0x20)) {
        Bytes status(16, 0);
        if (!tape_) status[0] |= 0x20;
        if (playing_) status[1] |= 0x01;
        if (!playing_) status[1] |= 0x20;
        if (cueComplete_) status[2] |= 0x01;
        if (byte4_) status[4] |= 0x01;
        const int first = c.data.empty() ? 0 : c.data[0] >> 4;
        const int count = c.data.empty() ? 0 : c.data[0] & 0x0F;
        return Frame(0x70, 0x20, Bytes(status.begin() + first, status.begin() + first + count));
    }
    if (c.Is(0x61, 0x0C)) {
        int32_t frames = PositionLocked();
        if (frames < 0) frames += 2160000;
        Bytes time{Bcd(frames % 25), Bcd(frames / 25 % 60), Bcd(frames / 1500 % 60),
                   Bcd(frames / 90000 % 24)};
        if (badTimecodes_ > 0) {
            --badTimecodes_;
            time[3] = 0x25;
        }
        if (timecodeFlags_) {
            time[0] |= 0xC0;
            time[1] |= 0x80;
            time[2] |= 0x80;
            time[3] |= 0xC0;
        }
        return Frame(0x70, c.data.empty() || c.data[0] == 0x01 ? 0x04 : 0x00, time);
    }
    if (c.Is(0x60, 0x36)) return Frame(0x70, 0x36, {0x01});

    if (c.Is(0x20, 0x01)) {
        if (!playing_) playFromMs_ = NowMs();
        playing_ = tape_;
    } else if (c.Is(0x20, 0x00) || c.Is(0x20, 0x05)) {
        position_ = PositionLocked();
        playing_ = false;
    } else if (c.Is(0x20, 0x0F)) {
        playing_ = false;
        tape_ = false;
    } else if (c.Is(0x24, 0x31) && c.data.size() == 4) {
        playing_ = false;
        position_ =
            ((FromBcd(c.data[3]) * 60 + FromBcd(c.data[2])) * 60 + FromBcd(c.data[1])) * 25 +
            FromBcd(c.data[0]);
        cueComplete_ = cuesComplete_;
    }
    return kAck;
}

Answer VtrSim::Respond(const Bytes &request)
{
    Command command;
    command.cmd1 = request[0];
    command.cmd2 = request[1];
    command.data.assign(request.begin() + 2, request.end() - 1);
    command.tick = plat::GetTickCount();
    std::lock_guard<std::mutex> lk(m_);
    commands_.push_back(command);
    // A silent or refusing machine does not carry the command out.
    const Faults faults = peer_.GetFaults();
    if (faults.silent) return peer_.Shape({});
    const Bytes nak = Frame(0x10, 0x12, {0x80});
    bool refused = faults.nak;
    for (const auto &[group, cmd2] : refused_) refused = refused || command.Is(group, cmd2);
    return peer_.Shape(refused ? nak : Reply(command), nak);
}

void VtrSim::SetTape(bool present)
{
    std::lock_guard<std::mutex> lk(m_);
    tape_ = present;
}

void VtrSim::SetPosition(int32_t frames)
{
    std::lock_guard<std::mutex> lk(m_);
    position_ = frames;
    playFromMs_ = NowMs();
}

void VtrSim::SetCueComplete(bool on)
{
    std::lock_guard<std::mutex> lk(m_);
    cueComplete_ = on;
}

void VtrSim::SetCuesComplete(bool on)
{
    std::lock_guard<std::mutex> lk(m_);
    cuesComplete_ = on;
}

void VtrSim::SetStatusByte4(bool on)
{
    std::lock_guard<std::mutex> lk(m_);
    byte4_ = on;
}

void VtrSim::SetModel(uint8_t high, uint8_t low)
{
    std::lock_guard<std::mutex> lk(m_);
    model_[0] = high;
    model_[1] = low;
}

bool VtrSim::Playing() const
{
    std::lock_guard<std::mutex> lk(m_);
    return playing_;
}

int32_t VtrSim::Position() const
{
    std::lock_guard<std::mutex> lk(m_);
    return PositionLocked();
}

void VtrSim::SetSilent(bool on)
{
    peer_.ChangeFaults([&](Faults &f) { f.silent = on; });
}

void VtrSim::SetNak(bool on)
{
    peer_.ChangeFaults([&](Faults &f) { f.nak = on; });
}

void VtrSim::SetRefused(uint8_t cmd1, uint8_t cmd2, bool on)
{
    const std::pair<uint8_t, uint8_t> kind{static_cast<uint8_t>(cmd1 & 0xF0), cmd2};
    std::lock_guard<std::mutex> lk(m_);
    std::erase(refused_, kind);
    if (on) refused_.push_back(kind);
}

void VtrSim::SetDelay(uint32_t ms)
{
    peer_.ChangeFaults([&](Faults &f) { f.delayMs = ms; });
}

void VtrSim::SetSplit(size_t pieceSize, uint32_t gapMs)
{
    peer_.ChangeFaults([&](Faults &f) {
        f.chunkSize = pieceSize;
        f.gapMs = gapMs;
    });
}

void VtrSim::SetBadChecksum(bool on)
{
    peer_.ChangeFaults([&](Faults &f) { f.badCheck = on; });
}

void VtrSim::SetGarbage(Bytes garbage)
{
    peer_.ChangeFaults([&](Faults &f) { f.garbage = garbage; });
}

void VtrSim::SetBadTimecodes(int count)
{
    std::lock_guard<std::mutex> lk(m_);
    badTimecodes_ = count;
}

void VtrSim::SetTimecodeFlags(bool on)
{
    std::lock_guard<std::mutex> lk(m_);
    timecodeFlags_ = on;
}

std::vector<VtrSim::Command> VtrSim::Commands() const
{
    std::lock_guard<std::mutex> lk(m_);
    return commands_;
}

size_t VtrSim::Count(uint8_t cmd1, uint8_t cmd2) const
{
    std::lock_guard<std::mutex> lk(m_);
    size_t n = 0;
    for (const Command &c : commands_) n += c.Is(cmd1, cmd2) ? 1 : 0;
    return n;
}

void VtrSim::ClearCommands()
{
    std::lock_guard<std::mutex> lk(m_);
    commands_.clear();
}

bool VtrSim::WaitFor(uint8_t cmd1, uint8_t cmd2, size_t count, uint32_t ms) const
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Count(cmd1, cmd2) < count) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace kestsim
