// In-place edits of zero-terminated 8-bit (GBK) and 16-bit strings, character classes, and
// the {key, name, info} tables that map codes to names. The 8-bit operations step over GBK
// two-byte characters as one character, so a trail byte never matches a single character.
#pragma once

#include <cstdint>
#include <type_traits>

// Character classes of CompareCharEx and the word functions. A value below 0xFFFFF is a
// literal character (a GBK two-byte character is lead * 256 + trail); CharClassNot negates
// a class. Any other value matches nothing.
enum : int32_t {
    CHAR_CLASS_ALPHA = 0x100000,
    CHAR_CLASS_UPPER = 0x100001,
    CHAR_CLASS_LOWER = 0x100002,
    CHAR_CLASS_DIGIT = 0x100003,
    CHAR_CLASS_XDIGIT = 0x100004,
    CHAR_CLASS_IDENT = 0x100005, // letter, digit or "_"
};

constexpr int32_t CharClassNot(int32_t charClass)
{
    return static_cast<int32_t>(static_cast<uint32_t>(charClass) | 0x80000000u);
}

// Whether the character code `code` belongs to `charClass`.
bool CharInClass(uint32_t code, int32_t charClass);

template <typename CH> struct string_traits {
    static_assert(std::is_same_v<CH, char> || std::is_same_v<CH, char16_t>);
    using other_type = std::conditional_t<std::is_same_v<CH, char>, char16_t, char>;

    // Each returns the string's length (0 for a null string).
    static int Length(const CH *s);
    static int Replace(CH *s, CH from, CH to);
    // Every single character found in `set` becomes `to`.
    static int ReplaceChr(CH *s, const CH *set, CH to);

    // Replaces every occurrence of `find`, left to right, the search going on behind the
    // inserted text. `capacity` is the room of `s` in characters, terminator included; when
    // the result would not fit, `s` is left as it was and 0 returned. The number of
    // replacements otherwise.
    static int ReplaceStr(CH *s, int capacity, const CH *find, const CH *replacement);
    // Removes the first n characters.
    static void Delete(CH *s, int n);
    // Puts `piece` in front of `s`; false, and nothing changed, when it does not fit.
    static bool Insert(CH *s, int capacity, const CH *piece);

    static void TrimLeft(CH *s, CH c);
    static void TrimRight(CH *s, CH c);
    // Removes one outer pair opens[i] / closes[i], the first pair (in order) that matches.
    static void TrimBracket(CH *s, const CH *opens, const CH *closes);
    static int CompareCharEx(CH c, int32_t charClass);
    static void TrimLeftEx(CH *s, int32_t charClass);
    static void TrimRightEx(CH *s, int32_t charClass);
    // Removes leading characters c and makes every run of c one c; the number removed.
    static int Pack(CH *s, CH c);

    // Converts between GBK and 16-bit text into `out` of `size` characters (terminator
    // included); false when the text is null or does not fit.
    static bool ConvertTo(const CH *s, other_type *out, int size);
    // A converted copy to be freed with free(); null for a null input.
    static other_type *StrDupEx(const CH *s);

    // One row of a name table. A table used with FindByKey ends with a row whose name is
    // null; one used with FindByName ends with a row whose key is 0. Both are called on the
    // table's first row.
    struct tagKeyName {
        int32_t key;
        const CH *name;
        const CH *info;

        bool FindByKey(int32_t wanted, const tagKeyName **row) const;
        // Exact: the first row of that name. Otherwise, when none is equal, the first equal
        // ignoring case, then the first whose name contains `wanted` or is contained in it.
        bool FindByName(const CH *wanted, const tagKeyName **row, bool exact) const;
    };
};

extern template struct string_traits<char>;
extern template struct string_traits<char16_t>;
