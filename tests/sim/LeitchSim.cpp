#include "tests/sim/LeitchSim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace kestsim {

namespace {

constexpr uint8_t kCr = 0x0D;

size_t LineEnd(const Bytes &pending)
{
    const auto cr = std::find(pending.begin(), pending.end(), kCr);
    return cr == pending.end() ? 0 : static_cast<size_t>(cr - pending.begin()) + 1;
}

} // namespace

LeitchSim::LeitchSim(PtyPair &pty, Model model) : model_(model), peer_(pty)
{
    peer_.When(LineEnd, [this](const Bytes &request) { return Take(request); });
}

LeitchSim::Command LeitchSim::Read(const std::string &line) const
{
    Command c;
    c.line = line;
    c.kind = line.empty() ? 0 : line[0];
    char levels[64] = {};
    char letter = 0;
    switch (model_) {
    case Model::Terminal: {
        unsigned destination = 0, source = 0;
        if (std::sscanf(line.c_str(), "@ %c:%63[^/]/%x,%x", &letter, levels, &destination,
                        &source) == 4 &&
            (letter == 'X' || letter == 'P')) {
            c.kind = letter;
            c.levels = levels;
            c.destination = static_cast<int>(destination);
            c.source = static_cast<int>(source);
        }
        break;
    }
    case Model::Analog:
        if (c.kind == 'X')
            std::sscanf(line.c_str(), "X%d:%d,%d", &c.level, &c.source, &c.destination);
        else if (line.size() > 1)
            std::sscanf(line.c_str() + 1, "%d", &c.number);
        break;
    case Model::Panacea:
        std::sscanf(line.c_str(), "X %d:%d,%d", &c.level, &c.source, &c.destination);
        break;
    case Model::Xpr:
        if (std::sscanf(line.c_str(), "l%d;s%d;d%d", &c.level, &c.source, &c.destination) == 3)
            c.kind = 'X';
        break;
    }
    return c;
}

Answer LeitchSim::Take(const Bytes &request)
{
    std::string line(request.begin(), request.end() - 1);
    line.erase(0, line.find_first_not_of('\n'));
    const Command c = Read(line);
    Bytes reply;
    {
        std::lock_guard<std::mutex> lk(m_);
        commands_.push_back(c);
        if (model_ == Model::Xpr) {
            reply = {'>'};
        } else if (model_ == Model::Terminal &&
                   (c.kind == 'X' || c.kind == 'P' || line == "@ B:E")) {
            // The state of the last cross-point, one line per level.
            const auto last = std::find_if(commands_.rbegin(), commands_.rend(),
                                           [](const Command &x) { return x.source >= 0; });
            if (last != commands_.rend()) {
                for (char level : last->levels) {
                    char text[40];
                    std::snprintf(text, sizeof text, "S:%c%X,%X\r", level, last->destination,
                                  last->source);
                    reply.insert(reply.end(), text, text + std::char_traits<char>::length(text));
                }
            }
        }
    }
    changed_.notify_all();
    if (reply.empty()) return Answer::Silence();
    return peer_.Shape(std::move(reply));
}

std::vector<LeitchSim::Command> LeitchSim::Commands() const
{
    std::lock_guard<std::mutex> lk(m_);
    return commands_;
}

bool LeitchSim::WaitForCommands(size_t count, uint32_t ms) const
{
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms),
                             [&] { return commands_.size() >= count; });
}

} // namespace kestsim
