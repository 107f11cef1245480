// GBK text helpers: casing and comparison that never touch the second byte of a two-byte
// character, cutting on character boundaries, and conversion to and from UTF-16 and UTF-8.
#pragma once

#include "platform/PlatformApi.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

// A byte 0x81-0xFE starts a two-byte character; the byte after it is its trail byte, which
// can be any value 0x40-0xFE, ASCII letters and the backslash included.
constexpr bool IsGbkLead(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

// Byte length of the character at text[i]: 2 for a lead byte with a byte after it, else 1.
constexpr size_t GbkCharLength(std::string_view text, size_t i)
{
    return IsGbkLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// ASCII letters only; two-byte characters are left as they are.
PLAT_API void GbkToUpper(std::string &text);
PLAT_API void GbkToLower(std::string &text);

// Case-insensitive byte order (<0, 0, >0); trail bytes compare exactly.
PLAT_API int GbkCompareNoCase(std::string_view a, std::string_view b);

// Largest byte count <= maxBytes of the NUL-terminated text that does not split a character.
PLAT_API size_t GbkCutLength(const char *text, size_t maxBytes);

// Conversions. A byte that is not GBK becomes the lone surrogate U+DC00 + byte in UTF-16 and
// comes back as that byte, so 8-bit text survives GbkToUtf16 and back unchanged. Otherwise
// what cannot be converted becomes '?', one per bad byte (or bad UTF-16 unit).
PLAT_API std::u16string GbkToUtf16(std::string_view gbk);
PLAT_API std::string Utf16ToGbk(std::u16string_view utf16);
PLAT_API std::string GbkToUtf8(std::string_view gbk);
PLAT_API std::string Utf8ToGbk(std::string_view utf8);

} // namespace plat
