// One line of a configuration text file: a section header "[name]", a key line
// "key = value", or a text line (blank, comment, or anything else), each with its trailing
// "//" comment. Parsing and writing back follow the file's grammar.
#pragma once

#include "platform/String.h"

#include <cstdint>

struct CConfigLine {
    enum : int32_t { kText = 0, kSection = 1, kKey = 2 };

    int32_t nKind = kText;
    CString strSection; // the section the line belongs to (a header's own name)
    CString strKey;
    CString strValue;
    // A text line's whole text; for other lines the trailing comment with its "//".
    CString strComment;

    // Parses one line (its section is left to the caller). Tabs read as spaces; a "//"
    // outside double quotes starts a comment; a line of three characters or fewer, a header
    // without a name and a line with no "=" after its first character are text lines, kept
    // as written.
    void LoadFromString(const char *line);
    // The line as written back, a key line with its key padded to keyWidth. A value that is
    // not bracketed by <>, {}, [] or "" has its double quotes made apostrophes (also in the
    // held value) and is written in double quotes. A comment starts at column 65, or four
    // spaces behind a longer text.
    CString SaveToString(int keyWidth);

    // Position of the first "//" outside a double-quoted stretch (a quote without a partner
    // is an ordinary character), or -1.
    static int FindComment(const CString &text);
};
