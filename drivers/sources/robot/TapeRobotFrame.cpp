#include "drivers/sources/robot/TapeRobotFrame.h"

#include <algorithm>
#include <array>

namespace taperobot {

namespace {

constexpr std::array<CommandDef, 46> kCommands{{
    {1, {0x40, 0x27}, 2, 0, 1000, 3, false},
    {2, {0x40}, 1, 0, 1000, 3, false},
    {3, {0x48}, 1, 0, 30000, 3, false},
    {4, {0x5F}, 1, 0, 1000, 3, false},
    {5, {0x53, 0x20, 0x4C, 0x30}, 4, 3, 30000, 3, false},
    {6, {0x53, 0x20}, 2, 5, 30000, 3, false},
    {7, {0x41}, 1, 0, 10000, 3, false},
    {8, {0x42}, 1, 0, 10000, 3, false},
    {9, {0x40}, 1, 2, 10000, 3, false},
    {10, {0x40, 0x5F}, 2, 0, 1000, 255, false},
    {11, {0x40, 0x53, 0x44}, 3, 0, 1000, 3, false},
    {12, {0x40, 0x53}, 2, 0, 1000, 3, false},
    {13, {0x40, 0x26, 0x50}, 3, 0, 5000, 3, false},
    {14, {0x40, 0x26, 0x52}, 3, 0, 200, 10, false},
    {15, {0x2A, 0x00}, 2, 7, 1000, 3, false},
    {16, {0x40, 0x5E}, 2, 1, 2000, 3, false},
    {17, {0x40, 0x23}, 2, 1, 1000, 3, false},
    {18, {0x40, 0x24}, 2, 2, 1000, 3, false},
    {19, {0x40, 0x21}, 2, 1, 1000, 3, false},
    {20, {0x40, 0x5A}, 2, 2, 1000, 3, false},
    {21, {0x40, 0x7E}, 2, 0, 1000, 3, false},
    {22, {0x40, 0x25}, 2, 0, 1000, 3, false},
    {23, {0x40, 0x5B}, 2, 1, 20000, 3, false},
    {24, {0x40, 0x33}, 2, 2, 1000, 3, false},
    {25, {0x3F}, 1, 0, 2000, 10, false},
    {26, {0x3F, 0x54}, 2, 0, 2000, 10, false},
    {27, {0x3F, 0x47}, 2, 0, 2000, 10, false},
    {28, {0x3F, 0x52}, 2, 3, 1000, 10, false},
    {29, {0x3F}, 1, 1, 1000, 3, false},
    {30, {0x3F, 0x33}, 2, 1, 1000, 3, false},
    {31, {0x3F, 0x32}, 2, 0, 1000, 3, false},
    {32, {0x3F, 0x4C}, 2, 0, 1000, 6, false},
    {33, {0x02, 0x00, 0x01, 0x03}, 4, 0, 0, 0, true},
    {34, {0x02, 0x00, 0x00, 0x02}, 4, 0, 0, 0, true},
    {35, {0x02, 0x01, 0x01, 0x04}, 4, 0, 0, 0, true},
    {36, {0x02, 0x01, 0x00, 0x03}, 4, 0, 0, 0, true},
    {37, {0x02, 0x02, 0x01, 0x05}, 4, 0, 0, 0, true},
    {38, {0x02, 0x02, 0x00, 0x04}, 4, 0, 0, 0, true},
    {39, {0x01, 0x03, 0x04}, 3, 0, 0, 0, true},
    {40, {0x02, 0x05, 0x01, 0x07}, 4, 0, 0, 0, true},
    {41, {0x02, 0x05, 0x00, 0x06}, 4, 0, 0, 0, true},
    {42, {0x01, 0x06, 0x07}, 3, 0, 0, 0, true},
    {43, {0x02, 0x08, 0x00, 0x0A}, 4, 0, 0, 0, true},
    {44, {0x02, 0x08, 0x01, 0x0B}, 4, 0, 0, 0, true},
    {45, {0x01, 0x04, 0x05}, 3, 0, 0, 0, true},
    {46, {0x01, 0x05, 0x06}, 3, 0, 0, 0, true},
}};

// "G" 01 "xy" or 01 "xy": the robot's short answers.
bool IsShort(const uint8_t *block, size_t n, uint8_t x, uint8_t y)
{
    if (n == 4 && block[0] == 'G') {
        ++block;
        --n;
    }
    return n == 3 && block[0] == 0x01 && block[1] == x && block[2] == y;
}

} // namespace

const CommandDef *FindCommand(int32_t id)
{
    if (id < 1 || id > static_cast<int32_t>(kCommands.size())) return nullptr;
    return &kCommands[static_cast<size_t>(id - 1)];
}

bool HasReplyData(int32_t id)
{
    return id == 10 || id == 14 || (id >= 25 && id <= 32);
}

int BuildFrame(const uint8_t *body, int n, uint8_t *out)
{
    if (n < 0 || n > kMaxFrame - 2) return 0;
    uint8_t sum = static_cast<uint8_t>(n);
    out[0] = static_cast<uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        out[1 + i] = body[i];
        sum = static_cast<uint8_t>(sum + body[i]);
    }
    out[n + 1] = sum;
    return n + 2;
}

