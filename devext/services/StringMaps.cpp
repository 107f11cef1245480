#include "devext/services/StringMaps.h"

#include <algorithm>
#include <cstring>

namespace {

// Calls visit(key, value) for every pair in the map's order.
template <class Visit> void ForEach(const CMapStringToString &map, Visit visit)
{
    CString key, value;
    for (POSITION pos = map.GetStartPosition(); pos;) {
        map.GetNextAssoc(pos, key, value);
        visit(key, value);
    }
}

void Reset(CStringArray *list)
{
    if (list) list->RemoveAll();
}

void AddTo(CStringArray *list, const CString &key)
{
    if (list) list->Add(key);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

void CopyStringMap(CMapStringToString &dst, const CMapStringToString &src)
{
    if (&dst == &src) return;
    dst.RemoveAll();
    ForEach(src, [&](const CString &k, const CString &v) { dst.SetAt(k, v); });
}

int StringMapToArrays(const CMapStringToString &map, CStringArray &keys, CStringArray &values)
{
    keys.RemoveAll();
    values.RemoveAll();
    ForEach(map, [&](const CString &k, const CString &v) {
        keys.Add(k);
        values.Add(v);
    });
    return 1;
}

int ArraysToStringMap(CMapStringToString &map, const CStringArray &keys, const CStringArray &values)
{
    for (int i = 0; i < keys.GetSize(); ++i)
        map.SetAt(keys[i], i < values.GetSize() ? values[i].GetString() : "");
    return 1;
}

CString StringMapToText(const CMapStringToString &map)
{
    CString text;
    ForEach(map, [&](const CString &k, const CString &v) {
        if (!text.IsEmpty()) text += ';';
        text += k + "=" + v;
    });
    return text;
}

CString StringMapToXmlProp(const CMapStringToString &map)
{
    CString text;
    ForEach(map, [&](const CString &k, const CString &v) {
        if (!text.IsEmpty()) text += ' ';
        text += k + "=\"" + v + "\"";
    });
    return "<" + text + ">";
}

int TextToStringMap(CMapStringToString &map, const char *text)
{
    map.RemoveAll();
    CString rest(text);
    rest.TrimLeft(' ');
    rest.TrimRight();

    CStringArray values;
    for (int open = rest.Find('"'); open >= 0; open = rest.Find('"')) {
        const int close = rest.Find('"', open + 1);
        if (close < 0) return 0;
        values.Add(rest.Mid(open + 1, close - open - 1));
        for (int i = open; i <= close; ++i) rest.SetAt(i, ' ');
    }

    CStringArray names;
    const char *p = rest;
    while (*p) {
        while (*p && IsBlank(*p)) ++p;
        const char *start = p;
        while (*p && !IsBlank(*p)) ++p;
        if (p > start) names.Add(CString(start, static_cast<int>(p - start)));
    }
    if (names.GetSize() != values.GetSize()) return 0;
    return ArraysToStringMap(map, names, values);
}

int ReplaceChar(CString &text, char from, char to)
{
    for (int i = 0; i < text.GetLength(); ++i)
        if (text[i] == from) text.SetAt(i, to);
    return 1;
}

int DiffStringMaps(const CMapStringToString &a, const CMapStringToString &b, CStringArray *onlyInA,
                   CStringArray *onlyInB, CStringArray *changed, CStringArray *same)
{
    Reset(onlyInA);
    Reset(onlyInB);
    Reset(changed);
    Reset(same);
    CString found;
    if (onlyInA)
        ForEach(a, [&](const CString &k, const CString &) {
            if (!b.Lookup(k, found)) onlyInA->Add(k);
        });
    ForEach(b, [&](const CString &k, const CString &v) {
        if (!a.Lookup(k, found))
            AddTo(onlyInB, k);
        else
            AddTo(found.Compare(v) == 0 ? same : changed, k);
    });
    return 1;
}

int DiffStringArrays(const CStringArray &a, const CStringArray &b, CStringArray *onlyInA,
                     CStringArray *onlyInB, CStringArray *same)
{
    CMapStringToString keysA, keysB;
    for (const CString &k : a) keysA.SetAt(k, "");
    for (const CString &k : b) keysB.SetAt(k, "");
    return DiffStringMaps(keysA, keysB, onlyInA, onlyInB, nullptr, same);
}

void StripBrackets(CString &text, const char *opens, const char *closes)
{
    const int n = text.GetLength();
    if (n < 2 || !opens || !closes) return;
    const size_t pairs = std::min(std::strlen(opens), std::strlen(closes));
    for (size_t i = 0; i < pairs; ++i) {
        if (text[0] == opens[i] && text[n - 1] == closes[i]) {
            text = text.Mid(1, n - 2);
            return;
        }
    }
}
