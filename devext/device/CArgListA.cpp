#include "devext/device/CArgListA.h"

#include <algorithm>
#include <cstring>

namespace {

bool HasRawValue(const tagArgItem &item)
{
    return item.pValue && item.IsRaw() && item.GetDepth() == 0;
}

template <class T> T Load(const void *from)
{
    T value;
    std::memcpy(&value, from, sizeof value);
    return value;
}

template <class T> void Store(void *to, T value)
{
    std::memcpy(to, &value, sizeof value);
}

} // namespace

int tagArgItem::GetAsInteger(int32_t &value) const
{
    if (!HasRawValue(*this)) return 0;
    switch (nSize) {
    case 0:
    case 3:
        return 0;
    case 1:
        value = Load<int8_t>(pValue);
        return 1;
    case 2:
        value = Load<int16_t>(pValue);
        return 1;
    default:
        value = Load<int32_t>(pValue);
        return 1;
    }
}

int tagArgItem::SetInteger(int32_t value)
{
    if (!HasRawValue(*this)) return 0;
    switch (nSize) {
    case 0:
    case 3:
        return 0;
    case 1:
        Store(pValue, static_cast<int8_t>(value));
        return 1;
    case 2:
        Store(pValue, static_cast<int16_t>(value));
        return 1;
    case 8:
        Store(pValue, static_cast<int64_t>(value));
        return 1;
    default:
        Store(pValue, value);
        return 1;
    }
}

int tagArgItem::GetAsDouble(double &value) const
{
    if (!HasRawValue(*this)) return 0;
    if (nSize == 4) {
        value = Load<float>(pValue);
        return 1;
    }
    if (nSize < 8) return 0;
    value = Load<double>(pValue);
    return 1;
}

int tagArgItem::SetDouble(double value)
{
    if (!HasRawValue(*this)) return 0;
    if (nSize == 4) {
        Store(pValue, static_cast<float>(value));
        return 1;
    }
    if (nSize < 8) return 0;
    Store(pValue, value);
    return 1;
}

int tagArgItem::SetBytes(const void *source, int length)
{
    if (!HasRawValue(*this) || !source || length < 1) return 0;
    const int n = std::min<int>(length, nSize);
    std::memcpy(pValue, source, static_cast<size_t>(n));
    return n;
}

int tagArgItem::GetBytes(void *target, int length) const
{
    if (!HasRawValue(*this) || !target || length < 1) return 0;
    const int n = std::min<int>(length, nSize);
    std::memcpy(target, pValue, static_cast<size_t>(n));
    return n;
}

char *tagArgItem::GetAsString() const
{
    const bool text = GetTypeId() == (ARG_TEXT & ARG_ID_MASK) && GetDepth() == 1;
    return text || nType == ARG_CHARS ? static_cast<char *>(pValue) : nullptr;
}

tagArgItem tagArgItem::Dereference() const
{
    tagArgItem down = *this;
    const int depth = GetDepth();
    down.pValue = depth > 0 && pValue ? *static_cast<void **>(pValue) : nullptr;
    down.nType = static_cast<uint16_t>((nType & ~ARG_DEPTH_MASK) |
                                       (std::max(depth - 1, 0) << ARG_DEPTH_SHIFT));
    return down;
}

const CArgListA &CArgListA::Empty()
{
    static const CArgListA empty;
    return empty;
}
