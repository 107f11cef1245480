#include "KestLib20/CResAccess.h"

#include "KestLib20/IResProvider.h"

#include <cstring>
#include <string>

namespace {

// The held parts as the null-terminated key the providers take.
class CKey {
public:
    explicit CKey(const CStringArray &parts)
    {
        int n = 0;
        for (; n < parts.GetSize() && n < IResProvider::kKeySlots - 1; ++n) m_parts[n] = parts[n];
        m_parts[n] = nullptr;
    }
    operator const char * const *() const { return m_parts; }

private:
    const char *m_parts[IResProvider::kKeySlots];
};

} // namespace

void CResAccess::SetResAddr(const char *path)
{
    std::string copy(path ? path : "");
    const char *parts[IResProvider::kKeySlots];
    int count = IResProvider::kKeySlots;
    IResProvider::AnalysisKey(copy.data(), parts, count, 1);
    m_parts.RemoveAll();
    for (int i = 0; i < count; ++i) m_parts.Add(parts[i]);
}

void CResAccess::SetResAddr(const char *const *parts, const char *part)
{
    m_parts.RemoveAll();
    for (int i = 0; parts && parts[i] && i < IResProvider::kKeySlots - 1; ++i)
        m_parts.Add(parts[i]);
    Go(part);
}

void CResAccess::Go(const char *part)
{
    if (!part || std::strcmp(part, ".") == 0) return;
    if (std::strcmp(part, "..") == 0) {
        if (!m_parts.IsEmpty()) m_parts.RemoveAt(m_parts.GetSize() - 1);
    } else if (m_parts.GetSize() < IResProvider::kKeySlots - 1) {
        m_parts.Add(part);
    }
}

int32_t CResAccess::Access(int32_t operation, int stopAtFirst, const CVariant *in, int32_t inCount,
                           CVariant *out, int32_t outCount)
{
    return IResProvider::SmartAccess(CKey(m_parts), operation, nullptr, stopAtFirst, in, inCount,
                                     out, outCount);
}

int CResAccess::EnumSub(CStringArray &names, const char *pattern, int32_t flags)
{
    return IResProvider::SmartEnumSub(CKey(m_parts), pattern, flags, names);
}

CString CResAccess::GetFullResAddr() const
{
    CString path;
    for (const CString &part : m_parts) {
        if (!path.IsEmpty()) path += '/';
        path += part;
    }
    return path;
}

CResString CResAccess::operator[](const char *key) const
{
    CResString setting;
    setting.SetResAddr(CKey(m_parts), key);
    return setting;
}

int CResString::GetStringData(CString &text)
{
    CVariant value;
    if (!Access(RES_GET, 1, nullptr, 0, &value, 1)) return 0;
    text = value.ToText();
    return 1;
}

int CResString::SetStringData(const CString &text)
{
    const CVariant value = CVariant::FromText(text);
    return Access(RES_SET, 1, &value, 1, nullptr, 0);
}
