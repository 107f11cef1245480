#include "tests/sim/ChangeoverSim.h"

#include <chrono>

namespace kestsim {

namespace {

constexpr uint8_t kHead422 = 0x55;
constexpr uint8_t kTail422 = 0xAA;
constexpr uint8_t kHead485 = 0xAA;
constexpr uint8_t kMain485 = 5;
constexpr uint8_t kBackup485 = 10;
constexpr uint8_t kQuery485 = 0x55;
constexpr uint8_t kAck485 = 0x00;

// Where the first RS-422 command ends in `pending` (0: none yet).
size_t Find422(const Bytes &pending)
{
    for (size_t i = 0; i + 2 < pending.size(); ++i)
        if (pending[i] == kHead422 && pending[i + 2] == kTail422) return i + 3;
    return 0;
}

// Where the first RS-485 command or query ends in `pending` (0: none yet).
size_t Find485(const Bytes &pending)
{
    for (size_t i = 0; i < pending.size(); ++i) {
        if (pending[i] == kQuery485) return i + 1;
        if (pending[i] == kHead485 && i + 2 < pending.size() && pending[i + 1] == pending[i + 2] &&
            (pending[i + 1] == kMain485 || pending[i + 1] == kBackup485))
            return i + 3;
    }
    return 0;
}

} // namespace

ChangeoverSim::ChangeoverSim(PtyPair &pty, Line line, uint8_t address)
    : line_(line), address_(address), peer_(pty)
{
    if (line_ == Line::Rs422)
        peer_.When(Find422, [this](const Bytes &request) { return Command422(request); });
    else
        peer_.When(Find485, [this](const Bytes &request) { return Command485(request); });
}

Bytes ChangeoverSim::StatusFrame(uint8_t status)
{
    return {kHead422, status, kTail422};
}

Answer ChangeoverSim::Command422(const Bytes &request)
{
    const uint8_t channels = request[request.size() - 2];
    std::lock_guard<std::mutex> lk(m_);
    positions_.push_back(channels == 0 ? 1 : 2);
    changed_.notify_all();
    return peer_.Shape(StatusFrame(channels));
}

Answer ChangeoverSim::Command485(const Bytes &request)
{
    std::lock_guard<std::mutex> lk(m_);
    if (request.back() == kQuery485) {
        ++queries_;
        const uint8_t position = positions_.empty() ? 0 : static_cast<uint8_t>(positions_.back());
        return peer_.Shape({address_, address_, position, position});
    }
    positions_.push_back(request.back() == kMain485 ? 1 : 2);
    changed_.notify_all();
    return peer_.Shape({kAck485});
}

std::vector<int> ChangeoverSim::Positions() const
{
    std::lock_guard<std::mutex> lk(m_);
    return positions_;
}

bool ChangeoverSim::WaitForPositions(size_t count, uint32_t ms) const
{
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms),
                             [&] { return positions_.size() >= count; });
}

int ChangeoverSim::Queries() const
{
    std::lock_guard<std::mutex> lk(m_);
    return queries_;
}

bool ChangeoverSim::SendStatus(uint8_t status)
{
    return peer_.Send(StatusFrame(status));
}

} // namespace kestsim
