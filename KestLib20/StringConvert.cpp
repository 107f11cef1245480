#include "KestLib20/StringConvert.h"

#include "KestLib20/CFileTime.h"
#include "KestLib20/timecode_t.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// The C "%i" conversion: whether a number was there, and its low 32 bits.
bool ParseInt(const char *text, int32_t &value)
{
    if (!text) return false;
    char *end = nullptr;
    const long long n = std::strtoll(text, &end, 0);
    if (end == text) return false;
    value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(n)));
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

char *BoolToString(bool value, char *buffer, int size)
{
    const char *text = value ? "TRUE" : "FALSE";
    if (!buffer || size < static_cast<int>(std::strlen(text)) + 1) return nullptr;
    std::strcpy(buffer, text);
    return buffer;
}

CString BoolToString(bool value, int /*format*/)
{
    return value ? "TRUE" : "FALSE";
}

int32_t StrToInt(const char *text, int32_t def)
{
    int32_t value = def;
    return ParseInt(text, value) ? value : def;
}

double StrToFloat(const char *text, double def)
{
    if (!text) return def;
    char *end = nullptr;
    const double value = std::strtod(text, &end);
    return end == text ? def : value;
}

bool StrToBool(const char *text, bool def)
{
    int32_t number = 0;
    if (ParseInt(text, number)) return number != 0;
    if (!text) return def;
    CString word(text, static_cast<int>(std::min<size_t>(std::strlen(text), 32)));
    word.Trim();
    word.MakeUpper();
    if (word == "TRUE" || word == "ENABLE" || word == "YES") return true;
    if (word == "FALSE" || word == "DISABLE" || word == "NO") return false;
    return def;
}

CString ToString(int32_t value, int format)
{
    CString text;
    switch (format) {
    case 0:
    case 'i':
        text.Format("%i", value);
        break;
    case 'X':
        text.Format("%X", static_cast<uint32_t>(value));
        break;
    case 'x':
        text.Format("%x", static_cast<uint32_t>(value));
        break;
    case 'u':
        text.Format("%u", static_cast<uint32_t>(value));
        break;
    default:
        break;
    }
    return text;
}

CString ToString(double value, int /*format*/)
{
    CString text;
    text.Format("%lf", value);
    return text;
}

CString ToString(const char *text)
{
    return CString(text);
}

CString ToString(const CStringArray &list, int bracket)
{
    CString text;
    for (int i = 0; i < list.GetSize(); ++i) {
        CString item = list[i];
        item.Replace('"', '\'');
        if (i > 0) text += ',';
        text += '"' + item + '"';
    }
    return Bracketed(text, bracket);
}

CString Bracketed(const CString &text, int bracket)
{
    switch (bracket) {
    case '<':
        return '<' + text + '>';
    case '[':
        return '[' + text + ']';
    case '{':
        return '{' + text + '}';
    default:
        return text;
    }
}

CString ToString(const CFileTime &time, int dateFormat, int timeFormat)
{
    char buffer[CFileTime::kDateTimeTextSize];
    return time.GetAsString(buffer, dateFormat, timeFormat);
}

const char16_t *ToStringW(const CFileTime &time, char16_t *buffer, int dateFormat, int timeFormat)
{
    return time.GetAsStringW(buffer, dateFormat, timeFormat);
}

const char16_t *ToStringW(timecode_t timecode, char16_t *buffer, int size)
{
    return timecode.ToStringW(buffer, size);
}

CString Bin2String(const void *data, int n)
{
    static const char digits[] = "0123456789ABCDEF";
    CString text;
    if (!data) return text;
    const auto *bytes = static_cast<const uint8_t *>(data);
    for (int i = n - 1; i >= 0; --i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

int String2Bin(const char *text, void *buffer, int n)
{
    if (!buffer || n < 1) return 0;
    auto *bytes = static_cast<uint8_t *>(buffer);
    std::memset(bytes, 0, static_cast<size_t>(n));
    if (!text) return 0;
    CString digits(text);
    digits.Trim();
    digits.MakeUpper();
    if (digits.GetLength() % 2) digits = '0' + digits;
    if (digits.GetLength() > 2 * n) digits = digits.Right(2 * n);
    for (int i = 0; i < digits.GetLength(); ++i)
        if (HexDigit(digits[i]) < 0) return 0;
    for (int pair = 0, end = digits.GetLength(); end > 0; ++pair, end -= 2)
        bytes[pair] =
            static_cast<uint8_t>(HexDigit(digits[end - 2]) << 4 | HexDigit(digits[end - 1]));
    return 1;
}

int ScanNumbers(const char *text, int32_t *numbers, int max)
{
    if (!text || !numbers) return 0;
    int count = 0;
    const char *p = text;
    while (count < max) {
        char *end = nullptr;
        const long long n = std::strtoll(p, &end, 10);
        if (end == p) break;
        numbers[count++] = static_cast<int32_t>(std::clamp<long long>(n, INT32_MIN, INT32_MAX));
        p = end;
    }
    return count;
}
