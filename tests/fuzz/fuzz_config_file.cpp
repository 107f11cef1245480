// Settings files from arbitrary text: every key line listed reads back, a saved file reads
// back the same values, and a write that reports success reads back what was written.
#include "tests/fuzz/FuzzInput.h"

#include "KestLib20/CConfigFile.h"

#include <cctype>

namespace {

struct Entry {
    CString section, key, value;
};

// What Read answers for every listed key: the value of its first key line in the section.
std::vector<Entry> Listed(const CConfigFile &file)
{
    std::vector<Entry> entries;
    CStringArray sections;
    file.GetSectionList(sections);
    for (int s = 0; s < sections.GetSize(); ++s) {
        CStringArray keys, values;
        file.GetKeyValueList(sections[s], keys, values);
        FUZZ_CHECK(keys.GetSize() == values.GetSize());
        for (int k = 0; k < keys.GetSize(); ++k) {
            bool first = true;
            for (int j = 0; j < k; ++j)
                if (keys[j].CompareNoCase(keys[k]) == 0) first = false;
            if (first) entries.push_back({sections[s], keys[k], values[k]});
        }
    }
    return entries;
}

// A value as a file line can change it: tabs read as spaces, outer white space is trimmed,
// a value that cannot be written as it stands is quoted with its own double quotes becoming
// single ones, and one outer pair of quotes is read off.
CString Unquoted(CString value)
{
    value.Replace('\t', ' ');
    value.Remove('"');
    value.Remove('\'');
    return value.Trim();
}

// A name a file line holds as it is: no outer white space (names are trimmed when read) and
// no tab (read as a space).
bool HeldAsIs(const std::string &name)
{
    if (name.empty()) return true;
    return fuzz::WellFormedGbk(name) && name.find('\t') == std::string::npos &&
           !std::isspace(static_cast<unsigned char>(name.front())) &&
           !std::isspace(static_cast<unsigned char>(name.back()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const std::string section = in.Text(), key = in.Text(), value = in.Text();
    CStringArray lines;
    bool wellFormed = true;
    for (const std::string &line : fuzz::Lines(in.Rest())) {
        lines.Add(CString(line.c_str()));
        wellFormed = wellFormed && fuzz::WellFormedGbk(line.c_str());
    }

    CConfigFile file;
    file.LoadFromStrings(lines);
    const std::vector<Entry> entries = Listed(file);
    for (const Entry &entry : entries) {
        CString read;
        FUZZ_CHECK(file.Read(entry.section, entry.key, read) == 1);
        FUZZ_CHECK(read == entry.value);
    }

    // A saved file reads back the same values (a file that is not well-formed GBK may not).
    CStringArray saved;
    file.SaveToStrings(saved);
    if (!wellFormed) return 0;
    CConfigFile again;
    again.LoadFromStrings(saved);
    for (const Entry &entry : entries) {
        // A name holding a double quote (which Write refuses) makes the quoted value after it
        // read as a quoted span, and a "//" in the value as a comment.
        if (entry.section.Find('"') >= 0 || entry.key.Find('"') >= 0) continue;
        CString read;
        FUZZ_CHECK(again.Read(entry.section, entry.key, read) == 1);
        FUZZ_CHECK(Unquoted(read) == Unquoted(entry.value));
    }

    if (again.Write(section.c_str(), key.c_str(), value.c_str()) == 1) {
        CString read;
        FUZZ_CHECK(again.Read(section.c_str(), key.c_str(), read) == 1);
        FUZZ_CHECK(read == value.c_str());
        // ... also from the saved file, for names that a file line holds as they are.
        if (!HeldAsIs(section) || !HeldAsIs(key) || !fuzz::WellFormedGbk(value)) return 0;
        CStringArray written;
        again.SaveToStrings(written);
        CConfigFile reread;
        reread.LoadFromStrings(written);
        FUZZ_CHECK(reread.Read(section.c_str(), key.c_str(), read) == 1);
        FUZZ_CHECK(Unquoted(read) == Unquoted(value.c_str()));
    }
    again.DeleteItem(section.c_str(), key.c_str());
    again.DeleteSection(section.c_str());
    return 0;
}
