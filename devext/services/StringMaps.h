// Operations over maps from text to text: copies, parallel arrays, the text forms
// k=v;k=v and <k="v" ...>, the parse of name "value" lists, and differences between maps
// and between lists of names.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

// Empties `dst`, then copies every pair of `src`.
DEVEXT20_API void CopyStringMap(CMapStringToString &dst, const CMapStringToString &src);
// Keys and values in the map's order; 1.
DEVEXT20_API int StringMapToArrays(const CMapStringToString &map, CStringArray &keys,
                                   CStringArray &values);
// Entry keys[i] becomes values[i], or "" where the values run out; 1.
DEVEXT20_API int ArraysToStringMap(CMapStringToString &map, const CStringArray &keys,
                                   const CStringArray &values);
// key=value pairs joined by ";".
DEVEXT20_API CString StringMapToText(const CMapStringToString &map);
// "<" + the pairs as key="value" separated by one blank + ">".
DEVEXT20_API CString StringMapToXmlProp(const CMapStringToString &map);
// Names each followed by a value in double quotes (a "1" b "2"): 1 and the map filled when
// names and values pair up; 0 for an unmatched quote or a count that differs. The map is
// emptied first.
DEVEXT20_API int TextToStringMap(CMapStringToString &map, const char *text);
// Every byte `from` becomes `to`; 1.
DEVEXT20_API int ReplaceChar(CString &text, char from, char to);
// Keys only in a, keys only in b, keys of b whose value differs in a, and keys of b with the
// same value in a (byte comparison). Each list may be null and is emptied first; 1.
DEVEXT20_API int DiffStringMaps(const CMapStringToString &a, const CMapStringToString &b,
                                CStringArray *onlyInA, CStringArray *onlyInB, CStringArray *changed,
                                CStringArray *same);
// The same over two lists of names.
DEVEXT20_API int DiffStringArrays(const CStringArray &a, const CStringArray &b,
                                  CStringArray *onlyInA, CStringArray *onlyInB, CStringArray *same);
// Removes the first pair (opens[i], closes[i]) that encloses a text of 2 or more characters.
DEVEXT20_API void StripBrackets(CString &text, const char *opens, const char *closes);
