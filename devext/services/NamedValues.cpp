#include "devext/services/NamedValues.h"

#include "platform/Gbk.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr size_t kMaxWord = 64;
constexpr const char *kBoolTable = "true:1;false:0;yes:1;no:0;ok:1;cancel:0;enable:1;disable:0;"
                                   "真:1;假:0;对:1;错:0;是:1;非:0;";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsWordByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(static_cast<char>(c)) ||
           c == '_';
}

// The leading word: ASCII letters lower-cased, cut at the first byte that is neither a letter,
// a digit, "_" nor a two-byte character.
std::string LeadingWord(const char *text)
{
    const std::string_view view(text, strnlen(text, kMaxWord));
    std::string word;
    for (size_t i = 0; i < view.size();) {
        const auto c = static_cast<unsigned char>(view[i]);
        const size_t length = plat::GbkCharLength(view, i);
        if (length == 2) {
            word.append(view.substr(i, 2));
        } else if (IsWordByte(c)) {
            word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        } else {
            break;
        }
        i += length;
    }
    return word;
}

// Where `entry` ("name:" or ":number") stands in the table as a whole name or a whole number.
size_t FindEntry(std::string_view table, std::string_view entry, bool atNameStart)
{
    for (size_t at = table.find(entry); at != std::string_view::npos;
         at = table.find(entry, at + 1)) {
        if (atNameStart && (at == 0 || table[at - 1] == ';')) return at;
        const size_t end = at + entry.size();
        if (!atNameStart && (end == table.size() || table[end] == ';')) return at;
    }
    return std::string_view::npos;
}

// The unsigned number at `text` (saturating at 32 bits).
unsigned ReadUnsigned(const char *text)
{
    unsigned long long value = 0;
    for (; IsDigit(*text); ++text) value = std::min(value * 10 + (*text - '0'), 0xFFFFFFFFull);
    return static_cast<unsigned>(value);
}

} // namespace

int ParseNamedValue(unsigned &out, const char *text, const char *table)
{
    if (!text) return 0;
    while (*text == ' ' || *text == '\t') ++text;
    if (IsDigit(*text)) {
        out = ReadUnsigned(text);
        return 1;
    }
    const std::string word = LeadingWord(text);
    if (word.empty() || !table) return 0;
    const std::string_view view(table);
    const size_t at = FindEntry(view, word + ":", true);
    if (at == std::string_view::npos) return 0;
    const char *number = table + at + word.size() + 1;
    if (!IsDigit(*number)) return 0;
    out = ReadUnsigned(number);
    return 1;
}

int FormatNamedValue(unsigned value, char *out, const char *table)
{
    char number[16];
    std::snprintf(number, sizeof number, "%u", value);
    const std::string_view view(table ? table : "");
    const size_t at = FindEntry(view, std::string(":") + number, false);
    if (at == std::string_view::npos) {
        std::snprintf(out, kNamedValueSize, "%s", number);
        return 1;
    }
    const size_t previous = at == 0 ? std::string_view::npos : view.rfind(';', at - 1);
    const size_t start = previous == std::string_view::npos ? 0 : previous + 1;
    std::string name(view.substr(start, at - start));
    name.resize(plat::GbkCutLength(name.c_str(), kNamedValueSize - 1));
    std::snprintf(out, kNamedValueSize, "%s", name.c_str());
    return 1;
}

int ParseBool(unsigned &out, const char *text)
{
    return ParseNamedValue(out, text, kBoolTable);
}

int FormatBool(int value, char *out, const char *table)
{
    return FormatNamedValue(value ? 1 : 0, out, table && *table ? table : "true:1;false:0;");
}

int HexToBytes(unsigned char *out, int &count, const char *text)
{
    const size_t length = text ? std::strlen(text) : 0;
    if (length % 2) return 0;
    count = std::min(count, static_cast<int>(std::min<size_t>(length / 2, 0x7FFFFFFF)));
    auto digit = [](char c) {
        if (c >= 'a') return c - 'a' + 10;
        if (c >= 'A') return c - 'A' + 10;
        return c - '0';
    };
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<unsigned char>(digit(text[2 * i]) * 16 + digit(text[2 * i + 1]));
    return 1;
}
