#include "drivers/sources/vtr/VtrFrame.h"

#include <cmath>
#include <cstring>

namespace {

// Ids 2 to 149 in ascending order, ended by a row whose id is 0.
constexpr tagVTRCommand kCommands[] = {
    {2, 0x00, 0x0C},   {3, 0x00, 0x11},   {4, 0x00, 0x1D},   {5, 0x20, 0x00},   {6, 0x20, 0x01},
    {7, 0x20, 0x02},   {8, 0x20, 0x04},   {9, 0x20, 0x05},   {10, 0x20, 0x0D},  {11, 0x20, 0x0F},
    {12, 0x20, 0x10},  {13, 0x20, 0x20},  {14, 0x21, 0x11},  {15, 0x21, 0x12},  {16, 0x21, 0x13},
    {17, 0x21, 0x21},  {18, 0x21, 0x22},  {19, 0x21, 0x23},  {20, 0x20, 0x30},  {21, 0x24, 0x31},
    {22, 0x20, 0x34},  {23, 0x21, 0x38},  {24, 0x21, 0x39},  {25, 0x20, 0x3C},  {26, 0x20, 0x40},
    {27, 0x20, 0x41},  {28, 0x20, 0x42},  {29, 0x20, 0x4B},  {30, 0x20, 0x4C},  {31, 0x20, 0x52},
    {32, 0x20, 0x54},  {33, 0x20, 0x55},  {34, 0x21, 0x5C},  {35, 0x21, 0x5D},  {36, 0x20, 0x60},
    {37, 0x20, 0x61},  {38, 0x20, 0x63},  {39, 0x20, 0x64},  {40, 0x20, 0x65},  {41, 0x20, 0x6A},
    {42, 0x20, 0x6B},  {43, 0x44, 0x00},  {44, 0x44, 0x04},  {45, 0x41, 0x05},  {46, 0x40, 0x08},
    {47, 0x40, 0x10},  {48, 0x40, 0x11},  {49, 0x40, 0x12},  {50, 0x40, 0x13},  {51, 0x44, 0x14},
    {52, 0x44, 0x15},  {53, 0x44, 0x16},  {54, 0x44, 0x17},  {55, 0x40, 0x18},  {56, 0x40, 0x19},
    {57, 0x40, 0x1A},  {58, 0x40, 0x1B},  {59, 0x40, 0x1C},  {60, 0x40, 0x1D},  {61, 0x40, 0x1E},
    {62, 0x40, 0x1F},  {63, 0x40, 0x20},  {64, 0x40, 0x21},  {65, 0x40, 0x22},  {66, 0x40, 0x23},
    {67, 0x40, 0x24},  {68, 0x40, 0x25},  {69, 0x40, 0x26},  {70, 0x40, 0x27},  {71, 0x40, 0x2D},
    {72, 0x41, 0x30},  {73, 0x44, 0x31},  {74, 0x41, 0x32},  {75, 0x41, 0x33},  {76, 0x41, 0x34},
    {77, 0x41, 0x35},  {78, 0x41, 0x36},  {79, 0x41, 0x37},  {80, 0x41, 0x3A},  {81, 0x41, 0x3D},
    {82, 0x40, 0x40},  {83, 0x40, 0x41},  {84, 0x40, 0x44},  {85, 0x40, 0x45},  {86, 0x40, 0x46},
    {87, 0x40, 0x47},  {88, 0x40, 0x48},  {89, 0x40, 0x49},  {90, 0x42, 0x50},  {91, 0x42, 0x51},
    {92, 0x40, 0x54},  {93, 0x41, 0x60},  {94, 0x42, 0x61},  {95, 0x41, 0x63},  {96, 0x42, 0x70},
    {97, 0x41, 0x91},  {98, 0x41, 0x92},  {99, 0x41, 0x93},  {100, 0x47, 0x95}, {101, 0x41, 0x98},
    {102, 0x41, 0x99}, {103, 0x41, 0x9A}, {104, 0x44, 0x9C}, {105, 0x41, 0x9E}, {106, 0x41, 0x9F},
    {107, 0x41, 0xA0}, {108, 0x41, 0xA1}, {109, 0x45, 0xA3}, {110, 0x45, 0xA4}, {111, 0x41, 0xA8},
    {112, 0x44, 0xAE}, {113, 0x41, 0xAF}, {114, 0x41, 0xB8}, {115, 0x42, 0xFA}, {116, 0x61, 0x0A},
    {117, 0x61, 0x0C}, {118, 0x60, 0x10}, {119, 0x60, 0x11}, {120, 0x60, 0x12}, {121, 0x60, 0x13},
    {122, 0x61, 0x20}, {123, 0x61, 0x21}, {124, 0x62, 0x23}, {125, 0x61, 0x24}, {126, 0x62, 0x25},
    {127, 0x62, 0x26}, {128, 0x6F, 0x28}, {129, 0x61, 0x2A}, {130, 0x60, 0x2B}, {131, 0x60, 0x2E},
    {132, 0x60, 0x2F}, {133, 0x6F, 0x30}, {134, 0x60, 0x31}, {135, 0x60, 0x32}, {136, 0x60, 0x36},
    {137, 0x60, 0x50}, {138, 0x60, 0x51}, {139, 0x60, 0x52}, {140, 0x60, 0x53}, {141, 0x6F, 0x54},
    {142, 0x60, 0x58}, {143, 0x60, 0x60}, {144, 0x60, 0x61}, {145, 0x60, 0x62}, {146, 0x60, 0x63},
    {147, 0x60, 0x70}, {148, 0x60, 0x9F}, {149, 0x60, 0xAE}, {0, 0, 0},
};
constexpr int32_t kFirstId = 2;
constexpr int kRowCount = static_cast<int>(sizeof(kCommands) / sizeof(kCommands[0])) - 1;

constexpr bool IdsAscendFromFirst()
{
    for (int i = 0; i < kRowCount; ++i)
        if (kCommands[i].id != kFirstId + i) return false;
    return kCommands[kRowCount].id == 0;
}
static_assert(IdsAscendFromFirst(), "the rows are found by id as an index");

// Which STATUS SENSE bits the status record keeps, in its order.
struct StatusBit {
    int byte, bit;
};
constexpr StatusBit kStatusBits[tagVTRStatus::kFlagCount] = {
    {0, 0}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5},
    {1, 6}, {1, 7}, {2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}, {4, 0}, {8, 4},
};

