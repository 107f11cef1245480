#include "tests/sim/SwitcherSim.h"

#include <chrono>
#include <algorithm>
#include <iterator>

namespace kestsim {

namespace {

constexpr uint8_t kApsHead = 0x55;
constexpr uint8_t kOnyxTake = 0x21;
constexpr uint8_t kOnyxMatrix = 0x23;
constexpr size_t kOnyxTakeLength = 7;

uint8_t Low8(unsigned value)
{
    return static_cast<uint8_t>(value & 0xFF);
}

// BDS1602: a query of two bytes or a command of three, by the head's top bits.
size_t FindBds(const Bytes &pending)
{
    for (size_t i = 0; i < pending.size(); ++i) {
        const uint8_t head = pending[i] & 0xF0;
        if (head == 0xC0 && i + 1 < pending.size()) return i + 2;
        if (head == 0xA0 && i + 2 < pending.size()) return i + 3;
        if (head == 0xC0 || head == 0xA0) return 0;
    }
    return 0;
}

// APS1602: 55, length byte, then n + 2 more.
size_t FindAps(const Bytes &pending)
{
    for (size_t i = 0; i + 1 < pending.size(); ++i) {
        if (pending[i] != kApsHead) continue;
        const size_t end = i + 2 + (pending[i + 1] & 0x0F) + 2;
        return end <= pending.size() ? end : 0;
    }
    return 0;
}

// ONYX: a take frame of seven bytes; other bytes (poll answers) are left to Received.
size_t FindOnyx(const Bytes &pending)
{
    for (size_t i = 0; i < pending.size(); ++i)
        if (pending[i] == kOnyxTake)
            return i + kOnyxTakeLength <= pending.size() ? i + kOnyxTakeLength : 0;
    return 0;
}

Bytes ApsReply(uint8_t high, Bytes body)
{
    unsigned sum = high;
    for (uint8_t b : body) sum += b;
    Bytes reply{static_cast<uint8_t>(high << 4 | ((body.size() - 1) & 0x0F))};
    std::copy(body.begin(), body.end(), std::back_inserter(reply));
    reply.push_back(Low8(sum));
    return reply;
}

} // namespace

SwitcherSim::SwitcherSim(PtyPair &pty, Model model, uint8_t unit)
    : model_(model), unit_(unit), peer_(pty)
{
    switch (model_) {
    case Model::Bds1602:
        peer_.When(FindBds, [this](const Bytes &request) { return Bds(request); });
        break;
    case Model::Aps1602:
        peer_.When(FindAps, [this](const Bytes &request) { return Aps(request); });
        break;
    case Model::Onyx:
        peer_.When(FindOnyx, [this](const Bytes &request) { return Onyx(request); });
        break;
    }
}

void SwitcherSim::Record(Command command)
{
    commands_.push_back(command);
    changed_.notify_all();
}

Answer SwitcherSim::Bds(const Bytes &request)
{
    std::lock_guard<std::mutex> lk(m_);
    const size_t at = request.size() >= 3 && (request[request.size() - 3] & 0xF0) == 0xA0
                          ? request.size() - 3
                          : request.size() - 2;
    Bytes reply;
    if ((request[at] & 0xF0) == 0xC0) {
        ++queries_;
        reply = {static_cast<uint8_t>(0xA0 | unit_), 0x00, Low8(program_)};
    } else {
        const int bus = request[at + 1], source = request[at + 2];
        (bus == 0 ? program_ : preset_) = source;
        Record({bus, source, 0});
        reply = {request[at], request[at + 1], request[at + 2]};
    }
    return peer_.Shape(reply);
}

Answer SwitcherSim::Aps(const Bytes &request)
{
    std::lock_guard<std::mutex> lk(m_);
    size_t at = 0;
    while (request[at] != kApsHead) ++at;
    const uint8_t command = request[at + 2];
    Bytes reply;
    if (command == 0x21 || command == 0x20) {
        ++queries_;
        reply = ApsReply(7, {command, Low8(command == 0x21 ? program_ : preset_)});
    } else {
        const int source = request[at + 3];
        if (!peer_.GetFaults().nak) (command == 0x10 ? program_ : preset_) = source;
        Record({command, source, 0});
        reply = ApsReply(1, {0x01});
    }
    return peer_.Shape(reply, ApsReply(1, {0x02}));
}

Answer SwitcherSim::Onyx(const Bytes &request)
{
    std::lock_guard<std::mutex> lk(m_);
    const uint8_t *take = request.data() + request.size() - kOnyxTakeLength;
    Record({0, take[4], take[5]});
    return peer_.Shape(
        {kOnyxMatrix, take[1], take[2], Low8((take[3] & 0x0F) | 0x01), take[4], take[5], 0x00});
}

std::vector<SwitcherSim::Command> SwitcherSim::Commands() const
{
    std::lock_guard<std::mutex> lk(m_);
    return commands_;
}

bool SwitcherSim::WaitForCommands(size_t count, uint32_t ms) const
{
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms),
                             [&] { return commands_.size() >= count; });
}

int SwitcherSim::Queries() const
{
    std::lock_guard<std::mutex> lk(m_);
    return queries_;
}

void SwitcherSim::SetProgram(int source)
{
    std::lock_guard<std::mutex> lk(m_);
    program_ = source;
}

void SwitcherSim::SetPreset(int source)
{
    std::lock_guard<std::mutex> lk(m_);
    preset_ = source;
}

bool SwitcherSim::Poll()
{
    return peer_.Send({kOnyxMatrix, Low8(unit_ + 0x80u)});
}

Bytes SwitcherSim::PollAnswers() const
{
    // Everything the line sent that is not a take frame is a poll answer.
    Bytes answers;
    const Bytes received = peer_.Received();
    for (size_t i = 0; i < received.size();) {
        if (received[i] == kOnyxTake && i + kOnyxTakeLength <= received.size()) {
            i += kOnyxTakeLength;
            continue;
        }
        answers.push_back(received[i++]);
    }
    return answers;
}

} // namespace kestsim
