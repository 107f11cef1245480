// Words and numbers taken from the front or back of a text, word casing, splitting and
// packing. Character classes are those of string_traits.h; GBK characters are never split.
#pragma once

#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>

// Copies characters from the start of src up to the first one of charClass into dst (dst
// may be null: only counting; the copy is cut to dstSize characters with the terminator).
// The number of bytes the word has.
int GetFirstWord(const char *src, char *dst, int dstSize, int32_t charClass);
// Skips leading characters of the class and takes the next run of characters not of it as
// word; with remove, deletes both from s. The word's length.
int GetFirstWord(CString &s, CString &word, int32_t charClass, bool remove);
// The trailing run of characters not of the class into dst (cut to dstSize); answers 1.
int GetLastWord(const char *src, char *dst, int dstSize, int32_t charClass);
// The leading decimal digits of s as a number; with remove, deletes them from s. The number
// of digits (0 when s does not begin with one).
int GetFirstNum(CString &s, int32_t &number, bool remove);
// Kept for the callers of the string family: answers 1 and changes nothing.
int GetFirstLast(CString &s, CString &first, CString &last, int32_t charClass);

// A word ending in "#" in upper case, any other in lower case, then its first character in
// upper case. 0 for an empty word.
int FormatWord(char *word);
// The words of src (split at spaces) formatted, joined by single spaces, into dst of dstSize
// characters; 0 when it does not fit.
int FormatSentence(const char *src, char *dst, int dstSize);
int FormatSentence(CString &s);

// Splits text at characters of the class (empty parts dropped); the number of parts.
int StringDispart(const char *text, CStringArray &list, int32_t charClass);
// The space-separated pieces of text (quoted pieces may hold spaces); their number.
int StringExtract(const char *text, CStringArray &list);
// Leading characters c dropped, runs of c made one, trailing white space removed.
void PackString(CString &s, char c);
// Makes s exactly n bytes long, padded with fill or cut on a character boundary (then padded
// up to n); n below 0 leaves s unchanged.
void SetStringSize(CString &s, int n, char fill);
