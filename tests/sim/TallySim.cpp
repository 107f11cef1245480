#include "tests/sim/TallySim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace kestsim {

namespace {

constexpr size_t kTalleySize = 48;
constexpr uint8_t kCr = 0x0D;

// Three decimal digits at `at`, -1 when they are not there.
int Decimal(const Bytes &bytes, size_t at)
{
    if (at + 3 > bytes.size()) return -1;
    int value = 0;
    for (size_t i = at; i < at + 3; ++i) {
        if (bytes[i] < '0' || bytes[i] > '9') return -1;
        value = value * 10 + (bytes[i] - '0');
    }
    return value;
}

} // namespace

TallySim::TallySim(PtyPair &pty, Model model) : model_(model), peer_(pty)
{
    if (model_ == Model::Talley) {
        peer_.When([](const Bytes &p) { return p.size() >= kTalleySize ? kTalleySize : 0; },
                   [this](const Bytes &request) { return Talley(request); });
    } else {
        peer_.When(
            [](const Bytes &p) -> size_t {
                const auto cr = std::find(p.begin(), p.end(), kCr);
                return cr == p.end() ? 0 : static_cast<size_t>(cr - p.begin()) + 1;
            },
            [this](const Bytes &request) { return Vm3000(request); });
    }
}

void TallySim::Record(const Command &command)
{
    {
        std::lock_guard<std::mutex> lk(m_);
        commands_.push_back(command);
    }
    changed_.notify_all();
}

Answer TallySim::Talley(const Bytes &request)
{
    static const Bytes head{0x02, 0x00, 0x2C, 0x01, 0x01, 0x00, 0x02};
    Command command;
    command.letter = 'T';
    command.input = request[7];
    command.wellFormed =
        std::equal(head.begin(), head.end(), request.begin()) &&
        std::all_of(request.begin() + 8, request.end(), [](uint8_t b) { return b == 0; });
    Record(command);
    return Answer::Silence();
}

Answer TallySim::Vm3000(const Bytes &request)
{
    // From the last 'Z' to CR.
    const auto z = std::find(request.rbegin(), request.rend(), 'Z');
    const Bytes text(z == request.rend() ? request.begin() : z.base() - 1, request.end() - 1);
    Command command;
    command.letter = text.size() >= 2 ? static_cast<char>(text[1]) : '?';
    command.output = Decimal(text, 2);
    const bool hasInput = text.size() == 8;
    command.input = hasInput ? Decimal(text, 5) : -1;
    command.wellFormed = !text.empty() && text[0] == 'Z' && command.output >= 0 &&
                         (text.size() == 5 || (hasInput && command.input >= 0));
    Bytes reply = {'Z', 'N', kCr};
    {
        std::lock_guard<std::mutex> lk(m_);
        if (command.wellFormed && command.letter == 'S' && hasInput) {
            routes_[command.output] = command.input;
            reply = {'Z', 'Y', kCr};
        } else if (command.wellFormed && command.letter == 'R' && !hasInput) {
            char answer[16];
            std::snprintf(answer, sizeof answer, "ZR%03d%03d\r", command.output % 1000,
                          routes_[command.output] % 1000);
            reply = readAck_ ? Bytes{'Z', 'Y', kCr} : Bytes{};
            reply.insert(reply.end(), answer, answer + 9);
        }
    }
    Record(command);
    return peer_.Shape(reply, {'Z', 'N', kCr});
}

std::vector<TallySim::Command> TallySim::Commands() const
{
    std::lock_guard<std::mutex> lk(m_);
    return commands_;
}

bool TallySim::WaitForCommands(size_t count, uint32_t ms) const
{
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms),
                             [&] { return commands_.size() >= count; });
}

void TallySim::SetInput(int output, int input)
{
    std::lock_guard<std::mutex> lk(m_);
    routes_[output] = input;
}

void TallySim::SetReadAck(bool on)
{
    std::lock_guard<std::mutex> lk(m_);
    readAck_ = on;
}

} // namespace kestsim
