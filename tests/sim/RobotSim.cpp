#include "tests/sim/RobotSim.h"

namespace kestsim {

namespace {

const Bytes kDone = {'G', 0x01, 'C', 'D'};
const Bytes kRefused = {'G', 0x01, 'M', 'N'};

std::string CellName(uint8_t row, uint8_t d1, uint8_t d2)
{
    return std::string{static_cast<char>(row), static_cast<char>(d1), static_cast<char>(d2)};
}

bool Starts(const Bytes &body, const std::string &prefix)
{
    return body.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), body.begin());
}

} // namespace

RobotSim::RobotSim(PtyPair &pty) : peer_(pty)
{
    // A frame is its length byte, that many bytes and a checksum.
    peer_.When(
        [](const Bytes &pending) -> size_t {
            if (pending.empty()) return 0;
            const size_t need = pending[0] + 2u;
            return pending.size() >= need ? need : 0;
        },
        [this](const Bytes &request) { return Respond(request); });
}

Bytes RobotSim::Frame(const Bytes &body)
{
    Bytes out{static_cast<uint8_t>(body.size())};
    uint8_t sum = static_cast<uint8_t>(body.size());
    for (uint8_t b : body) {
        out.push_back(b);
        sum = static_cast<uint8_t>(sum + b);
    }
    out.push_back(sum);
    return out;
}

void RobotSim::SetShelf(const std::string &cell, const std::string &label)
{
    std::lock_guard<std::mutex> lk(m_);
    shelf_[cell] = label;
}
void RobotSim::SetBay(int bay, const std::string &label)
{
    std::lock_guard<std::mutex> lk(m_);
    bays_[bay] = label;
}
std::string RobotSim::Shelf(const std::string &cell) const
{
    std::lock_guard<std::mutex> lk(m_);
    auto it = shelf_.find(cell);
    return it == shelf_.end() ? "" : it->second;
}
std::string RobotSim::Bay(int bay) const
{
    std::lock_guard<std::mutex> lk(m_);
    return bays_[bay];
}
void RobotSim::SetPresence(uint32_t map)
{
    std::lock_guard<std::mutex> lk(m_);
    presence_ = map;
}
void RobotSim::SetSilent(bool on)
{
    peer_.ChangeFaults([&](Faults &f) { f.silent = on; });
}
void RobotSim::SetRefuse(bool on)
{
    peer_.ChangeFaults([&](Faults &f) { f.nak = on; });
}
void RobotSim::SetBusy(bool on)
{
    std::lock_guard<std::mutex> lk(m_);
    busy_ = on;
}
void RobotSim::SetGripperFails(bool on)
{
    std::lock_guard<std::mutex> lk(m_);
    gripperFails_ = on;
}
void RobotSim::SetStuck(bool on)
{
    std::lock_guard<std::mutex> lk(m_);
    stuck_ = on;
}

std::vector<Bytes> RobotSim::Commands() const
{
    std::lock_guard<std::mutex> lk(m_);
    return commands_;
}

size_t RobotSim::Count(const std::string &prefix) const
{
    size_t n = 0;
    for (const Bytes &body : Commands())
        if (Starts(body, prefix)) ++n;
    return n;
}

void RobotSim::ClearCommands()
{
    std::lock_guard<std::mutex> lk(m_);
    commands_.clear();
}

Answer RobotSim::Data(const Bytes &data) const
{
    Bytes reply{'G'};
    const Bytes frame = Frame(data);
    reply.insert(reply.end(), frame.begin(), frame.end());
    return Answer::Of(reply);
}

Bytes RobotSim::Value(uint32_t a, uint32_t b, bool two) const
{
    Bytes out;
    for (uint32_t v : {a, b}) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        if (!two) break;
    }
    return out;
}

Answer RobotSim::Respond(const Bytes &request)
{
    Bytes body(request.begin() + 1, request.end() - 1);
    std::lock_guard<std::mutex> lk(m_);
    commands_.push_back(body);
    // A silent or refusing robot does not carry the command out.
    const Faults faults = peer_.GetFaults();
    if (faults.silent) return peer_.Shape({});
    if (busy_) return peer_.Shape({'B'});
    if (faults.nak) return peer_.Shape({}, kRefused);
    return peer_.Shape(Serve(body).bytes);
}

Answer RobotSim::Serve(const Bytes &body)
{

    if (Starts(body, "?T")) return Data(Value(stuck_ ? 0x02 : 0, 0, true));
    if (Starts(body, "?L")) return Data(Value(presence_, 0, false));
    if (Starts(body, "?R") && body.size() == 5) {
        auto it = shelf_.find(CellName(body[2], body[3], body[4]));
        std::string label = it == shelf_.end() || it->second.empty() ? "-9999999" : it->second;
        label.resize(8, ' ');
        return Data(Bytes(label.begin(), label.end()));
    }
    if (body.size() == 1 && body[0] == '?') return Data(Value(!grippers_[0].empty(), 0, true));
    if (Starts(body, "?G")) return Data(Value(!grippers_[1].empty(), 0, true));
    if (Starts(body, "S ") && body.size() == 7) {
        const int g = body[5] == 'U' ? 0 : 1;
        std::string *cell = body[2] == 'L' ? &bays_[(body[4] - '0') % 4]
                                           : &shelf_[CellName(body[2], body[3], body[4])];
        const bool fails = gripperFails_ && body[2] != 'L'; // picks from the bays still work
        if (body[6] == 'P' && !fails) std::swap(*cell, grippers_[g]);
        if (body[6] == 'M' && cell->empty()) std::swap(*cell, grippers_[g]);
        return Answer::Of(kDone);
    }
    return Answer::Of(kDone);
}

} // namespace kestsim
