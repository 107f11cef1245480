// Numbers named by words through a table "name:number;name:number;", boolean words (English
// and Chinese), and hexadecimal text to bytes.
#pragma once

#include "devext/Devext20Api.h"

// Room a caller's buffer needs for FormatNamedValue and FormatBool; longer names are cut.
constexpr int kNamedValueSize = 65;

// A text that reads as an unsigned number gives that number; otherwise its leading word
// (letters lower-cased, at most 64 characters) is looked up as a whole name of the table.
// 1 with the number, 0 when the word is empty or no name of the table is the word.
DEVEXT20_API int ParseNamedValue(unsigned &out, const char *text, const char *table);
// The table's name of `value`, or the number itself when the table has none; 1.
DEVEXT20_API int FormatNamedValue(unsigned value, char *out, const char *table);
// ParseNamedValue over true/false, yes/no, ok/cancel, enable/disable and their Chinese words.
DEVEXT20_API int ParseBool(unsigned &out, const char *text);
// The name of 1 (any non-zero value) or 0 in the table, "true:1;false:0;" when it is absent
// or empty; 1.
DEVEXT20_API int FormatBool(int value, char *out, const char *table);
// Two hexadecimal digits a byte, at most `count` bytes; `count` becomes the number written.
// 0 for a text of odd length.
DEVEXT20_API int HexToBytes(unsigned char *out, int &count, const char *text);
