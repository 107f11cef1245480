#include "tests/sim/Aa2MatrixSim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kestsim {

namespace {

constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;

std::string CheckOf(const std::string &text)
{
    unsigned x = 0;
    for (unsigned char c : text) x ^= c;
    char check[3];
    std::snprintf(check, sizeof check, "%c%X", '0' + (x >> 4), x & 0x0F);
    return check;
}

Bytes Framed(const std::string &text)
{
    Bytes frame{kSoh};
    const std::string body = text + CheckOf(text);
    frame.insert(frame.end(), body.begin(), body.end());
    frame.push_back(kEot);
    return frame;
}

int Hex(const std::string &text, size_t at)
{
    if (at + 2 > text.size()) return -1;
    char *end = nullptr;
    const std::string digits = text.substr(at, 2);
    const long value = std::strtol(digits.c_str(), &end, 16);
    return end && *end == '\0' ? static_cast<int>(value) : -1;
}

std::string Hex2(int value)
{
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", value & 0xFF);
    return digits;
}

} // namespace

Aa2MatrixSim::Aa2MatrixSim(PtyPair &pty, Model model) : model_(model), peer_(pty)
{
    peer_.When(
        [](const Bytes &pending) -> size_t {
            const auto soh = std::find(pending.begin(), pending.end(), kSoh);
            const auto eot = std::find(soh, pending.end(), kEot);
            return eot == pending.end() ? 0 : static_cast<size_t>(eot - pending.begin()) + 1;
        },
        [this](const Bytes &request) { return Take(request); });
}

Answer Aa2MatrixSim::Take(const Bytes &request)
{
    // The text from the last SOH to the two characters before EOT.
    const auto soh = std::find(request.rbegin(), request.rend(), kSoh).base();
    const std::string body(soh, request.end() - 1);
    Command command;
    command.kind = '?';
    Bytes reply{kAck};
    if (body.size() < 4 ||
        CheckOf(body.substr(0, body.size() - 2)) != body.substr(body.size() - 2)) {
        command.checkOk = false;
        reply = {kNak};
    } else {
        const std::string text = body.substr(0, body.size() - 2);
        std::lock_guard<std::mutex> lk(m_);
        if (text.rfind("AS01N", 0) == 0 && text.size() == 10 && text[9] == 'T') {
            command.kind = 'S';
            const int first = Hex(text, 5);
            const int second = Hex(text, 7);
            command.input = model_ == Model::Aa2 ? first : second;
            command.output = model_ == Model::Aa2 ? second : first;
            routes_[command.output] = command.input;
        } else if (text.rfind("QDN", 0) == 0 && text.size() == 5) {
            command.kind = 'Q';
            command.output = Hex(text, 3);
            const int input = routes_[command.output];
            reply = Framed(model_ == Model::Aa2 ? "DQN" + Hex2(input)
                                                : "DQ" + Hex2(command.output) + Hex2(input) + "N");
        } else {
            reply = {kNak};
        }
    }
    {
        std::lock_guard<std::mutex> lk(m_);
        commands_.push_back(command);
    }
    changed_.notify_all();
    Answer answer = peer_.Shape(reply, {kNak});
    // The peer spoils the last byte of a bad-check answer; a frame keeps its EOT and has its
    // check spoiled instead.
    Bytes &bytes = answer.bytes;
    if (bytes.size() >= 4 && bytes.front() == kSoh && bytes.back() != kEot &&
        bytes.back() == (kEot ^ 0x5A)) {
        bytes.back() = kEot;
        bytes[bytes.size() - 2] = bytes[bytes.size() - 2] == '0' ? '1' : '0';
    }
    return answer;
}

std::vector<Aa2MatrixSim::Command> Aa2MatrixSim::Commands() const
{
    std::lock_guard<std::mutex> lk(m_);
    return commands_;
}

bool Aa2MatrixSim::WaitForCommands(size_t count, uint32_t ms) const
{
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms),
                             [&] { return commands_.size() >= count; });
}

void Aa2MatrixSim::SetInput(int output, int input)
{
    std::lock_guard<std::mutex> lk(m_);
    routes_[output] = input;
}

bool Aa2MatrixSim::Poll()
{
    return peer_.Send({'#'});
}

} // namespace kestsim