int BuildCommand(int32_t id, const uint8_t *params, int n, uint8_t *out)
{
    const CommandDef *def = FindCommand(id);
    if (!def || def->fromRobot || n != def->nParams) return 0;
    uint8_t body[kMaxFrame];
    std::copy(def->chars, def->chars + def->nChars, body);
    if (n > 0) std::copy(params, params + n, body + def->nChars);
    return BuildFrame(body, def->nChars + n, out);
}

int32_t MatchMessage(const uint8_t *data, size_t n)
{
    if (n == 0) return 0;
    const size_t need = data[0] == 0x02 ? 4 : 3;
    if (n < need) return 0;
    for (int32_t id = kFirstMessage; id <= kLastMessage; ++id) {
        const CommandDef &def = kCommands[static_cast<size_t>(id - 1)];
        if (def.nChars == need && std::equal(def.chars, def.chars + need, data)) return id;
    }
    return 0;
}

Classified ClassifyReply(int32_t pending, const uint8_t *block, size_t n)
{
    Classified out;
    const CommandDef *def = FindCommand(pending);
    if (n == 1) {
        if (block[0] == 'B') {
            out.result = kBusy;
        } else if (block[0] == 'T') {
            out.result = kT;
        } else if (block[0] == 'G' && HasReplyData(pending)) {
            out.result = kGo;
            out.waitOn = true;
        }
    } else if (n == 2 || (n >= 5 && n <= 254)) {
        if (def && !def->fromRobot) {
            const size_t skip = block[0] == 'G' ? 1 : 0;
            const size_t length = std::min(n - skip, static_cast<size_t>(def->replyLength));
            out.data.assign(block + skip, block + skip + length);
            out.result = kData;
        }
    } else if (n == 3 || n == 4) {
        const bool ack = IsShort(block, n, 'C', 'D');
        const bool refused = IsShort(block, n, 'M', 'N');
        if (pending >= 29 && pending <= 31) {
            const size_t skip = n == 4 ? 1 : 0;
            out.data.assign(block + skip, block + n);
            out.result = kData;
        } else if (ack) {
            out.result = kDone;
            // The status queries are acknowledged first; their data follows.
            out.waitOn = pending >= 25 && pending <= 27;
        } else if (refused) {
            out.result = kRefused;
        }
    }
    return out;
}

std::vector<BlockEvent> CBlockDecoder::Feed(const uint8_t *block, size_t n)
{
    std::vector<BlockEvent> events;
    if (!block || n == 0) return events;
    while (const int32_t message = MatchMessage(block, n)) {
        events.push_back(BlockEvent{BlockEvent::Kind::Message, message, {}});
        const size_t length = FindCommand(message)->nChars;
        block += length;
        n -= length;
        if (n == 0) return events;
    }
    if (m_nPending != 0)
        events.push_back(
            BlockEvent{BlockEvent::Kind::Reply, 0, ClassifyReply(m_nPending, block, n)});
    return events;
}

} // namespace taperobot
