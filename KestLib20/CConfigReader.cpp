#include "KestLib20/CConfigReader.h"

#include "KestLib20/CConfigLine.h"
#include "KestLib20/CStrings.h"
#include "KestLib20/StringAnalysis.h"

#include <vector>

struct CConfigReader::_Impl {
    struct tagItem {
        int32_t nSection;
        CString strKey;
        CString strValue;
    };
    CStringArray sections;
    std::vector<tagItem> items;

    tagItem *Find(int section, const char *key)
    {
        for (tagItem &item : items)
            if (item.nSection == section && item.strKey.CompareNoCase(key ? key : "") == 0)
                return &item;
        return nullptr;
    }
};

CConfigReader::CConfigReader() : m_pImpl(std::make_unique<_Impl>()) {}

CConfigReader::~CConfigReader() = default;

int CConfigReader::LoadFromFile(const char *path)
{
    CStrings lines;
    if (!lines.LoadFromFile(path)) return 0;
    lines.Pack();
    m_pImpl->sections.RemoveAll();
    m_pImpl->items.clear();
    int section = -1;
    CConfigLine line;
    for (const CString &text : lines) {
        line.LoadFromString(text);
        if (line.nKind == CConfigLine::kSection) {
            section = FindSection(line.strSection);
            if (section < 0) section = m_pImpl->sections.Add(line.strSection);
        } else if (line.nKind == CConfigLine::kKey && section >= 0) {
            m_pImpl->items.push_back({section, line.strKey, line.strValue});
        }
    }
    return 1;
}

int CConfigReader::GetAt(const char *section, const char *key, CString &value) const
{
    const _Impl::tagItem *item = m_pImpl->Find(FindSection(section), key);
    if (!item) return 0;
    value = item->strValue;
    return 1;
}

void CConfigReader::SetAt(const char *section, const char *key, const char *value)
{
    if (!section || !*section) return;
    int index = FindSection(section);
    if (index < 0) index = m_pImpl->sections.Add(section);
    if (_Impl::tagItem *item = m_pImpl->Find(index, key))
        item->strValue = value;
    else
        m_pImpl->items.push_back({index, key, value});
}

int CConfigReader::GetKeyValueList(const char *section, const char *pattern, CStringArray &keys,
                                   CStringArray *values) const
{
    keys.RemoveAll();
    if (values) values->RemoveAll();
    const int index = FindSection(section);
    if (index < 0) return 0;
    for (const auto &item : m_pImpl->items) {
        if (item.nSection != index || !StringExprDosTest(item.strKey, pattern)) continue;
        keys.Add(item.strKey);
        if (values) values->Add(item.strValue);
    }
    return keys.GetSize();
}

int CConfigReader::GetSectionList(CStringArray &list) const
{
    list.Copy(m_pImpl->sections);
    return list.GetSize();
}

int CConfigReader::FindSection(const char *section) const
{
    for (int i = 0; i < m_pImpl->sections.GetSize(); ++i)
        if (m_pImpl->sections[i].CompareNoCase(section ? section : "") == 0) return i;
    return -1;
}
