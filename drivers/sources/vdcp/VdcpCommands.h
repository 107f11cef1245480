// The VDCP command sets: one row per command the protocol objects know, by command id. BASIC
// sends clip ids as 8 bytes; NEW sets bit 7 of CMD-1 and sends clip ids length-prefixed.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstdint>
#include <span>

namespace vdcp {

constexpr int32_t kReplyVaries = -1;

struct Command {
    int32_t nId;
    uint8_t cmd1;
    uint8_t cmd2;
    int32_t nCount;       // the frame's count byte as the table gives it
    int32_t nReplyLength; // reply data bytes, kReplyVaries when it varies
};

enum class Variant : char { Basic = 'B', New = 'N' };

// Command ids the protocol objects send.
enum CommandId : int32_t {
    kStop = 6,
    kPlay = 7,
    kRecord = 8,
    kFreeze = 9,
    kStill = 10,
    kStep = 11,
    kContinue = 12,
    kJogShort = 13,
    kJogLong = 14,
    kVariablePlay = 15,
    kUnfreeze = 16,
    kEEMode = 17,
    kRenameId = 18,
    kClosePort = 22,
    kSelectPort = 23,
    kRecordInit = 24,
    kPlayCue = 25,
    kCueWithData = 26,
    kDeleteId = 27,
    kPresetWithData = 32,
    kSetDiskPreroll = 47,
    kOpenPort = 51,
    kIdListNext = 52,
    kPortStatus = 54,
    kPosition = 55,
    kSystemStatus = 58,
    kIdList = 59,
    kIdSize = 60,
    kIdRequest = 62,
};

// Every row of the set, in table order (68 rows, ids 6 to 74 without 69).
KSOVRA20_API std::span<const Command> CommandTable(Variant variant);
// The row of `id` in the set; null when the set has none.
KSOVRA20_API const Command *FindCommand(Variant variant, int32_t id);
// "BASIC" or an empty (or null) name: Basic; "NEW": New; any other name leaves `variant`.
KSOVRA20_API void SelectVariant(const char *name, Variant &variant);

} // namespace vdcp
