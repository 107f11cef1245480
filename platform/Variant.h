// A tagged value as the resource tree passes it between its clients and providers: empty, a
// 32-bit integer or a wide (UTF-16) text. Texts cross as wide text and are converted to and
// from the system's 8-bit GBK text at either end.
#pragma once

#include "platform/Gbk.h"
#include "platform/String.h"

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

class CVariant {
public:
    // The index of each kind in the held alternative.
    enum class Type { Empty, Int32, Text };

    CVariant() = default;
    explicit CVariant(int32_t value) : m_value(value) {}
    explicit CVariant(std::u16string text) : m_value(std::move(text)) {}
    // An 8-bit GBK text, held wide (null is the empty text).
    static CVariant FromText(const char *text)
    {
        return CVariant(plat::GbkToUtf16(text ? text : ""));
    }

    Type GetType() const { return static_cast<Type>(m_value.index()); }
    void Clear() { m_value = std::monostate(); }

    // 0 unless the value is an integer.
    int32_t GetInt32() const
    {
        const int32_t *value = std::get_if<int32_t>(&m_value);
        return value ? *value : 0;
    }
    // Null unless the value is a text.
    const std::u16string *GetWide() const { return std::get_if<std::u16string>(&m_value); }

    // The value as 8-bit text: a text converted to GBK, an integer in decimal, empty as "".
    CString ToText() const
    {
        if (const std::u16string *wide = GetWide()) return CString(plat::Utf16ToGbk(*wide));
        if (GetType() == Type::Int32) return CString(std::to_string(GetInt32()));
        return CString();
    }

private:
    std::variant<std::monostate, int32_t, std::u16string> m_value;
};
