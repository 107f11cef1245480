#include "platform/String.h"

#include "platform/Gbk.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

constexpr size_t npos = std::string_view::npos;
constexpr const char *kWhitespace = " \t\n\v\f\r";

// First character start at or after `start` (walking from `start`) for which
// match(position, byteLength) holds; npos when none does.
template <typename Match> size_t FindChar(std::string_view text, size_t start, Match match)
{
    for (size_t i = start; i < text.size(); i += plat::GbkCharLength(text, i))
        if (match(i, plat::GbkCharLength(text, i))) return i;
    return npos;
}

bool CharInSet(std::string_view set, std::string_view ch)
{
    return FindChar(set, 0, [&](size_t j, size_t n) { return set.substr(j, n) == ch; }) != npos;
}

int ToIndex(size_t pos)
{
    return pos == npos ? -1 : static_cast<int>(pos);
}

std::string VFormat(const char *format, va_list args)
{
    if (!format) return {};
    char small[256];
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, again);
    va_end(again);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

} // namespace

CString::CString(const char *text) : m_text(View(text)) {}

CString::CString(const char *text, int length)
{
    if (text && length > 0) m_text.assign(text, static_cast<size_t>(length));
}

CString::CString(char ch, int repeat) : m_text(repeat > 0 ? static_cast<size_t>(repeat) : 0, ch) {}

CString::CString(std::string_view text) : m_text(text) {}

CString &CString::operator=(const char *text)
{
    m_text = View(text);
    return *this;
}

CString &CString::operator=(char ch)
{
    m_text.assign(1, ch);
    return *this;
}

char CString::GetAt(int index) const
{
    if (index < 0 || index > GetLength()) throw std::out_of_range("CString::GetAt");
    return m_text[static_cast<size_t>(index)];
}

void CString::SetAt(int index, char ch)
{
    if (index < 0 || index >= GetLength()) throw std::out_of_range("CString::SetAt");
    m_text[static_cast<size_t>(index)] = ch;
}

CString &CString::operator+=(const CString &text)
{
    m_text += text.m_text;
    return *this;
}

CString &CString::operator+=(const char *text)
{
    m_text += View(text);
    return *this;
}

CString &CString::operator+=(char ch)
{
    m_text += ch;
    return *this;
}

int CString::Compare(const char *text) const
{
    return m_text.compare(View(text));
}

int CString::CompareNoCase(const char *text) const
{
    return plat::GbkCompareNoCase(m_text, View(text));
}

