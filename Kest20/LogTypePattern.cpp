#include "Kest20/LogTypePattern.h"

#include "platform/Gbk.h"

void CLogTypeProbe::Set(const char *type)
{
    if (!type) type = "";
    // Messages of one channel tend to come in runs.
    if (!m_probe.empty() && m_type == type) return;
    m_type.assign(type);
    m_bEmpty = !*type;
    m_probe.assign(type);
    plat::GbkToUpper(m_probe);
    m_probe.push_back(';');
}

CLogTypePattern::CLogTypePattern(const char *pattern)
{
    m_bAll = !pattern || !*pattern || *pattern == '*';
    if (m_bAll) return;
    m_list.push_back(';');
    m_list.append(pattern);
    m_list.push_back(';');
    plat::GbkToUpper(m_list);
    // Trail bytes of two-byte characters are 0x40 and above, so none of them is replaced.
    for (char &c : m_list)
        if (c == ' ' || c == ':' || c == '?') c = ';';
}

bool CLogTypePattern::Matches(const CLogTypeProbe &type) const
{
    if (m_bAll || type.m_bEmpty) return true;
    const std::string &probe = type.m_probe;
    // Only at character boundaries: a trail byte does not start a type.
    for (size_t i = 0; i < m_list.size(); i += plat::GbkCharLength(m_list, i))
        if (m_list[i] == probe[0] && m_list.compare(i, probe.size(), probe) == 0) return true;
    return false;
}