int StatusIndex(int byte, int bit)
{
    for (int i = 0; i < tagVTRStatus::kFlagCount; ++i)
        if (kStatusBits[i].byte == byte && kStatusBits[i].bit == bit) return i;
    return -1;
}

constexpr int kReplyAck = 0x10;
constexpr int kReplyData = 0x70;
constexpr int kFramesPerHour = 90000;

struct ModelName {
    int32_t type;
    const char *name;
};
constexpr ModelName kModels[] = {
    {0x2000, "BVW-10"},   {0x2001, "BVW-40"},   {0x2002, "BVW-11"},   {0x2003, "BVW-15"},
    {0x2010, "BVW-35"},   {0x2018, "BVW-35PM"}, {0x2020, "BVW-60"},   {0x2021, "BVW-65"},
    {0x2022, "BVW-95"},   {0x2023, "BVW-96"},   {0x2024, "BVW-70"},   {0x2025, "BVW-75"},
    {0x2026, "BVW-85PM"}, {0x2029, "BVW-65PM"}, {0x202C, "BVW-70S"},  {0x202D, "BVW-95PM/75S"},
    {0x202F, "WBR-700"},  {0x2030, "BVW-50"},   {0x2045, "BVW-D256"}, {0x2046, "BVW-D75"},
    {0x2047, "BVW-9000"}, {0xB000, "DVW-A500"}, {0xB001, "DVW-A510"}, {0xB003, "DVW-CA510"},
    {0xB010, "DVW-500"},  {0xB011, "DVW-510"},
};

} // namespace

int32_t tagVTRStatus::Test(int byte, int bit) const
{
    const int i = StatusIndex(byte, bit);
    return i < 0 ? 0 : flags[i];
}

void tagVTRStatus::Set(int byte, int bit)
{
    const int i = StatusIndex(byte, bit);
    if (i >= 0) flags[i] = 1 << bit;
}

void tagVTRStatus::Load(const uint8_t *data)
{
    for (int i = 0; i < kFlagCount; ++i)
        flags[i] = data[kStatusBits[i].byte] & (1 << kStatusBits[i].bit);
}

