#include "KestLib20/FormatString.h"

#include "KestLib20/CFileTime.h"
#include "platform/Gbk.h"

#include <cstring>
#include <string_view>

namespace {

CString CurrentUtc(bool withTime)
{
    CFileTime now;
    CFileTime::GetSystemTime(now);
    char text[CFileTime::kDateTimeTextSize];
    return withTime ? now.GetAsString(text) : now.GetDateAsString(text);
}

// The expansion of one "%" conversion; false when `kind` is not one.
bool Convert(char kind, IFormatArgs *args, CString &out)
{
    char c = 0;
    int32_t n = 0;
    CString text;
    switch (kind) {
    case 'C':
        if (args && args->NextChar(c)) out += c;
        return true;
    case 'I':
        if (args && args->NextInteger(n)) out.AppendFormat("%d", n);
        return true;
    case 'S':
        if (args && args->NextText(text)) out += text;
        return true;
    case 'X':
        if (args && args->NextInteger(n)) out.AppendFormat("%X", static_cast<uint32_t>(n));
        return true;
    default:
        return false;
    }
}

// The expansion of one "$" escape; false when `kind` is not one.
bool Escape(char kind, CString &out)
{
    switch (kind) {
    case '$':
    case '%':
        out += kind;
        return true;
    case 'N':
        out += "\r\n";
        return true;
    case 'R':
        out += '\r';
        return true;
    case 'D':
        out += CurrentUtc(false);
        return true;
    case 'T':
        out += CurrentUtc(true);
        return true;
    default:
        return false;
    }
}

} // namespace

int FormatString(const char *format, IFormatArgs *args, CString &text)
{
    text.Empty();
    if (!format) return 1;
    const std::string_view f(format);
    for (size_t i = 0; i < f.size();) {
        const size_t n = plat::GbkCharLength(f, i);
        if (n == 1 && i + 1 < f.size() &&
            ((f[i] == '$' && Escape(f[i + 1], text)) ||
             (f[i] == '%' && Convert(f[i + 1], args, text)))) {
            i += 2;
            continue;
        }
        text += CString(f.substr(i, n));
        i += n;
    }
    return 1;
}

int FormatString(const char *format, IFormatArgs *args, char *buffer, int size)
{
    if (!buffer || size < 1) return 0;
    CString text;
    FormatString(format, args, text);
    const size_t n = plat::GbkCutLength(text, static_cast<size_t>(size - 1));
    std::memcpy(buffer, text.GetString(), n);
    buffer[n] = 0;
    return n == static_cast<size_t>(text.GetLength()) ? 1 : 0;
}
