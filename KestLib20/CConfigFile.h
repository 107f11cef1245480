// An editable configuration text file held in memory: sections in square brackets and key
// lines "key = value", with comments and text lines kept. Lookups ignore case (GBK-aware).
// Writing back normalises the layout: sections that were split are merged in the place of
// their first appearance, keys are padded to a multiple of 8, values are quoted.
#pragma once

#include "KestLib20/IStringAccess.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <memory>

class CConfigFile {
public:
    CConfigFile();
    ~CConfigFile();
    CConfigFile(const CConfigFile &) = delete;
    CConfigFile &operator=(const CConfigFile &) = delete;

    // Appends the lines to those held; the number of lines held.
    int LoadFromStrings(const CStringArray &lines);
    // Appends the lines of the file (none when it is missing or unreadable).
    int LoadFromFile(const char *path);

    // The value of the first key line of that section and key; 0, value untouched, when none.
    int Read(const char *section, const char *key, CString &value) const;
    // Sets the first matching key line, or appends a header and the key line (the save
    // merges them into the section). 0, nothing changed, for what the file cannot hold: an
    // empty key, a key holding "=", a double quote or "//" or beginning with "[", a section
    // holding "//", or a line break anywhere.
    int Write(const char *section, const char *key, const char *value);
    // Remove every line of the section, or every matching key line; answer 1.
    int DeleteSection(const char *section);
    int DeleteItem(const char *section, const char *key);

    // The section names, each once, in order of first appearance; their number.
    int GetSectionList(CStringArray &list) const;
    // Every line of the section but its headers, in file order, as a save writes it; their
    // number.
    int GetSectionLines(const char *section, CStringArray &lines) const;
    // Key and value of every key line of the section, in file order; their number.
    int GetKeyValueList(const char *section, CStringArray &keys, CStringArray &values) const;

    // The normalised text; the number of lines.
    int SaveToStrings(CStringArray &list);
    // Replaces the file through a temporary file in the same directory, so a reader never
    // sees half a file; 0 when it cannot be written.
    int SaveToFile(const char *path);

    // String access to one key of a file.
    class CAccess : public IStringAccess {
    public:
        CAccess(CConfigFile *file, const char *section, const char *key)
            : m_pFile(file), m_strSection(section), m_strKey(key)
        {
        }
        using IStringAccess::operator=;
        int GetStringData(CString &text) override;
        int SetStringData(const CString &text) override;

    private:
        CConfigFile *m_pFile;
        CString m_strSection;
        CString m_strKey;
    };

private:
    struct _Impl;
    std::unique_ptr<_Impl> m_pImpl;
};
