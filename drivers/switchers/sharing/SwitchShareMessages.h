// The switcher sharing protocol between CVideoSwitchShareServ and CVideoSwitchShareClt:
// service id, message ids and the items that carry its values. Every request starts with the
// remote device id as a string; integers travel as raw signed 32-bit items.
#pragma once

#include "devext/device/CArgListA.h"

#include <cstdint>

namespace swshare {

constexpr uint16_t kServiceId = 32;

enum Message : int {
    kDevOpen = 1,
    kDevClose = 2,
    kDevIsOpen = 3,
    kDevTest = 4,
    kDevSetTransType = 5,
    kDevSetTransRate = 6,
    kDevDirectTake = 7,
    kDevPreset = 8,
    kDevTake = 9,
    kDevQueryPgmEntry = 10,
    kDevQueryPstEntry = 11,
    kDevQueryTransMode = 12,
};

// The type id of a signed 32-bit raw value: the item's type word is 0x4006.
constexpr uint16_t kInt32Id = 6;

inline tagArgItem ArgInt(int32_t &value)
{
    return ArgRaw(value, kInt32Id);
}

} // namespace swshare
