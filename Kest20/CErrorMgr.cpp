#include "Kest20/CErrorMgr.h"

#include "Kest20/FrameworkTime.h"
#include "Kest20/KestLog.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr const char *kChannel = "#ERR_MGR";
// How old an entry must be for ClearInvalidErr's default cutoff: 50 frames of 40 ms.
constexpr int64_t kInvalidAge = 50 * 400000LL;

// A source matches when it begins with `from`; a null `from` matches every source.
bool Matches(const CString &source, const char *from)
{
    return !from || std::strncmp(source, from, std::strlen(from)) == 0;
}

enum class Field { From = 1, Description, Param, Ignore, ErrorCode, Level, FileTime };

struct FieldName {
    Field field;
    const char16_t *name; // upper case
};

constexpr FieldName kFieldNames[] = {
    {Field::From, u"FROM"},         {Field::Description, u"DESCRIPTION"}, {Field::Param, u"PARAM"},
    {Field::Ignore, u"IGNORE"},     {Field::ErrorCode, u"ERRORCODE"},     {Field::Level, u"LEVEL"},
    {Field::FileTime, u"FILETIME"},
};

CString Decimal(int32_t value)
{
    CString text;
    text.Format("%d", value);
    return text;
}

} // namespace

int CErrorMgr::OnAdd()
{
    return glReportLog(kChannel, "<OP=\"ADD\">", nullptr);
}

int CErrorMgr::OnDelete()
{
    return glReportLog(kChannel, "<OP=\"DELETE\">", nullptr);
}

int CErrorMgr::OnUpdate()
{
    return glReportLog(kChannel, "<OP=\"UPDATE\">", nullptr);
}

int CErrorMgr::IndexOf(const char *from) const
{
    if (!from) return -1;
    for (int i = 0; i < m_errors.GetSize(); ++i)
        if (m_errors[i].From == from) return i;
    return -1;
}

int CErrorMgr::AddErr(tagError &error)
{
    error.FileTime = GetFrameworkTime();
    bool replaced = false;
    {
        std::lock_guard<CDataLock> lock(m_lock);
        // The source is the key: only an equal source is the same condition.
        int index = IndexOf(error.From);
        if (index >= 0) {
            int32_t ignore = m_errors[index].Ignore;
            m_errors[index] = error;
            m_errors[index].Ignore = ignore;
            replaced = true;
        } else {
            m_errors.Add(error);
        }
    }
    replaced ? OnUpdate() : OnAdd();
    return 1;
}

int CErrorMgr::Modify(const tagError &error)
{
    bool found = false;
    {
        std::lock_guard<CDataLock> lock(m_lock);
        int index = IndexOf(error.From);
        if (index >= 0) {
            m_errors[index] = error;
            found = true;
        }
    }
    if (found) OnUpdate();
    return 1;
}

template <class Pick> int CErrorMgr::RemoveWhere(const char *from, Pick doomed)
{
    int removed = 0;
    {
        std::lock_guard<CDataLock> lock(m_lock);
        for (int i = m_errors.GetSize() - 1; i >= 0; --i) {
            if (Matches(m_errors[i].From, from) && doomed(m_errors[i])) {
                m_errors.RemoveAt(i);
                ++removed;
            }
        }
    }
    if (removed) OnDelete();
    return removed;
}

int CErrorMgr::ClearErr(const char *from)
{
    return RemoveWhere(from, [](const tagError &) { return true; });
}

int CErrorMgr::ClearInvalidErr(const char *from, CFileTime cutoff)
{
    if (cutoff.GetTime() == 0) cutoff = CFileTime(GetFrameworkTime().GetTime() - kInvalidAge);
    return RemoveWhere(from, [&](const tagError &error) { return error.FileTime < cutoff; });
}

int CErrorMgr::DeleteError(const CArray<int32_t> &indexes)
{
    // Highest first, each once, so that a removal never moves an entry still to be removed.
    std::vector<int32_t> doomed(indexes.begin(), indexes.end());
    std::sort(doomed.begin(), doomed.end(), std::greater<>());
    doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
    {
        std::lock_guard<CDataLock> lock(m_lock);
        for (int32_t index : doomed)
            if (index >= 0 && index < m_errors.GetSize()) m_errors.RemoveAt(index);
    }
    OnDelete();
    return 1;
}

int CErrorMgr::IgnoreError(const CArray<int32_t> &indexes)
{
    {
        std::lock_guard<CDataLock> lock(m_lock);
        for (int32_t index : indexes)
            if (index >= 0 && index < m_errors.GetSize()) m_errors[index].Ignore = 1;
    }
    OnUpdate();
    return 1;
}

int CErrorMgr::GetErr(const char *from, CArray<int32_t> &indexes)
{
    indexes.RemoveAll();
    std::lock_guard<CDataLock> lock(m_lock);
    for (int i = 0; i < m_errors.GetSize(); ++i)
        if (Matches(m_errors[i].From, from)) indexes.Add(i);
    return indexes.GetSize();
}

int CErrorMgr::GetErr(const char *from, CArray<tagError> &errors)
{
    errors.RemoveAll();
    std::lock_guard<CDataLock> lock(m_lock);
    for (const tagError &error : m_errors)
        if (Matches(error.From, from)) errors.Add(error);
    return errors.GetSize();
}

int CErrorMgr::FindIndex(const char *from)
{
    std::lock_guard<CDataLock> lock(m_lock);
    return IndexOf(from);
}

int CErrorMgr::GetErrCount()
{
    std::lock_guard<CDataLock> lock(m_lock);
    return m_errors.GetSize();
}

int CErrorMgr::GetErrAt(int index, tagError &error)
{
    std::lock_guard<CDataLock> lock(m_lock);
    if (index < 0 || index >= m_errors.GetSize()) return 0;
    error = m_errors[index];
    return 1;
}

int CErrorMgr::GetItemAsString(const tagError &error, const char16_t *name, CString &text)
{
    if (!name) return 0;
    std::u16string upper(name);
    for (char16_t &c : upper)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    const FieldName *found = std::find_if(std::begin(kFieldNames), std::end(kFieldNames),
                                          [&](const FieldName &f) { return upper == f.name; });
    if (found == std::end(kFieldNames)) return 0;
    switch (found->field) {
    case Field::From:
        text = error.From;
        break;
    case Field::Description:
        text = error.Description;
        break;
    case Field::Param:
        text = error.Param;
        break;
    case Field::Ignore:
        text = Decimal(error.Ignore);
        break;
    case Field::ErrorCode:
        text = Decimal(error.ErrorCode);
        break;
    case Field::Level:
        text = Decimal(error.Level);
        break;
    case Field::FileTime:
        text = error.FileTime.GetAsString(nullptr);
        break;
    }
    return 1;
}

int CErrorMgr::GetItemAsString(const tagError &error, const char *name, CString &text)
{
    return name ? GetItemAsString(error, plat::GbkToUtf16(name).c_str(), text) : 0;
}

CErrorMgr *GetErrorMgr()
{
    static CErrorMgr manager;
    return &manager;
}
