// Settings for tests: a resource provider mounted at "/etc" for the life of the object,
// serving the keys and sub-entries that the test sets. Paths and keys compare without case,
// as the resource tree's do.
#pragma once

#include "KestLib20/CResProvider.h"
#include "platform/Gbk.h"

#include <map>
#include <string>
#include <vector>

class FakeSettings final : public CResProvider {
public:
    FakeSettings() { Mount("/etc"); }
    ~FakeSettings() override { Unmount(); }

    void Set(const std::string &path, const std::string &key, const std::string &value)
    {
        m_values[Upper(path + "/" + key)] = value;
    }
    void SetSubEntries(const std::string &path, std::vector<std::string> entries)
    {
        m_subEntries[Upper(path)] = std::move(entries);
    }

    std::string lastPattern;

protected:
    int32_t OnGet(const char *const *rest, int32_t *handled, CVariant &value) override
    {
        auto found = m_values.find(PathOf(rest));
        if (found == m_values.end()) return 0;
        *handled = 1;
        value = CVariant::FromText(found->second.c_str());
        return 1;
    }
    int32_t OnEnumSub(const char *const *rest, CString &answer, const char *pattern,
                      int32_t) override
    {
        lastPattern = pattern;
        auto found = m_subEntries.find(PathOf(rest));
        if (found == m_subEntries.end()) return 0;
        for (const std::string &e : found->second) answer += CString(e + "/");
        return 1;
    }

private:
    static std::string Upper(std::string text)
    {
        plat::GbkToUpper(text);
        return text;
    }
    static std::string PathOf(const char *const *rest)
    {
        std::string path = "/etc";
        for (; *rest; ++rest) path += std::string("/") + *rest;
        return Upper(path);
    }

    std::map<std::string, std::string> m_values;
    std::map<std::string, std::vector<std::string>> m_subEntries;
};
