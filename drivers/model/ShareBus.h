// The messages devices follow on the log: the main/backup "virtual" mode on the share bus
// "#OVRA_DEV_SHARE" (<Virtual = "TRUE">), and a changeover switch's mode on its own channel
// (<Mode="1">). The readers subscribe by pattern, and a pattern also lets through messages
// without a type and those whose type only ends one of its entries ("1", "PLAT1", "SHARE"):
// a message is read only when its type is the reader's own channel (without case) and its
// text carries the key with a value of its kind.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <optional>

namespace sharebus {

inline constexpr const char *kShareBus = "#OVRA_DEV_SHARE";

// The Virtual of a share-bus message; none for another type or a text without a Virtual
// that reads as a bool.
KSOVRA20_API std::optional<bool> ReadVirtual(const char *type, const char *text);
// The Mode of a message on `channel`; none for another type or a text without a Mode number.
KSOVRA20_API std::optional<int> ReadMode(const char *channel, const char *type, const char *text);

} // namespace sharebus
