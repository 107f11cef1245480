#include "tests/sim/TextSwitchSim.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace kestsim {

namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kEot = 0x04;

// The end of the first frame: after `last` (and, for the BW120, the NUL behind its CR).
size_t FindEnd(const Bytes &pending, uint8_t last, size_t trailer)
{
    const auto it = std::find(pending.begin(), pending.end(), last);
    if (it == pending.end()) return 0;
    const size_t end = static_cast<size_t>(it - pending.begin()) + 1 + trailer;
    return end <= pending.size() ? end : 0;
}

int Number(const std::string &text, int base)
{
    return static_cast<int>(std::strtol(text.c_str(), nullptr, base));
}

using Route = TextSwitchSim::Route;

// The eight characters before CR: " 11" e e "11" c.
Route ReadBw120(const Bytes &request)
{
    Route route;
    const auto cr = std::find(request.begin(), request.end(), kCr);
    const std::string text(cr - std::min<ptrdiff_t>(8, cr - request.begin()), cr);
    if (text.size() == 8) {
        route.input = Number(text.substr(3, 2), 10);
        route.output = Number(text.substr(7, 1), 10);
    }
    return route;
}

Route ReadDlkd(const Bytes &request)
{
    Route route;
    const auto soh = std::find(request.begin(), request.end(), kSoh);
    const std::string text(soh == request.end() ? request.end() : soh + 1, request.end() - 1);
    if (text.size() != 11) {
        route.checkOk = false;
        return route;
    }
    route.levels = text.substr(2, 1);
    route.output = Number(text.substr(4, 2), 16);
    route.input = Number(text.substr(7, 2), 16);
    int check = 0;
    for (size_t i = 0; i < 9; ++i) check ^= static_cast<uint8_t>(text[i]);
    route.checkOk = check == Number(text.substr(9, 2), 16);
    return route;
}

Route ReadQuartz(const Bytes &request)
{
    Route route;
    const std::string text(request.begin(), request.end() - 1);
    const size_t start = text.find(".S");
    const size_t comma = text.rfind(',');
    if (start != std::string::npos && comma != std::string::npos && comma >= start + 5) {
        route.levels = text.substr(start + 2, comma - 3 - start - 2);
        route.output = Number(text.substr(comma - 3, 3), 10);
        route.input = Number(text.substr(comma + 1), 10);
    }
    return route;
}

// What sets a model apart: the byte that ends its frame and how many follow it, how a frame
// reads, and its answer to each (empty: it never answers).
struct ModelRules {
    TextSwitchSim::Model model;
    uint8_t last;
    size_t trailer;
    Route (*read)(const Bytes &request);
    std::string_view answer;
};

constexpr ModelRules kModels[] = {
    {TextSwitchSim::Model::Bw120, kCr, 1, &ReadBw120, ""},
    {TextSwitchSim::Model::Dlkd, kEot, 0, &ReadDlkd, ""},
    {TextSwitchSim::Model::Quartz, kCr, 0, &ReadQuartz, ".A\r"},
};

const ModelRules &RulesOf(TextSwitchSim::Model model)
{
    return *std::find_if(std::begin(kModels), std::end(kModels),
                         [&](const ModelRules &rules) { return rules.model == model; });
}

} // namespace

TextSwitchSim::TextSwitchSim(PtyPair &pty, Model model) : model_(model), peer_(pty)
{
    const ModelRules &rules = RulesOf(model_);
    peer_.When([&rules](const Bytes &p) { return FindEnd(p, rules.last, rules.trailer); },
               [this](const Bytes &request) { return Take(request); });
}

Answer TextSwitchSim::Take(const Bytes &request)
{
    const ModelRules &rules = RulesOf(model_);
    {
        std::lock_guard<std::mutex> lk(m_);
        routes_.push_back(rules.read(request));
    }
    changed_.notify_all();
    if (rules.answer.empty()) return Answer::Silence();
    return peer_.Shape(Bytes(rules.answer.begin(), rules.answer.end()));
}

std::vector<TextSwitchSim::Route> TextSwitchSim::Routes() const
{
    std::lock_guard<std::mutex> lk(m_);
    return routes_;
}

bool TextSwitchSim::WaitForRoutes(size_t count, uint32_t ms) const
{
    std::unique_lock<std::mutex> lk(m_);
    return changed_.wait_for(lk, std::chrono::milliseconds(ms),
                             [&] { return routes_.size() >= count; });
}

void TextSwitchSim::SetSilent(bool silent)
{
    peer_.ChangeFaults([&](Faults &f) { f.silent = silent; });
}

} // namespace kestsim
