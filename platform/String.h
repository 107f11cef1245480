// CString: the system's byte text (GBK for Chinese), with the familiar class-library API.
// Character-level operations (searching, trimming, replacing single characters, reversing,
// casing) see GBK two-byte characters as one character: a trail byte never matches on its own.
// Indices, counts and lengths are bytes.
#pragma once

#include "platform/PlatformApi.h"

#include <compare>
#include <concepts>
#include <cstdarg>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

class PLAT_API CString {
public:
    CString() = default;
    CString(const char *text); // null is the empty text
    CString(const char *text, int length);
    explicit CString(char ch, int repeat = 1);
    CString(std::string_view text);

    CString &operator=(const char *text);
    CString &operator=(char ch);

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }

    // Index == GetLength() reads the terminating NUL; anything further throws out_of_range.
    char GetAt(int index) const;
    // Any integer type: with only an int overload, a long index would be ambiguous with the
    // built-in pointer subscript through the const char * conversion.
    template <std::integral I> char operator[](I index) const
    {
        return GetAt(std::in_range<int>(index) ? static_cast<int>(index) : -1);
    }
    void SetAt(int index, char ch);

    // Never null. Stops at the first embedded NUL, as every C string does.
    operator const char *() const { return m_text.c_str(); }
    const char *GetString() const { return m_text.c_str(); }

    CString &operator+=(const CString &text);
    CString &operator+=(const char *text);
    CString &operator+=(char ch);

    int Compare(const char *text) const;
    int CompareNoCase(const char *text) const;

    // Out-of-range arguments are clamped to the text.
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;

    CString &MakeUpper();
    CString &MakeLower();
    CString &MakeReverse();

    // -1 when absent, and for a start outside the text.
    int Find(char ch, int start = 0) const;
    int Find(const char *text, int start = 0) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char *chars) const;

    // Return the number of replacements or removals.
    int Replace(char oldCh, char newCh);
    int Replace(const char *oldText, const char *newText);
    int Remove(char ch);

    // Return the new length. Insert past the end appends.
    int Insert(int index, char ch);
    int Insert(int index, const char *text);
    int Delete(int index, int count = 1);

    CString &TrimLeft();
    CString &TrimLeft(char ch);
    CString &TrimLeft(const char *chars);
    CString &TrimRight();
    CString &TrimRight(char ch);
    CString &TrimRight(const char *chars);
    CString &Trim();
    CString &Trim(char ch);
    CString &Trim(const char *chars);

    CString SpanIncluding(const char *chars) const;
    CString SpanExcluding(const char *chars) const;

    // printf formatting of any length. Pass a CString argument as (const char *)s.
    void Format(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char *format, va_list args);
    void AppendFormat(const char *format, ...) __attribute__((format(printf, 2, 3)));

    // Direct writing: GetBuffer(n) gives room for at least n bytes plus a NUL; ReleaseBuffer
    // sets the length (-1: up to the first NUL).
    char *GetBuffer(int minLength);
    char *GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

    friend bool operator==(const CString &a, const CString &b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString &a, const char *b) { return a.m_text == View(b); }
    friend std::strong_ordering operator<=>(const CString &a, const CString &b)
    {
        return a.m_text.compare(b.m_text) <=> 0;
    }
    friend std::strong_ordering operator<=>(const CString &a, const char *b)
    {
        return a.m_text.compare(View(b)) <=> 0;
    }

    friend CString operator+(const CString &a, const CString &b)
    {
        return Concat(a.m_text, b.m_text);
    }
    friend CString operator+(const CString &a, const char *b) { return Concat(a.m_text, View(b)); }
    friend CString operator+(const char *a, const CString &b) { return Concat(View(a), b.m_text); }
    friend CString operator+(const CString &a, char b) { return Concat(a.m_text, {&b, 1}); }
    friend CString operator+(char a, const CString &b) { return Concat({&a, 1}, b.m_text); }

private:
    static std::string_view View(const char *text) { return text ? text : ""; }
    static CString Concat(std::string_view a, std::string_view b)
    {
        CString r;
        r.m_text.reserve(a.size() + b.size());
        r.m_text.append(a).append(b);
        return r;
    }

    std::string m_text;
};

template <> struct std::hash<CString> {
    size_t operator()(const CString &s) const noexcept
    {
        return std::hash<std::string_view>{}(
            std::string_view(s.GetString(), static_cast<size_t>(s.GetLength())));
    }
};
