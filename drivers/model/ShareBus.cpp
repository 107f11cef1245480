#include "drivers/model/ShareBus.h"

#include "KestLib20/CSimplexStringMap.h"
#include "KestLib20/StringConvert.h"

#include <cstdlib>

namespace {

std::optional<CString> OwnValue(const char *channel, const char *type, const char *text,
                                const char *key)
{
    if (!type || CString(type).CompareNoCase(channel) != 0) return std::nullopt;
    CSimplexStringMap properties;
    properties.SetAsXmlProp(text ? text : "");
    CString value;
    if (!properties.Lookup(key, value)) return std::nullopt;
    return value;
}

} // namespace

namespace sharebus {

std::optional<bool> ReadVirtual(const char *type, const char *text)
{
    const std::optional<CString> value = OwnValue(kShareBus, type, text, "Virtual");
    if (!value) return std::nullopt;
    const bool on = StrToBool(*value, true);
    if (on != StrToBool(*value, false)) return std::nullopt; // no bool word
    return on;
}

std::optional<int> ReadMode(const char *channel, const char *type, const char *text)
{
    const std::optional<CString> value = OwnValue(channel, type, text, "Mode");
    if (!value) return std::nullopt;
    char *end = nullptr;
    const long long mode = std::strtoll(value->GetString(), &end, 10);
    if (end == value->GetString()) return std::nullopt;
    return static_cast<int>(mode);
}

} // namespace sharebus
