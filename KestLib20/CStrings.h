// Lines of text (no line ends stored): the way every text file of the system is read and
// written, with trimming and searches over the lines.
#pragma once

#include "KestLib20/KestLibApi.h"
#include "platform/Collections.h"
#include "platform/StdioFile.h"
#include "platform/String.h"

#include <cstdint>

// A place in the lines: x = column (byte), y = line.
struct tagPOINT {
    int32_t x;
    int32_t y;
};

class KESTLIB_SHARED_TYPE CStrings : public CStringArray {
public:
    CStrings() = default;
    CStrings &operator=(const CStringArray &lines);

    // Text files (CR LF on disk; LF read alike). A file that is missing or cannot be opened
    // leaves no lines and answers 0; other processes may read it meanwhile, not write.
    int LoadFromFile(const char *path);
    // Creates or truncates the file and writes every line; 0 when it cannot be opened or
    // written.
    int SaveToFile(const char *path) const;
    // Writes the lines behind the end of the file (created when missing).
    int AppendToFile(const char *path) const;
    int LoadFromFile(CStdioFile &file);
    int SaveToFile(CStdioFile &file) const;

    // Removes empty lines; the number left.
    int ClearEmpty();
    void TrimLeft();
    void TrimRight();
    // Remove the lines that are empty or white space from the top or the bottom.
    void TrimTop();
    void TrimBottom();
    // Every line trimmed and every empty line gone; the number left.
    int Pack();

    // Index of the first line equal to text (exactly, or ignoring case), or -1.
    int FindLine(const char *text) const;
    int FindLineNoCase(const char *text) const;
    // Every place of the character or text, line by line, left to right (a text search goes
    // on behind the previous match); their number.
    int FindCharAllText(char c, CArray<tagPOINT> &points) const;
    int FindStringAllText(const char *text, CArray<tagPOINT> &points) const;

    // The text strictly after `from` and before `to` (places limited to the text): within one
    // line the characters between the two columns; across lines the rest of the first line,
    // the whole lines between and the start of the last line, joined by single spaces. The
    // text's length.
    int GetString(CString &text, tagPOINT from, tagPOINT to) const;
    // The same pieces as separate lines; their number.
    int GetText(CStringArray &lines, tagPOINT from, tagPOINT to) const;
    // Every line preceded by the separator, concatenated; the number of lines.
    int ToBigString(CString &text, char separator) const;

private:
    CStringArray Pieces(tagPOINT from, tagPOINT to) const;
};
