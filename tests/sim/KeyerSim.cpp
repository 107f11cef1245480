#include "tests/sim/KeyerSim.h"

#include <chrono>

namespace kestsim {

namespace {

// The first place where `head` starts a whole command of `size` bytes: its end, else 0.
size_t FindCommand(const Bytes &pending, const Bytes &head, size_t size)
{
    for (size_t i = 0; i + head.size() <= pending.size(); ++i) {
        if (!std::equal(head.begin(), head.end(), pending.begin() + static_cast<long>(i))) continue;
        return i + size <= pending.size() ? i + size : 0;
    }
    return 0;
}

// The command of `size` bytes at the end of the request.
Bytes Tail(const Bytes &request, size_t size)
{
    return Bytes(request.end() - static_cast<long>(size), request.end());
}

int HexDigit(uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

KeyerSim::KeyerSim(PtyPair &pty, Model model) : model_(model), peer_(pty)
{
    switch (model_) {
    case Model::Dsk50d:
        peer_.When(
            [](const Bytes &p) {
                return FindCommand(p, {0x12, 0x03}, 6);
            },
            [this](const Bytes &request) { return Dsk50d(request); });
        break;
    case Model::ShiHui:
        peer_.When(
            [](const Bytes &p) {
                return FindCommand(p, {'C', '1'}, 8);
            },
            [this](const Bytes &request) { return ShiHui(request); });
        break;
    case Model::TrikKey:
        peer_.When(
            [](const Bytes &p) {
                return FindCommand(p, {0x55, 0x00, 0x2E}, 6);
            },
            [this](const Bytes &request) { return TrikKey(request); });
        break;
    }
}

void KeyerSim::Apply(const Command &command)
{
    commands_.push_back(command);
    const Faults faults = peer_.GetFaults();
    if (!faults.nak && !faults.silent) keys_[command.key] = command.on;
    changed_.notify_all();
}

Bytes KeyerSim::Dsk50dStatus() const
{
    Bytes block{0x02, 0x15, 'A'};
    block.resize(11, 0x00);
    for (int key = 0; key < 4; ++key) {
        const auto found = keys_.find(key);
        block.push_back(found != keys_.end() && found->second ? 0x01 : 0x00);
    }
    block.push_back(0x00);
    return block;
}

Answer KeyerSim::Dsk50d(const Bytes &request)
{
    std::lock_guard<std::mutex> lk(m_);
    const Bytes c = Tail(request, 6);
    if ((c[1] ^ c[2] ^ c[3] ^ c[4]) != c[5] || c[2] != 0x01) return Answer::Silence();
    const Bytes refusal = Dsk50dStatus();
    Apply({c[3], c[4] != 0});
    const Bytes done{0x02, 0x01, 'B', 0x43};
    return peer_.Shape(statusReplies_ ? Dsk50dStatus() : done, refusal);
}

Answer KeyerSim::ShiHui(const Bytes &request)
{
    std::lock_guard<std::mutex> lk(m_);
    const Bytes c = Tail(request, 8);
    const int key = HexDigit(c[3]);
    const bool valid = (c[2] == 'D' || c[2] == 'S') && key >= 0 && c[4] == 'N' && c[5] == '0' &&
                       c[6] == '1' && c[7] == '\r';
    if (!valid) return peer_.Shape({'E', 'R', '\r'});
    Apply({key, c[2] == 'D'});
    return peer_.Shape({'O', 'K', '\r'}, {'E', 'R', '\r'});
}

Answer KeyerSim::TrikKey(const Bytes &request)
{
    std::lock_guard<std::mutex> lk(m_);
    const Bytes c = Tail(request, 6);
    if (c[4] != 0x00 || c[5] != 0x01) return Answer::Silence();
    const int key = c[3] + 1;
    Apply({key, !keys_[key]});
    return Answer::Silence();
}

std::vector<KeyerSim::Command> KeyerSim::Commands() const
{
    std::lock_guard<std::mutex> lk(m_);
    return commands_;
}

bool KeyerSim::WaitForCommands(size_t count, uint32_t ms) const
{
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms),
                             [&] { return commands_.size() >= count; });
}

void KeyerSim::ClearCommands()
{
    std::lock_guard<std::mutex> lk(m_);
    commands_.clear();
}

bool KeyerSim::KeyOn(int key) const
{
    std::lock_guard<std::mutex> lk(m_);
    const auto found = keys_.find(key);
    return found != keys_.end() && found->second;
}

void KeyerSim::SetKeyOn(int key, bool on)
{
    std::lock_guard<std::mutex> lk(m_);
    keys_[key] = on;
}

void KeyerSim::SetStatusReplies(bool on)
{
    std::lock_guard<std::mutex> lk(m_);
    statusReplies_ = on;
}

} // namespace kestsim
