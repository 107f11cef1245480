#include "KestLib20/IStringAccess.h"

#include "KestLib20/StringAnalysis.h"
#include "KestLib20/StringConvert.h"

#include <cstdlib>

namespace {

// The C atoi rule without its undefined overflow: the low 32 bits of the decimal number.
int32_t AtoI(const char *text)
{
    return static_cast<int32_t>(std::strtoll(text, nullptr, 10));
}

// The text without surrounding white space and one outer pair of <>, [] or {}.
CString WithoutBracket(const CString &text)
{
    CString inner(text);
    inner.Trim();
    if (StringAnalysis_Bracket(inner, "<[{", ">]}")) inner = inner.Mid(1, inner.GetLength() - 2);
    return inner;
}

int HexPair(const CString &text, int at)
{
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    const int high = digit(text[at]), low = digit(text[at + 1]);
    return high < 0 || low < 0 ? -1 : high << 4 | low;
}

template <typename Array, typename Convert>
int ConvertItems(IStringAccess &access, Array &list, Convert convert)
{
    CStringArray items;
    access.GetAsStringArray(items, "");
    list.RemoveAll();
    for (const CString &item : items) list.Add(convert(item));
    return list.GetSize();
}

template <typename Array, typename Format>
CStringArray FormatItems(const Array &list, Format format)
{
    CStringArray items;
    for (const auto &value : list) items.Add(format(value));
    return items;
}

} // namespace

template <typename Change> int IStringAccess::Edit(Change change)
{
    CString text;
    if (!GetStringData(text)) return 0;
    change(text);
    return SetStringData(text);
}

CString IStringAccess::GetAsString(const char *def)
{
    CString text;
    return GetStringData(text) ? text : CString(def);
}

IStringAccess &IStringAccess::operator=(const char *text)
{
    SetStringData(CString(text));
    return *this;
}

int32_t IStringAccess::GetAsInteger(int32_t def)
{
    CString text;
    if (!GetStringData(text)) return def;
    char *end = nullptr;
    const long long n = std::strtoll(text, &end, 10);
    return end == text.GetString() ? def : static_cast<int32_t>(n);
}

int IStringAccess::SetAsInteger(int32_t value, int format)
{
    // An unknown format writes nothing rather than erase the setting with an empty text.
    switch (format) {
    case 0:
    case 'i':
    case 'X':
    case 'x':
    case 'u':
        return SetStringData(ToString(value, format));
    default:
        return 0;
    }
}

bool IStringAccess::GetAsBool(bool def)
{
    CString text;
    return GetStringData(text) ? StrToBool(text, def) : def;
}

int IStringAccess::SetAsBool(bool value, int /*format*/)
{
    return SetStringData(BoolToString(value));
}

double IStringAccess::GetAsFloat(double def)
{
    CString text;
    return GetStringData(text) ? StrToFloat(text, def) : def;
}

int IStringAccess::SetAsFloat(double value, int /*format*/)
{
    return SetStringData(ToString(value));
}

int IStringAccess::GetAsStringArray(CStringArray &list, const char *def)
{
    CString text;
    if (!GetStringData(text)) text = def;
    return StringAnalysis_Array(WithoutBracket(text), ',', list);
}

int IStringAccess::SetAsStringArray(const CStringArray &list, int bracket)
{
    return SetStringData('{' + ToString(list, bracket) + '}');
}

int IStringAccess::GetAsDWordArray(CDWordArray &list)
{
    return ConvertItems(*this, list,
                        [](const CString &s) { return static_cast<uint32_t>(AtoI(s)); });
}

int IStringAccess::GetAsIntArray(CArray<int32_t, int32_t> &list)
{
    return ConvertItems(*this, list, [](const CString &s) { return AtoI(s); });
}

int IStringAccess::GetAsFloatArray(CArray<double, double> &list)
{
    return ConvertItems(*this, list, [](const CString &s) { return std::atof(s); });
}

int IStringAccess::SetAsDWordArray(const CDWordArray &list)
{
    return SetAsStringArray(
        FormatItems(list, [](uint32_t v) { return ToString(static_cast<int32_t>(v)); }));
}

int IStringAccess::SetAsIntArray(const CArray<int32_t, int32_t> &list)
{
    return SetAsStringArray(FormatItems(list, [](int32_t v) { return ToString(v); }));
}

int IStringAccess::SetAsFloatArray(const CArray<double, double> &list)
{
    return SetAsStringArray(FormatItems(list, [](double v) { return ToString(v); }));
}

uint32_t IStringAccess::GetAsColor(uint32_t def)
{
    CString text;
    if (!GetStringData(text) || text.IsEmpty()) return def;
    if (text[0] == '{' || text[0] == '<' || text[0] == '[') {
        CStringArray items;
        if (StringAnalysis_Array(WithoutBracket(text), ',', items) < 3) return def;
        uint32_t color = 0;
        for (int i = 0; i < 3; ++i)
            color |= (static_cast<uint32_t>(AtoI(items[i])) & 0xFF) << (8 * i);
        return color;
    }
    if (text[0] == '#' && text.GetLength() >= 7) {
        uint32_t color = 0;
        for (int i = 0; i < 3; ++i) {
            const int byte = HexPair(text, 1 + 2 * i);
            if (byte < 0) return def;
            color |= static_cast<uint32_t>(byte) << (8 * i);
        }
        return color;
    }
    return def;
}

int IStringAccess::SetAsColor(uint32_t color, int format)
{
    const unsigned red = color & 0xFF, green = color >> 8 & 0xFF, blue = color >> 16 & 0xFF;
    CString text;
    switch (format) {
    case 0:
    case 'Z':
    case 'z':
        text.Format("{\"%u\",\"%u\",\"%u\"}", red, green, blue);
        break;
    case 'H':
    case 'h':
        text.Format("#%02X%02X%02X", red, green, blue);
        break;
    default:
        return 0; // as for SetAsInteger
    }
    return SetStringData(text);
}

int IStringAccess::TrimLeft(char c)
{
    return Edit([c](CString &t) { t.TrimLeft(c); });
}

int IStringAccess::TrimRight(char c)
{
    return Edit([c](CString &t) { t.TrimRight(c); });
}

int IStringAccess::Trim(char c)
{
    return Edit([c](CString &t) { t.Trim(c); });
}

int IStringAccess::MakeUpper()
{
    return Edit([](CString &t) { t.MakeUpper(); });
}

int IStringAccess::MakeLower()
{
    return Edit([](CString &t) { t.MakeLower(); });
}

int CStringAccess::GetStringData(CString &text)
{
    if (!m_pText) return 0;
    text = *m_pText;
    return 1;
}

int CStringAccess::SetStringData(const CString &text)
{
    if (!m_pText) return 0;
    *m_pText = text;
    return 1;
}
