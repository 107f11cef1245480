// The text forms that settings and messages use: quoted comma lists, key=value pairs,
// XML-style properties (name="value" ...), URL parameters (a=1&b=2), DOS-style parameters
// (/key:value) and file-name patterns.
#pragma once

#include "platform/Collections.h"
#include "platform/String.h"

// Empties `list` and fills it with the items of `text` separated by `separator`: an item in
// double quotes is kept exactly as written (also when empty); any other item is trimmed and
// dropped when empty. The number of items; 0 for a null text.
int StringAnalysis_Array(const char *text, char separator, CStringArray &list);

// Splits `text` at its first separator: key before it and value after it, both trimmed, the
// value without one pair of surrounding double quotes. Answers the key's length; 0, with
// key and value untouched, for a null text or a text without the separator.
int StringAnalysis_KeyValue(const char *text, char separator, CString &key, CString &value);

// Whether the text, without surrounding spaces, begins with opens[i] and ends with closes[i]
// for some i.
bool StringAnalysis_Bracket(const char *text, const char *opens, const char *closes);

// In each of the forms below an item without its separator is a key with an empty value.
// Empties both lists, fills them in order and answers the number of pairs.
//
// Items separated by spaces (quoted items may hold spaces), each split at its first ":".
int StringAnalysis_DosParam(const char *text, CStringArray &keys, CStringArray &values);
// Items separated by "&", each without one outer pair of "", {} or [], split at its first "=".
int StringAnalysis_UrlParam(const char *text, CStringArray &keys, CStringArray &values);

// name="value" properties separated by spaces, commas or semicolons, the whole optionally in
// <> or {}. Values cannot hold double quotes. Answers 1; 0, with both lists empty, when the
// quotes are unbalanced or names and values do not pair up.
int StringAnalysis_XmlProp(const char *text, CStringArray &keys, CStringArray &values);

// Whether `text` matches the file-name pattern ("*" any run, "?" any one character, case
// ignored). A null pattern or an empty text matches.
int StringExprDosTest(const char *text, const char *pattern);
// Set and regular-expression patterns are not evaluated: every text matches.
int StringExprSetTest(const char *text, const char *pattern);
int StringExprRexTest(const char *text, const char *pattern);
