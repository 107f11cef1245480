// The administration services' text lines: the framework's CStrings whose files are named
// relative to the program's directory and get their missing directories made, with a few
// more list operations (compare, join, sort).
#pragma once

#include "KestLib20/CStrings.h"
#include "devext/Devext20Api.h"

namespace devext {

class DEVEXT20_API CStrings : public ::CStrings {
public:
    CStrings() = default;
    CStrings &operator=(const CStringArray &lines)
    {
        ::CStrings::operator=(lines);
        return *this;
    }

    // Creates or truncates the file (directories made first) and writes every line and a
    // line end; 0 when the directories or the file cannot be made.
    int SaveToFile(const char *path) const;
    // Writes the lines behind the end of the file, or as SaveToFile when there is none yet.
    int AppendToFile(const char *path) const;
    using ::CStrings::LoadFromFile;
    using ::CStrings::SaveToFile;

    // 1 when both have as many lines and every line equals its counterpart byte for byte.
    int Compare(const CStringArray &other) const;
    // The separator before every line, the first one included.
    CString Join(char separator) const;
    // Exchange sort in place (byte order, or without regard to case); the number of lines.
    int Sort(int ascending, int caseSensitive);
};

} // namespace devext
