#include "tests/sim/ProductionSwitcherSim.h"

#include <algorithm>
#include <chrono>

namespace kestsim {

namespace {

constexpr uint8_t kStx = 0x02;

uint8_t Low8(unsigned value)
{
    return static_cast<uint8_t>(value & 0xFF);
}

uint8_t Negated(const Bytes &bytes, size_t from)
{
    unsigned sum = 0;
    for (size_t i = from; i < bytes.size(); ++i) sum += bytes[i];
    return Low8(0x100u - (sum & 0xFF));
}

// TTV9920: the link test, or length 01 command ... of length + 1 bytes.
size_t FindTtv(const Bytes &pending)
{
    for (size_t i = 0; i + 1 < pending.size(); ++i) {
        if (pending[i] == 0x00 && pending[i + 1] == 0x30)
            return i + 4 <= pending.size() ? i + 4 : 0;
        if (pending[i] >= 2 && pending[i + 1] == 0x01)
            return i + pending[i] + 1u <= pending.size() ? i + pending[i] + 1u : 0;
    }
    return 0;
}

// M21: 02 n, then n + 1 more bytes.
size_t FindM21(const Bytes &pending)
{
    for (size_t i = 0; i + 1 < pending.size(); ++i) {
        if (pending[i] != kStx) continue;
        const size_t end = i + pending[i + 1] + 3u;
        return end <= pending.size() ? end : 0;
    }
    return 0;
}

// M2100: 02, count of two bytes, count bytes, check.
size_t FindM2100(const Bytes &pending)
{
    for (size_t i = 0; i + 2 < pending.size(); ++i) {
        if (pending[i] != kStx) continue;
        const size_t end = i + 4u + (pending[i + 1] << 8 | pending[i + 2]);
        return end <= pending.size() ? end : 0;
    }
    return 0;
}

} // namespace

Bytes M21SimFrame(uint8_t command, const Bytes &data)
{
    Bytes frame{kStx, Low8(data.size() + 1), command};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(Negated(frame, 1));
    return frame;
}

Bytes M2100SimPacket(const Bytes &blocks)
{
    Bytes packet{kStx, Low8(blocks.size() >> 8), Low8(blocks.size())};
    packet.insert(packet.end(), blocks.begin(), blocks.end());
    packet.push_back(Negated(packet, 1));
    return packet;
}

ProductionSwitcherSim::ProductionSwitcherSim(PtyPair &pty, Model model) : model_(model), peer_(pty)
{
    switch (model_) {
    case Model::Ttv9920:
        peer_.When(FindTtv, [this](const Bytes &request) { return Ttv(request); });
        break;
    case Model::M21:
        peer_.When(FindM21, [this](const Bytes &request) { return M21(request); });
        break;
    case Model::M2100:
        peer_.When(FindM2100, [this](const Bytes &request) { return M2100(request); });
        break;
    }
}

void ProductionSwitcherSim::Record(Command command)
{
    commands_.push_back(std::move(command));
    changed_.notify_all();
}

Answer ProductionSwitcherSim::Ttv(const Bytes &request)
{
    std::lock_guard<std::mutex> lk(m_);
    const Bytes refusal{0x01, 0x00};
    size_t at = 0;
    while (!(request[at] == 0x00 && request[at + 1] == 0x30) && request[at + 1] != 0x01) ++at;
    if (request[at] == 0x00) return peer_.Shape({0x01, 0x80}, refusal);
    const uint8_t command = request[at + 2];
    const Bytes data(request.begin() + static_cast<long>(at) + 3, request.end());
    Record({command, data, false});
    if (command == 0x41 || command == 0x42)
        return peer_.Shape(
            {0x05, 0x01, 0x90, Low8(command == 0x41 ? program_ : preset_), 0x00, 0x00}, refusal);
    if (!peer_.GetFaults().nak && !peer_.GetFaults().silent) {
        if (command == 0xC1 && !data.empty()) program_ = data[0];
        if (command == 0xC2 && !data.empty()) preset_ = data[0];
        if (command == 0xC6) std::swap(program_, preset_);
    }
    return peer_.Shape({0x01, 0x80}, refusal);
}

Answer ProductionSwitcherSim::M21(const Bytes &request)
{
    std::lock_guard<std::mutex> lk(m_);
    size_t at = 0;
    while (!(request[at] == kStx && at + request[at + 1] + 3u == request.size())) ++at;
    const bool preamble = at >= 2 && request[at - 2] == 0x82 && request[at - 1] == 0x80;
    const Bytes data(request.begin() + static_cast<long>(at) + 3, request.end() - 1);
    Record({request[at + 2], data, preamble});
    return peer_.Shape({0x04}, {0x08});
}

Answer ProductionSwitcherSim::M2100(const Bytes &request)
{
    std::lock_guard<std::mutex> lk(m_);
    size_t at = 0;
    while (!(request[at] == kStx &&
             at + 4u + (request[at + 1] << 8 | request[at + 2]) == request.size()))
        ++at;
    const size_t end = request.size() - 1;
    Bytes items;
    bool query = false;
    for (size_t b = at + 3; b + 3 <= end;) {
        const int type = request[b];
        const size_t length = request[b + 1] << 8 | request[b + 2];
        const size_t stop = std::min(end, b + 3 + length);
        const Bytes payload(request.begin() + static_cast<long>(b) + 3,
                            request.begin() + static_cast<long>(stop));
        Record({type, payload, false});
        for (size_t c = 0; c < payload.size();) {
            const uint8_t command = payload[c];
            if (type == 2) {
                query = true;
                if (command == 0x06 && c + 2 < payload.size()) {
                    const int bus = payload[c + 1] << 8 | payload[c + 2];
                    items.insert(items.end(),
                                 {0x06, 0x00, Low8(bus % 2 ? 1 : 2), Low8(busSources_[bus]), 0x00});
                    c += 3;
                    continue;
                }
                if (command == 0x0D) items.insert(items.end(), {0x0D, status_});
                if (command == 0x0C) items.insert(items.end(), {0x0C, keyMask_});
                if (command == 0x0B) items.insert(items.end(), {0x0B, keyMask_});
                ++c;
                continue;
            }
            // A set block: 06 takes four data bytes, 04 three, the rest one.
            const size_t size = command == 0x06 ? 5 : command == 0x04 ? 4 : 2;
            if (c + size > payload.size()) break;
            const bool applies = !peer_.GetFaults().nak && !peer_.GetFaults().silent;
            if (applies && command == 0x06)
                busSources_[payload[c + 1] << 8 | payload[c + 2]] = payload[c + 3];
            if (applies && command == 0x0B) keyMask_ = payload[c + 1];
            c += size;
        }
        b = stop;
    }
    if (!query) return peer_.Shape({0x04}, {0x05});
    Bytes block{0x03, Low8(items.size() >> 8), Low8(items.size())};
    block.insert(block.end(), items.begin(), items.end());
    return peer_.Shape(M2100SimPacket(block), {0x05});
}

std::vector<ProductionSwitcherSim::Command> ProductionSwitcherSim::Commands() const
{
    std::lock_guard<std::mutex> lk(m_);
    return commands_;
}

bool ProductionSwitcherSim::WaitForCommands(size_t count, uint32_t ms) const
{
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms),
                             [&] { return commands_.size() >= count; });
}

