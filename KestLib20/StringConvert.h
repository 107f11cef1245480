// Conversions between values and their text: numbers and bools in the C scanf/printf rules
// that settings use, quoted item lists, raw bytes as hexadecimal, and times.
#pragma once

#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>

class CFileTime;
struct timecode_t;

// "TRUE" or "FALSE" into buffer (null when it does not fit), or as a text; format unused.
char *BoolToString(bool value, char *buffer, int size);
CString BoolToString(bool value, int format = 0);

// C "%i" rule (decimal, "0x" hexadecimal, leading "0" octal, low 32 bits kept); the default
// when the text holds no number.
int32_t StrToInt(const char *text, int32_t def);
// C "%lf" rule; the default when the text holds no number.
double StrToFloat(const char *text, double def);
// A number is true when nonzero; else TRUE, ENABLE, YES or FALSE, DISABLE, NO in any case;
// else the default.
bool StrToBool(const char *text, bool def);

// format 0 or 'i': "%i"; 'X': "%X"; 'x': "%x"; 'u': "%u"; any other: an empty text.
CString ToString(int32_t value, int format = 0);
// "%lf"; format unused.
CString ToString(double value, int format = 0);
CString ToString(const char *text);
// Each item in double quotes (its own double quotes made apostrophes), joined by ",";
// wrapped in <>, [] or {} when bracket is '<', '[' or '{'.
CString ToString(const CStringArray &list, int bracket = 0);
// The text wrapped in <>, [] or {} when bracket is '<', '[' or '{'; else as it is.
CString Bracketed(const CString &text, int bracket);
// Text forms of the time types (see CFileTime and timecode_t).
CString ToString(const CFileTime &time, int dateFormat = 0, int timeFormat = 0);
const char16_t *ToStringW(const CFileTime &time, char16_t *buffer, int dateFormat = 0,
                          int timeFormat = 0);
const char16_t *ToStringW(timecode_t timecode, char16_t *buffer, int size);

// 2n upper-case hexadecimal digits, the last byte first (0x12 0x34 give "3412").
CString Bin2String(const void *data, int n);
// The inverse into n bytes: the text is trimmed, an odd length gets a leading "0", digits
// beyond 2n at the front are dropped, and the pairs are taken from the end. 0, with the
// buffer zeroed, when a kept character is not a hexadecimal digit.
int String2Bin(const char *text, void *buffer, int n);

// Reads up to `max` integers in the C "%d %d ..." way (white space between them, stopping
// at the first thing that is not a number); each saturates at the 32-bit range. Returns how
// many were read.
int ScanNumbers(const char *text, int32_t *numbers, int max);
