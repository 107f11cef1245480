#include "KestLib20/string_traits.h"

#include "platform/Gbk.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

bool IsAsciiUpper(uint32_t c)
{
    return c >= 'A' && c <= 'Z';
}
bool IsAsciiLower(uint32_t c)
{
    return c >= 'a' && c <= 'z';
}
bool IsAsciiDigit(uint32_t c)
{
    return c >= '0' && c <= '9';
}
uint32_t FoldAscii(uint32_t c)
{
    return IsAsciiLower(c) ? c - 'a' + 'A' : c;
}

// Length in units of the character at s (a GBK lead byte with a byte after it makes two).
template <typename CH> size_t CharLen(const CH *s)
{
    if constexpr (std::is_same_v<CH, char>)
        return plat::IsGbkLead(static_cast<unsigned char>(s[0])) && s[1] ? 2 : 1;
    else
        return 1;
}

template <typename CH> uint32_t CharCode(const CH *s, size_t len)
{
    if constexpr (std::is_same_v<CH, char>) {
        const auto lead = static_cast<unsigned char>(s[0]);
        return len == 2 ? lead << 8 | static_cast<unsigned char>(s[1]) : lead;
    } else {
        return s[0];
    }
}

// Walks the characters of s, calling visit(position, length) for each.
template <typename CH, typename Visit> void ForEachChar(const CH *s, Visit visit)
{
    for (size_t i = 0; s[i];) {
        const size_t n = CharLen(s + i);
        visit(i, n);
        i += n;
    }
}

template <typename CH> bool SingleIs(const CH *s, size_t n, CH c)
{
    return n == 1 && s[0] == c;
}

// Position just behind the last character for which keep(position, length) holds.
template <typename CH, typename Keep> size_t EndOfLastKept(const CH *s, Keep keep)
{
    size_t end = 0;
    ForEachChar(s, [&](size_t i, size_t n) {
        if (keep(i, n)) end = i + n;
    });
    return end;
}

// Position of the first character for which skip(position, length) does not hold.
template <typename CH, typename Skip> size_t StartOfFirstKept(const CH *s, Skip skip)
{
    size_t i = 0;
    while (s[i]) {
        const size_t n = CharLen(s + i);
        if (!skip(i, n)) break;
        i += n;
    }
    return i;
}

template <typename CH> void RemoveFront(CH *s, size_t count)
{
    if (count == 0) return;
    const size_t len = std::char_traits<CH>::length(s);
    std::char_traits<CH>::move(s, s + count, len - count + 1);
}

template <typename CH> bool EqualNoCase(std::basic_string_view<CH> a, std::basic_string_view<CH> b)
{
    if constexpr (std::is_same_v<CH, char>) {
        return plat::GbkCompareNoCase(a, b) == 0;
    } else {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
        return true;
    }
}

// Whether `part` occurs in `whole` at a character boundary, ignoring case.
template <typename CH>
bool ContainsNoCase(std::basic_string_view<CH> whole, std::basic_string_view<CH> part)
{
    if (part.size() > whole.size()) return false;
    for (size_t i = 0; i + part.size() <= whole.size(); i += CharLen(whole.data() + i))
        if (EqualNoCase(whole.substr(i, part.size()), part)) return true;
    return false;
}

} // namespace

bool CharInClass(uint32_t code, int32_t charClass)
{
    if (charClass < 0) return !CharInClass(code, charClass & 0x7FFFFFFF);
    if (charClass < 0xFFFFF) return code == static_cast<uint32_t>(charClass);
    const bool alpha = IsAsciiUpper(code) || IsAsciiLower(code);
    switch (charClass) {
    case CHAR_CLASS_ALPHA:
        return alpha;
    case CHAR_CLASS_UPPER:
        return IsAsciiUpper(code);
    case CHAR_CLASS_LOWER:
        return IsAsciiLower(code);
    case CHAR_CLASS_DIGIT:
        return IsAsciiDigit(code);
    case CHAR_CLASS_XDIGIT:
        return IsAsciiDigit(code) || (FoldAscii(code) >= 'A' && FoldAscii(code) <= 'F');
    case CHAR_CLASS_IDENT:
        return alpha || IsAsciiDigit(code) || code == '_';
    default:
        return false;
    }
}

template <typename CH> int string_traits<CH>::Length(const CH *s)
{
    return s ? static_cast<int>(std::char_traits<CH>::length(s)) : 0;
}

template <typename CH> int string_traits<CH>::Replace(CH *s, CH from, CH to)
{
    if (!s) return 0;
    ForEachChar(s, [&](size_t i, size_t n) {
        if (SingleIs(s + i, n, from)) s[i] = to;
    });
    return Length(s);
}

template <typename CH> int string_traits<CH>::ReplaceChr(CH *s, const CH *set, CH to)
{
    if (!s) return 0;
    if (!set) return Length(s);
    const std::basic_string_view<CH> chars(set);
    ForEachChar(s, [&](size_t i, size_t n) {
        if (n == 1 && chars.find(s[i]) != chars.npos) s[i] = to;
    });
    return Length(s);
}

template <typename CH>
int string_traits<CH>::ReplaceStr(CH *s, int capacity, const CH *find, const CH *replacement)
{
    if (!s || !find || !*find) return 0;
    const std::basic_string_view<CH> text(s), what(find);
    const std::basic_string_view<CH> with(replacement ? replacement : std::basic_string_view<CH>());
    std::basic_string<CH> out;
    int count = 0;
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, what.size(), what) == 0) {
            out += with;
            i += what.size();
            ++count;
        } else {
            const size_t n = CharLen(s + i);
            out.append(text.substr(i, n));
            i += n;
        }
    }
    if (count == 0 || capacity < 1 || out.size() + 1 > static_cast<size_t>(capacity)) return 0;
    std::char_traits<CH>::copy(s, out.c_str(), out.size() + 1);
    return count;
}