CString CString::Mid(int first) const
{
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const
{
    first = std::max(first, 0);
    count = std::max(count, 0);
    if (first >= GetLength()) return {};
    count = std::min(count, GetLength() - first);
    return CString(
        std::string_view(m_text).substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const
{
    return Mid(0, count);
}

CString CString::Right(int count) const
{
    count = std::clamp(count, 0, GetLength());
    return Mid(GetLength() - count, count);
}

CString &CString::MakeUpper()
{
    plat::GbkToUpper(m_text);
    return *this;
}

CString &CString::MakeLower()
{
    plat::GbkToLower(m_text);
    return *this;
}

CString &CString::MakeReverse()
{
    // Characters change places; the two bytes of a GBK character keep their order.
    std::string out(m_text.size(), '\0');
    FindChar(m_text, 0, [&](size_t i, size_t n) {
        m_text.copy(out.data() + out.size() - i - n, n, i);
        return false;
    });
    m_text.swap(out);
    return *this;
}

int CString::Find(char ch, int start) const
{
    if (start < 0 || start >= GetLength()) return -1;
    return ToIndex(FindChar(m_text, static_cast<size_t>(start),
                            [&](size_t i, size_t n) { return n == 1 && m_text[i] == ch; }));
}

int CString::Find(const char *text, int start) const
{
    if (!text || start < 0 || start > GetLength()) return -1;
    const std::string_view sub(text);
    if (sub.empty()) return start;
    return ToIndex(FindChar(m_text, static_cast<size_t>(start), [&](size_t i, size_t) {
        return m_text.compare(i, sub.size(), sub) == 0;
    }));
}

int CString::ReverseFind(char ch) const
{
    size_t last = npos;
    FindChar(m_text, 0, [&](size_t i, size_t n) {
        if (n == 1 && m_text[i] == ch) last = i;
        return false;
    });
    return ToIndex(last);
}

int CString::FindOneOf(const char *chars) const
{
    const std::string_view set = View(chars);
    const std::string_view text = m_text;
    return ToIndex(
        FindChar(text, 0, [&](size_t i, size_t n) { return CharInSet(set, text.substr(i, n)); }));
}

int CString::Replace(char oldCh, char newCh)
{
    if (oldCh == newCh) return 0;
    int count = 0;
    FindChar(m_text, 0, [&](size_t i, size_t n) {
        if (n == 1 && m_text[i] == oldCh) {
            m_text[i] = newCh;
            ++count;
        }
        return false;
    });
    return count;
}

int CString::Replace(const char *oldText, const char *newText)
{
    const std::string_view from = View(oldText);
    if (from.empty()) return 0;
    // Built apart so that newText may point into this text.
    std::string out;
    int count = 0;
    for (size_t i = 0; i < m_text.size();) {
        if (m_text.compare(i, from.size(), from) == 0) {
            out += View(newText);
            i += from.size();
            ++count;
        } else {
            const size_t n = plat::GbkCharLength(m_text, i);
            out.append(m_text, i, n);
            i += n;
        }
    }
    if (count > 0) m_text.swap(out);
    return count;
}

int CString::Remove(char ch)
{
    std::string out;
    out.reserve(m_text.size());
    FindChar(m_text, 0, [&](size_t i, size_t n) {
        if (n != 1 || m_text[i] != ch) out.append(m_text, i, n);
        return false;
    });
    const int removed = GetLength() - static_cast<int>(out.size());
    m_text.swap(out);
    return removed;
}

int CString::Insert(int index, char ch)
{
    m_text.insert(static_cast<size_t>(std::clamp(index, 0, GetLength())), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const char *text)
{
    index = std::clamp(index, 0, GetLength());
    m_text.insert(static_cast<size_t>(index), std::string(View(text)));
    return GetLength();
}

int CString::Delete(int index, int count)
{
    index = std::max(index, 0);
    count = std::min(std::max(count, 0), GetLength() - index);
    if (count > 0) m_text.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

CString &CString::TrimLeft()
{
    return TrimLeft(kWhitespace);
}
CString &CString::TrimLeft(char ch)
{
    return TrimLeft(std::string(1, ch).c_str());
}

CString &CString::TrimLeft(const char *chars)
{
    const std::string_view set = View(chars);
    const std::string_view text = m_text;
    const size_t keep =
        FindChar(text, 0, [&](size_t i, size_t n) { return !CharInSet(set, text.substr(i, n)); });
    m_text.erase(0, keep);
    return *this;
}

CString &CString::TrimRight()
{
    return TrimRight(kWhitespace);
}
CString &CString::TrimRight(char ch)
{
    return TrimRight(std::string(1, ch).c_str());
}

CString &CString::TrimRight(const char *chars)
{
    // Found walking forward: only there are character boundaries known.
    const std::string_view set = View(chars);
    const std::string_view text = m_text;
    size_t end = 0;
    FindChar(text, 0, [&](size_t i, size_t n) {
        if (!CharInSet(set, text.substr(i, n))) end = i + n;
        return false;
    });
    m_text.resize(end);
    return *this;
}

CString &CString::Trim()
{
    return TrimRight().TrimLeft();
}
CString &CString::Trim(char ch)
{
    return TrimRight(ch).TrimLeft(ch);
}
CString &CString::Trim(const char *chars)
{
    return TrimRight(chars).TrimLeft(chars);
}

CString CString::SpanIncluding(const char *chars) const
{
    const std::string_view set = View(chars);
    const std::string_view text = m_text;
    return CString(text.substr(0, FindChar(text, 0, [&](size_t i, size_t n) {
                                   return !CharInSet(set, text.substr(i, n));
                               })));
}

CString CString::SpanExcluding(const char *chars) const
{
    const std::string_view set = View(chars);
    const std::string_view text = m_text;
    return CString(text.substr(0, FindChar(text, 0, [&](size_t i, size_t n) {
                                   return CharInSet(set, text.substr(i, n));
                               })));
}

void CString::Format(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

// Formatted apart first: an argument may point into this text.
void CString::FormatV(const char *format, va_list args)
{
    m_text = VFormat(format, args);
}

void CString::AppendFormat(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    m_text += VFormat(format, args);
    va_end(args);
}

char *CString::GetBuffer(int minLength)
{
    if (minLength > GetLength()) m_text.resize(static_cast<size_t>(minLength));
    return m_text.data();
}

char *CString::GetBufferSetLength(int length)
{
    m_text.resize(static_cast<size_t>(std::max(length, 0)));
    return m_text.data();
}

void CString::ReleaseBuffer(int newLength)
{
    const size_t n = newLength < 0 ? strnlen(m_text.data(), m_text.size())
                                   : std::min(static_cast<size_t>(newLength), m_text.size());
    m_text.resize(n);
}
