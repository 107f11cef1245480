#include "drivers/sources/vdcp/VdcpCommands.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vdcp {

namespace {

constexpr std::array<Command, 68> kBasic{{
    {6, 0x10, 0x00, 2, 0},
    {7, 0x10, 0x01, 2, 0},
    {8, 0x10, 0x02, 2, 0},
    {9, 0x10, 0x03, 2, 0},
    {10, 0x10, 0x04, 2, 0},
    {11, 0x10, 0x05, 2, 0},
    {12, 0x10, 0x06, 2, 0},
    {13, 0x10, 0x07, 3, 0},
    {14, 0x10, 0x07, 6, 0},
    {15, 0x10, 0x08, 5, 0},
    {16, 0x10, 0x09, 2, 0},
    {17, 0x10, 0x0A, 3, 0},
    {18, 0x20, 0x1D, 18, 0},
    {19, 0x20, 0x1E, 7, 0},
    {20, 0x20, 0x1F, 24, 0},
    {21, 0x20, 0x20, 3, 0},
    {22, 0x20, 0x21, 3, 0},
    {23, 0x20, 0x22, 3, 0},
    {24, 0x20, 0x23, 14, 0},
    {25, 0x20, 0x24, 10, 0},
    {26, 0x20, 0x25, 18, 0},
    {27, 0x20, 0x26, 10, 0},
    {28, 0x20, 0x27, 0, 0},
    {29, 0x20, 0x29, 2, 0},
    {30, 0x20, 0x2A, 0, 0},
    {31, 0x20, 0x2B, 3, 0},
    {32, 0x20, 0x2C, 18, 0},
    {33, 0x20, 0x2D, 3, 0},
    {34, 0x20, 0x2E, 10, 0},
    {35, 0x20, 0x30, 2, 0},
    {36, 0x20, 0x31, 6, 0},
    {37, 0x20, 0x32, 3, 0},
    {38, 0x20, 0x33, 3, 0},
    {39, 0x20, 0x34, 4, 0},
    {40, 0x20, 0x35, 4, 0},
    {41, 0x20, 0x37, 6, 0},
    {42, 0x20, 0x38, 3, 0},
    {43, 0x20, 0x39, 3, 0},
    {44, 0x20, 0x3A, 4, 0},
    {45, 0x20, 0x41, 4, 0},
    {46, 0x20, 0x42, 4, 0},
    {47, 0x20, 0x43, 4, 0},
    {48, 0x20, 0x50, 12, 0},
    {49, 0x20, 0x51, 4, 0},
    {50, 0x20, 0x52, 5, 0},
    {51, 0x30, 0x01, 4, 1},
    {52, 0x30, 0x02, 2, 82},
    {53, 0x30, 0x03, 2, kReplyVaries},
    {54, 0x30, 0x05, 3, kReplyVaries},
    {55, 0x30, 0x06, 3, 5},
    {56, 0x30, 0x07, 2, 9},
    {57, 0x30, 0x08, 2, kReplyVaries},
    {58, 0x30, 0x10, 3, kReplyVaries},
    {59, 0x30, 0x11, 2, 82},
    {60, 0x30, 0x14, 10, 4},
    {61, 0x30, 0x15, 2, 82},
    {62, 0x30, 0x16, 10, 1},
    {63, 0x30, 0x17, 3, kReplyVaries},
    {64, 0x30, 0x18, 2, 82},
    {65, 0x30, 0x19, 2, 82},
    {66, 0x30, 0x25, 10, 0},
    {67, 0x30, 0x61, 10, 0},
    {68, 0x30, 0x62, 10, 0},
    {70, 0x30, 0x63, 10, 0},
    {71, 0x30, 0x64, 10, 0},
    {72, 0x30, 0x65, 10, 0},
    {73, 0x30, 0x66, 10, 0},
    {74, 0x30, 0x67, 10, 0},
}};

// The rows that carry a clip id: NEW's length byte makes their count one longer.
constexpr std::array<int32_t, 8> kClipIdRows{24, 25, 26, 27, 32, 34, 60, 62};

constexpr std::array<Command, 68> MakeNew()
{
    std::array<Command, 68> rows = kBasic;
    for (Command &row : rows) {
        row.cmd1 = static_cast<uint8_t>(row.cmd1 + 0x80);
        if (std::find(kClipIdRows.begin(), kClipIdRows.end(), row.nId) != kClipIdRows.end())
            ++row.nCount;
    }
    return rows;
}

constexpr std::array<Command, 68> kNew = MakeNew();

} // namespace

std::span<const Command> CommandTable(Variant variant)
{
    return variant == Variant::New ? std::span<const Command>(kNew)
                                   : std::span<const Command>(kBasic);
}

const Command *FindCommand(Variant variant, int32_t id)
{
    const std::span<const Command> rows = CommandTable(variant);
    const auto found =
        std::find_if(rows.begin(), rows.end(), [id](const Command &row) { return row.nId == id; });
    return found == rows.end() ? nullptr : &*found;
}

void SelectVariant(const char *name, Variant &variant)
{
    if (!name || !*name || std::strcmp(name, "BASIC") == 0)
        variant = Variant::Basic;
    else if (std::strcmp(name, "NEW") == 0)
        variant = Variant::New;
}

} // namespace vdcp
