// A read-only configuration text file for fast lookups: the section names and the key lines
// below headers, nothing else (no comments, no text lines, no keys above the first header).
#pragma once

#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>
#include <memory>

class CConfigReader {
public:
    CConfigReader();
    ~CConfigReader();
    CConfigReader(const CConfigReader &) = delete;
    CConfigReader &operator=(const CConfigReader &) = delete;

    // Replaces the contents with the file's; 0, keeping what was held, when the file cannot
    // be read.
    int LoadFromFile(const char *path);

    // Section and key found ignoring case (the first item of a key wins): 1 and the value.
    int GetAt(const char *section, const char *key, CString &value) const;
    // Sets the first matching item or appends one; an empty section does nothing.
    void SetAt(const char *section, const char *key, const char *value);
    // Keys (and values, when a list is given) of the section's items whose key matches the
    // file-name pattern; 0 when the section is missing, else their number.
    int GetKeyValueList(const char *section, const char *pattern, CStringArray &keys,
                        CStringArray *values) const;
    // The section names; their number.
    int GetSectionList(CStringArray &list) const;
    // Index of the section, ignoring case, or -1.
    int FindSection(const char *section) const;

private:
    struct _Impl;
    std::unique_ptr<_Impl> m_pImpl;
};
