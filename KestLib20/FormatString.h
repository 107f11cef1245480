// Expands a message template: "$$" and "$%" give that character, "$N" CR LF, "$R" CR, "$D"
// the current UTC date and "$T" the current UTC date and time (text forms of CFileTime);
// "%C", "%I", "%S" and "%X" take the next argument as a character, a decimal integer, a
// text or an upper-case hexadecimal number. Anything else is copied as it stands.
#pragma once

#include "platform/String.h"

#include <cstdint>

// Where the arguments of a template come from, one after the other. Each call takes the next
// argument; false when there is none (the conversion then gives nothing).
class IFormatArgs {
public:
    virtual ~IFormatArgs() = default;
    virtual bool NextChar(char &c) = 0;
    virtual bool NextInteger(int32_t &value) = 0;
    virtual bool NextText(CString &text) = 0;
};

// Into buffer of `size` characters: 0 (with as much as fits) when the output does not fit,
// else 1. Null arguments read as none.
int FormatString(const char *format, IFormatArgs *args, char *buffer, int size);
int FormatString(const char *format, IFormatArgs *args, CString &text);
