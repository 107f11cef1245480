#include "devext/services/CStrings.h"

#include "KestLib20/FilePath.h"
#include "devext/services/ModulePath.h"

#include <utility>

namespace devext {

int CStrings::SaveToFile(const char *path) const
{
    CString full;
    if (!MakeDirectories(path, &full)) return 0;
    return ::CStrings::SaveToFile(full);
}

int CStrings::AppendToFile(const char *path) const
{
    CString full(path);
    MakeModulePath(full);
    if (!IsExistingFile(full)) return SaveToFile(full);
    return ::CStrings::AppendToFile(full);
}

int CStrings::Compare(const CStringArray &other) const
{
    if (GetSize() != other.GetSize()) return 0;
    for (int i = 0; i < GetSize(); ++i)
        if ((*this)[i].Compare(other[i]) != 0) return 0;
    return 1;
}

CString CStrings::Join(char separator) const
{
    CString text;
    for (const CString &line : *this) {
        text += separator;
        text += line;
    }
    return text;
}

int CStrings::Sort(int ascending, int caseSensitive)
{
    for (int i = 0; i + 1 < GetSize(); ++i) {
        for (int j = i + 1; j < GetSize(); ++j) {
            CString &a = ElementAt(i);
            CString &b = ElementAt(j);
            const int order = caseSensitive ? a.Compare(b) : a.CompareNoCase(b);
            if (ascending ? order > 0 : order < 0) std::swap(a, b);
        }
    }
    return GetSize();
}

} // namespace devext