template <typename CH> void string_traits<CH>::Delete(CH *s, int n)
{
    if (!s || n <= 0) return;
    RemoveFront(s, std::min(static_cast<size_t>(n), std::char_traits<CH>::length(s)));
}

template <typename CH> bool string_traits<CH>::Insert(CH *s, int capacity, const CH *piece)
{
    if (!s || !piece) return false;
    const size_t len = std::char_traits<CH>::length(s);
    const size_t add = std::char_traits<CH>::length(piece);
    if (capacity < 1 || len + add + 1 > static_cast<size_t>(capacity)) return false;
    std::char_traits<CH>::move(s + add, s, len + 1);
    std::char_traits<CH>::copy(s, piece, add);
    return true;
}

template <typename CH> void string_traits<CH>::TrimLeft(CH *s, CH c)
{
    if (!s) return;
    RemoveFront(s, StartOfFirstKept(s, [&](size_t i, size_t n) { return SingleIs(s + i, n, c); }));
}

template <typename CH> void string_traits<CH>::TrimRight(CH *s, CH c)
{
    if (!s) return;
    s[EndOfLastKept(s, [&](size_t i, size_t n) { return !SingleIs(s + i, n, c); })] = 0;
}

template <typename CH> void string_traits<CH>::TrimBracket(CH *s, const CH *opens, const CH *closes)
{
    if (!s || !opens || !closes || !s[0]) return;
    size_t last = 0, lastLen = 0;
    ForEachChar(s, [&](size_t i, size_t n) { last = i, lastLen = n; });
    if (last == 0 || lastLen != 1 || CharLen(s) != 1) return;
    for (size_t k = 0; opens[k] && closes[k]; ++k) {
        if (s[0] == opens[k] && s[last] == closes[k]) {
            s[last] = 0;
            RemoveFront(s, 1);
            return;
        }
    }
}

template <typename CH> int string_traits<CH>::CompareCharEx(CH c, int32_t charClass)
{
    return CharInClass(CharCode(&c, 1), charClass) ? 1 : 0;
}

template <typename CH> void string_traits<CH>::TrimLeftEx(CH *s, int32_t charClass)
{
    if (!s) return;
    RemoveFront(s, StartOfFirstKept(s, [&](size_t i, size_t n) {
                    return CharInClass(CharCode(s + i, n), charClass);
                }));
}

template <typename CH> void string_traits<CH>::TrimRightEx(CH *s, int32_t charClass)
{
    if (!s) return;
    s[EndOfLastKept(
        s, [&](size_t i, size_t n) { return !CharInClass(CharCode(s + i, n), charClass); })] = 0;
}

template <typename CH> int string_traits<CH>::Pack(CH *s, CH c)
{
    if (!s) return 0;
    std::basic_string<CH> out;
    bool previousWasC = true; // so leading characters c go too
    int removed = 0;
    ForEachChar(s, [&](size_t i, size_t n) {
        const bool isC = SingleIs(s + i, n, c);
        if (isC && previousWasC) {
            ++removed;
        } else {
            out.append(s + i, n);
        }
        previousWasC = isC;
    });
    std::char_traits<CH>::copy(s, out.c_str(), out.size() + 1);
    return removed;
}

template <typename CH> bool string_traits<CH>::ConvertTo(const CH *s, other_type *out, int size)
{
    if (!s || !out) return false;
    std::basic_string<other_type> converted;
    if constexpr (std::is_same_v<CH, char>)
        converted = plat::GbkToUtf16(s);
    else
        converted = plat::Utf16ToGbk(s);
    if (size < 1 || converted.size() + 1 > static_cast<size_t>(size)) return false;
    std::char_traits<other_type>::copy(out, converted.c_str(), converted.size() + 1);
    return true;
}

template <typename CH> auto string_traits<CH>::StrDupEx(const CH *s) -> other_type *
{
    if (!s) return nullptr;
    const int size = Length(s) * 2 + 1; // a GBK byte gives at most one 16-bit unit and back
    auto *out = static_cast<other_type *>(std::malloc(sizeof(other_type) * size));
    if (out && !ConvertTo(s, out, size)) {
        std::free(out);
        return nullptr;
    }
    return out;
}

template <typename CH>
bool string_traits<CH>::tagKeyName::FindByKey(int32_t wanted, const tagKeyName **row) const
{
    for (const tagKeyName *r = this; r->name; ++r) {
        if (r->key == wanted) {
            if (row) *row = r;
            return true;
        }
    }
    if (row) *row = nullptr;
    return false;
}

template <typename CH>
bool string_traits<CH>::tagKeyName::FindByName(const CH *wanted, const tagKeyName **row,
                                               bool exact) const
{
    using View = std::basic_string_view<CH>;
    auto find = [&](auto match) -> const tagKeyName * {
        for (const tagKeyName *r = this; r->key; ++r)
            if (r->name && match(View(r->name))) return r;
        return nullptr;
    };
    const tagKeyName *found = nullptr;
    if (wanted) {
        const View name(wanted);
        found = find([&](View n) { return n == name; });
        if (!found && !exact) found = find([&](View n) { return EqualNoCase(n, name); });
        if (!found && !exact && !name.empty())
            found = find([&](View n) {
                return !n.empty() && (ContainsNoCase(n, name) || ContainsNoCase(name, n));
            });
    }
    if (row) *row = found;
    return found != nullptr;
}

template struct string_traits<char>;
template struct string_traits<char16_t>;