void ProductionSwitcherSim::ClearCommands()
{
    std::lock_guard<std::mutex> lk(m_);
    commands_.clear();
}

int ProductionSwitcherSim::Program() const
{
    std::lock_guard<std::mutex> lk(m_);
    return program_;
}

int ProductionSwitcherSim::Preset() const
{
    std::lock_guard<std::mutex> lk(m_);
    return preset_;
}

void ProductionSwitcherSim::SetEntries(int program, int preset)
{
    std::lock_guard<std::mutex> lk(m_);
    program_ = program;
    preset_ = preset;
}

void ProductionSwitcherSim::SetStatus(uint8_t status)
{
    std::lock_guard<std::mutex> lk(m_);
    status_ = status;
}

void ProductionSwitcherSim::SetKeyMask(uint8_t mask)
{
    std::lock_guard<std::mutex> lk(m_);
    keyMask_ = mask;
}

uint8_t ProductionSwitcherSim::KeyMask() const
{
    std::lock_guard<std::mutex> lk(m_);
    return keyMask_;
}

int ProductionSwitcherSim::BusSource(int bus) const
{
    std::lock_guard<std::mutex> lk(m_);
    const auto found = busSources_.find(bus);
    return found == busSources_.end() ? -1 : found->second;
}

bool ProductionSwitcherSim::SendMessage(uint8_t command, const Bytes &data)
{
    return peer_.Send(M21SimFrame(command, data));
}

} // namespace kestsim
