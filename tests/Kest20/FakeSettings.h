// A settings reader for tests: keys and sub-entries set by the test, installed for the life of
// the object. Paths and keys compare without case, as the resource tree's do.
#pragma once

#include "Kest20/ResourceSeam.h"
#include "platform/Gbk.h"

#include <map>
#include <string>
#include <vector>

class FakeSettings final : public ISettingReader {
public:
    FakeSettings() : m_pPrevious(glSetSettingReader(this)) {}
    ~FakeSettings() { glSetSettingReader(m_pPrevious); }
    FakeSettings(const FakeSettings &) = delete;
    FakeSettings &operator=(const FakeSettings &) = delete;

    void Set(const std::string &path, const std::string &key, const std::string &value)
    {
        m_values[Key(path, key)] = value;
    }
    void SetSubEntries(const std::string &path, std::vector<std::string> entries)
    {
        m_subEntries[path] = std::move(entries);
    }

    CString ReadText(const char *path, const char *key, const char *defaultValue) override
    {
        auto found = m_values.find(Key(path, key));
        return found == m_values.end() ? CString(defaultValue) : CString(found->second.c_str());
    }
    int EnumSub(const char *path, const char *pattern, CStringArray &entries) override
    {
        lastPattern = pattern;
        auto found = m_subEntries.find(path);
        if (found == m_subEntries.end()) return 0;
        for (const std::string &e : found->second) entries.Add(e.c_str());
        return static_cast<int>(found->second.size());
    }

    std::string lastPattern;

private:
    static std::string Key(const std::string &path, const std::string &key)
    {
        std::string text = path + "|" + key;
        plat::GbkToUpper(text);
        return text;
    }

    ISettingReader *m_pPrevious;
    std::map<std::string, std::string> m_values;
    std::map<std::string, std::vector<std::string>> m_subEntries;
};
