// Settings files from arbitrary text: every key line listed reads back, a saved file reads
// back the same values, and a write that reports success reads back what was written.
#include "tests/fuzz/FuzzInput.h"

#include "KestLib20/CConfigFile.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const std::string section = in.Text(), key = in.Text(), value = in.Text();
    CStringArray lines;
    for (const std::string &line : fuzz::Lines(in.Rest())) lines.Add(CString(line.c_str()));

    CConfigFile file;
    file.LoadFromStrings(lines);
    const std::vector<Entry> entries = Listed(file);
    for (const Entry &entry : entries) {
        CString read;
        FUZZ_CHECK(file.Read(entry.section, entry.key, read) == 1);
        FUZZ_CHECK(read == entry.value);
    }

    CStringArray saved;
    file.SaveToStrings(saved);
    CConfigFile again;
    again.LoadFromStrings(saved);
    for (const Entry &entry : entries) {
        CString read;
        FUZZ_CHECK(again.Read(entry.section, entry.key, read) == 1);
        FUZZ_CHECK(read == entry.value);
    }

    if (again.Write(section.c_str(), key.c_str(), value.c_str()) == 1) {
        CString read;
        FUZZ_CHECK(again.Read(section.c_str(), key.c_str(), read) == 1);
        FUZZ_CHECK(read == value.c_str());
    }
    again.DeleteItem(section.c_str(), key.c_str());
    again.DeleteSection(section.c_str());
    return 0;
}
