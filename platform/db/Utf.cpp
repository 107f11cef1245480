#include "platform/db/Utf.h"

#include <cstdint>

namespace plat::db {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point at utf8[i], moving i past it.
char32_t NextPoint(std::string_view utf8, size_t &i)
{
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(utf8[at]); };
    const unsigned char lead = byte(i++);
    if (lead < 0x80) return lead;
    int more = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
    if (lead > 0xF4 || more < 0) return kReplacement;
    char32_t point = lead & (0x3F >> more);
    const size_t start = i;
    for (int k = 0; k < more; ++k, ++i) {
        if (i >= utf8.size() || (byte(i) & 0xC0) != 0x80) {
            i = start;
            return kReplacement;
        }
        point = (point << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (more == 2 && point < 0x800) || (more == 3 && point < 0x10000);
    if (overlong || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return kReplacement;
    return point;
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t point = NextPoint(utf8, i);
        if (point < 0x10000) {
            out += static_cast<char16_t>(point);
        } else {
            out += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t point = utf16[i];
        if (point >= 0xD800 && point <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            point = 0x10000 + ((point - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        } else if (point >= 0xD800 && point <= 0xDFFF) {
            point = kReplacement;
        }
        if (point < 0x80) {
            out += static_cast<char>(point);
        } else if (point < 0x800) {
            out += static_cast<char>(0xC0 | (point >> 6));
            out += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            out += static_cast<char>(0xE0 | (point >> 12));
            out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (point >> 18));
            out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (point & 0x3F));
        }
    }
    return out;
}

} // namespace plat::db
