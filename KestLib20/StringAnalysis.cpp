#include "KestLib20/StringAnalysis.h"

#include "KestLib20/string_traits.h"
#include "platform/Gbk.h"

#include <string_view>
#include <vector>

namespace {

size_t CharLength(std::string_view text, size_t i)
{
    return plat::GbkCharLength(text, i);
}

// An item split at its first separator; an item without one is a key with an empty value.
void AddItem(CStringArray &keys, CStringArray &values, const CString &item, char separator)
{
    CString key, value;
    if (item.Find(separator) >= 0) {
        StringAnalysis_KeyValue(item, separator, key, value);
    } else {
        key = item;
        key.Trim();
    }
    keys.Add(key);
    values.Add(value);
}

// ASCII letters fold to upper case; a GBK character compares as its two bytes.
bool SameChar(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    if (a.size() == 1) {
        auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        return fold(a[0]) == fold(b[0]);
    }
    return a == b;
}

bool WildcardMatch(std::string_view text, std::string_view pattern)
{
    size_t t = 0, p = 0;
    size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        const size_t tn = CharLength(text, t);
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' ||
                    SameChar(text.substr(t, tn), pattern.substr(p, CharLength(pattern, p))))) {
            p += pattern[p] == '?' ? 1 : CharLength(pattern, p);
            t += tn;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            starT += CharLength(text, starT);
            t = starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

} // namespace

int StringAnalysis_Array(const char *text, char separator, CStringArray &list)
{
    list.RemoveAll();
    if (!text) return 0;
    const std::string_view s(text);
    CString item;
    auto flush = [&] {
        item.Trim();
        if (!item.IsEmpty()) list.Add(item);
        item.Empty();
    };
    for (size_t i = 0; i < s.size();) {
        const size_t n = CharLength(s, i);
        if (n == 1 && s[i] == '"') {
            const size_t close = s.find('"', i + 1);
            const size_t end = close == s.npos ? s.size() : close;
            list.Add(CString(s.substr(i + 1, end - i - 1)));
            item.Empty();
            i = close == s.npos ? s.size() : close + 1;
            continue;
        }
        if (n == 1 && s[i] == separator)
            flush();
        else
            item += CString(s.substr(i, n));
        i += n;
    }
    flush();
    return list.GetSize();
}

int StringAnalysis_KeyValue(const char *text, char separator, CString &key, CString &value)
{
    if (!text) return 0;
    const CString s(text);
    const int at = s.Find(separator);
    if (at < 0) return 0;
    value = s.Mid(at + 1);
    value.Trim();
    if (value.GetLength() >= 2 && value[0] == '"' && value[value.GetLength() - 1] == '"')
        value = value.Mid(1, value.GetLength() - 2);
    key = s.Left(at);
    key.Trim();
    return key.GetLength();
}

bool StringAnalysis_Bracket(const char *text, const char *opens, const char *closes)
{
    if (!text || !opens || !closes) return false;
    CString s(text);
    s.Trim(' ');
    const int n = s.GetLength();
    if (n < 2) return false;
    for (int i = 0; opens[i] && closes[i]; ++i)
        if (s[0] == opens[i] && s[n - 1] == closes[i]) return true;
    return false;
}

int StringAnalysis_DosParam(const char *text, CStringArray &keys, CStringArray &values)
{
    keys.RemoveAll();
    values.RemoveAll();
    CStringArray items;
    StringAnalysis_Array(text, ' ', items);
    for (const CString &item : items) AddItem(keys, values, item, ':');
    return keys.GetSize();
}

int StringAnalysis_UrlParam(const char *text, CStringArray &keys, CStringArray &values)
{
    keys.RemoveAll();
    values.RemoveAll();
    if (!text) return 0;
    const CString s(text);
    for (int start = 0; start <= s.GetLength();) {
        int end = s.Find('&', start);
        if (end < 0) end = s.GetLength();
        CString item = s.Mid(start, end - start);
        item.Trim();
        if (!item.IsEmpty()) {
            string_traits<char>::TrimBracket(item.GetBuffer(item.GetLength()), "\"{[", "\"}]");
            item.ReleaseBuffer();
            AddItem(keys, values, item, '=');
        }
        start = end + 1;
    }
    return keys.GetSize();
}

int StringAnalysis_XmlProp(const char *text, CStringArray &keys, CStringArray &values)
{
    keys.RemoveAll();
    values.RemoveAll();
    if (!text) return 0;
    CString s(text);
    s.Trim();
    if (StringAnalysis_Bracket(s, "<{", ">}")) s = s.Mid(1, s.GetLength() - 2);
    std::vector<int> quotes;
    for (int i = s.Find('"'); i >= 0; i = s.Find('"', i + 1)) quotes.push_back(i);
    if (quotes.size() % 2) return 0;
    for (size_t q = 0; q < quotes.size(); q += 2) {
        values.Add(s.Mid(quotes[q] + 1, quotes[q + 1] - quotes[q] - 1));
        for (int i = quotes[q]; i <= quotes[q + 1]; ++i) s.SetAt(i, ' ');
    }
    // What remains is the names; the quoted stretches are now blank.
    string_traits<char>::ReplaceChr(s.GetBuffer(s.GetLength()), "=,;", ' ');
    s.ReleaseBuffer();
    StringAnalysis_Array(s, ' ', keys);
    if (keys.GetSize() != values.GetSize()) {
        keys.RemoveAll();
        values.RemoveAll();
        return 0;
    }
    return 1;
}

int StringExprDosTest(const char *text, const char *pattern)
{
    if (!pattern || !text || !*text) return 1;
    return WildcardMatch(text, pattern) ? 1 : 0;
}

int StringExprSetTest(const char *, const char *)
{
    return 1;
}

int StringExprRexTest(const char *, const char *)
{
    return 1;
}