namespace vtr {

const tagVTRCommand *FindCommand(int32_t id)
{
    if (id < kFirstId || id >= kFirstId + kRowCount) return nullptr;
    return &kCommands[id - kFirstId];
}

uint8_t Checksum(const uint8_t *bytes, size_t n)
{
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) sum += bytes[i];
    return static_cast<uint8_t>(sum);
}

int BuildFrame(int32_t id, const uint8_t *data, int n, uint8_t *out)
{
    const tagVTRCommand *row = FindCommand(id);
    if (!row || n < 0 || n > 15) return 0;
    int cmd1 = row->cmd1;
    if ((cmd1 & 0x0F) == 0x0F) cmd1 = (cmd1 & 0xF0) | n;
    out[0] = static_cast<uint8_t>(cmd1);
    out[1] = static_cast<uint8_t>(row->cmd2);
    if (n > 0) std::memcpy(out + 2, data, static_cast<size_t>(n));
    out[n + 2] = Checksum(out, static_cast<size_t>(n) + 2);
    return n + 3;
}

std::vector<ReplyEvent> CReplyDecoder::Feed(const uint8_t *data, size_t length)
{
    if (!data || length == 0) return {};
    m_pending.insert(m_pending.end(), data, data + length);
    const size_t n = m_pending.size();
    if (n < 3) return {};
    const uint8_t *bytes = m_pending.data();
    const int count = bytes[0] & 0x0F;
    const int category = bytes[0] & 0xF0;
    const size_t frame = static_cast<size_t>(count) + 3;
    const bool isReply = category == kReplyAck || category == kReplyData;
    // A reply frame may come in pieces: wait for the rest of it.
    if (isReply && n < frame) return {};
    ReplyEvent event;
    tagVTRReply &reply = event.reply;
    reply.count = count;
    reply.category = category;
    reply.command = bytes[1] | 0x80;
    if (n > frame || !isReply) {
        reply.command = 0;
    } else if (Checksum(bytes, frame - 1) == bytes[frame - 1]) {
        std::memcpy(reply.data, bytes + 2, static_cast<size_t>(count));
        event.kind = ReplyEvent::Kind::Done;
    }
    m_pending.clear();
    return {event};
}

bool Answers(const tagVTRReply &reply, const Expect &expect)
{
    return reply.category == expect.category &&
           (expect.command == 0 || reply.command == expect.command) && reply.count >= expect.count;
}

uint8_t ToBcd(int value)
{
    return static_cast<uint8_t>(((value / 10) % 10) << 4 | (value % 10));
}

int FromBcd(uint8_t byte)
{
    byte &= 0x7F;
    return (byte >> 4) * 10 + (byte & 0x0F);
}

void EncodeCuePoint(int32_t frames, uint8_t out[4])
{
    if (frames < 0)
        frames = (frames % kFramesPerDay + kFramesPerDay) % kFramesPerDay;
    else if (frames > kFramesPerDay)
        frames = (frames - 1) % kFramesPerDay + 1;
    out[0] = ToBcd(frames % 25);
    out[1] = ToBcd(frames / 25 % 60);
    out[2] = ToBcd(frames / (25 * 60) % 60);
    out[3] = ToBcd(frames / kFramesPerHour);
}

bool DecodeTimecode(const uint8_t data[4], int32_t &frames)
{
    const int ff = FromBcd(data[0] & 0x3F), ss = FromBcd(data[1]), mm = FromBcd(data[2]),
              hh = FromBcd(data[3] & 0x3F);
    if (hh >= 24 || mm >= 60 || ss >= 60 || ff >= 25) return false;
    frames = ((hh * 60 + mm) * 60 + ss) * 25 + ff;
    if (frames > kFramesPerDay / 2) frames -= kFramesPerDay;
    return true;
}

uint8_t ShuttleSpeedByte(double speed)
{
    const double magnitude = std::fabs(speed);
    if (magnitude <= 0.01) return 0;
    return static_cast<uint8_t>(static_cast<int>(32.0 * (std::log10(magnitude) + 2.0)));
}

const char *DeviceTypeName(int32_t type)
{
    for (const ModelName &model : kModels)
        if (model.type == type) return model.name;
    return "UNKOWN TYPE";
}

} // namespace vtr
