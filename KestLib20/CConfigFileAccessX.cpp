#include "KestLib20/CConfigFileAccessX.h"

namespace {

CString NamesAnswer(const CStringArray &names)
{
    CString answer;
    for (const CString &name : names) answer += name + '/';
    return answer;
}

} // namespace

int32_t CConfigFileAccessX::LockServer(int32_t lock)
{
    if (lock)
        m_access.Lock();
    else
        m_access.Unlock();
    return 1;
}

int32_t CConfigFileAccessX::OnDelete(const char *const *rest, int32_t *handled)
{
    switch (KeyLength(rest)) {
    case 0:
        *handled = 1;
        return 0;
    case 1:
        *handled = 1;
        return m_access.DeleteSection(rest[0]);
    case 2:
        *handled = 1;
        return m_access.DeleteItem(rest[0], rest[1]);
    default:
        return 0;
    }
}

int32_t CConfigFileAccessX::OnGet(const char *const *rest, int32_t *handled, CVariant &value)
{
    if (KeyLength(rest) != 2) return 0;
    *handled = 1;
    CString text;
    if (!m_access.Read(rest[0], rest[1], text)) return 0;
    value = CVariant::FromText(text);
    return 1;
}

int32_t CConfigFileAccessX::OnSet(const char *const *rest, int32_t *handled, const CVariant &value)
{
    if (KeyLength(rest) != 2) return 0;
    *handled = 1;
    return m_access.Write(rest[0], rest[1], value.ToText());
}

int32_t CConfigFileAccessX::OnEnumSub(const char *const *rest, CString &answer,
                                      const char * /*pattern*/, int32_t /*flags*/)
{
    CStringArray names;
    switch (KeyLength(rest)) {
    case 0:
        m_access.GetSectionList(names);
        break;
    case 1:
        m_access.GetKeyList(rest[0], "*", names);
        break;
    default:
        return 0;
    }
    answer = NamesAnswer(names);
    return 1;
}
