#include "KestLib20/CStrings.h"

#include <algorithm>

namespace {

bool IsBlank(const CString &line)
{
    CString t(line);
    return t.Trim().IsEmpty();
}

template <typename Find> int FindAll(const CStringArray &lines, CArray<tagPOINT> &points, Find find)
{
    points.RemoveAll();
    for (int y = 0; y < lines.GetSize(); ++y)
        find(lines[y], [&](int x) { points.Add(tagPOINT{x, y}); });
    return points.GetSize();
}

} // namespace

CStrings &CStrings::operator=(const CStringArray &lines)
{
    Copy(lines);
    return *this;
}

int CStrings::LoadFromFile(const char *path)
{
    RemoveAll();
    CStdioFile file;
    if (!path ||
        !file.Open(path, CStdioFile::modeRead | CStdioFile::shareDenyWrite | CStdioFile::typeText))
        return 0;
    return LoadFromFile(file);
}

int CStrings::SaveToFile(const char *path) const
{
    CStdioFile file;
    if (!path ||
        !file.Open(path, CStdioFile::modeCreate | CStdioFile::modeWrite | CStdioFile::typeText))
        return 0;
    return SaveToFile(file);
}

int CStrings::AppendToFile(const char *path) const
{
    CStdioFile file;
    if (!path || !file.Open(path, CStdioFile::modeCreate | CStdioFile::modeNoTruncate |
                                      CStdioFile::modeWrite | CStdioFile::typeText))
        return 0;
    file.SeekToEnd();
    return SaveToFile(file);
}

int CStrings::LoadFromFile(CStdioFile &file)
{
    RemoveAll();
    CString line;
    while (file.ReadString(line)) Add(line);
    return 1;
}

int CStrings::SaveToFile(CStdioFile &file) const
{
    for (const CString &line : *this)
        if (!file.WriteString(line) || !file.WriteString("\n")) return 0;
    return file.Flush() ? 1 : 0;
}

int CStrings::ClearEmpty()
{
    for (int i = GetSize() - 1; i >= 0; --i)
        if ((*this)[i].IsEmpty()) RemoveAt(i);
    return GetSize();
}

void CStrings::TrimLeft()
{
    for (CString &line : *this) line.TrimLeft();
}

void CStrings::TrimRight()
{
    for (CString &line : *this) line.TrimRight();
}

void CStrings::TrimTop()
{
    while (!IsEmpty() && IsBlank((*this)[0])) RemoveAt(0);
}

void CStrings::TrimBottom()
{
    while (!IsEmpty() && IsBlank((*this)[GetUpperBound()])) RemoveAt(GetUpperBound());
}

int CStrings::Pack()
{
    TrimRight();
    TrimLeft();
    TrimTop();
    TrimBottom();
    return ClearEmpty();
}

int CStrings::FindLine(const char *text) const
{
    for (int i = 0; i < GetSize(); ++i)
        if ((*this)[i] == text) return i;
    return -1;
}

int CStrings::FindLineNoCase(const char *text) const
{
    for (int i = 0; i < GetSize(); ++i)
        if ((*this)[i].CompareNoCase(text) == 0) return i;
    return -1;
}

int CStrings::FindCharAllText(char c, CArray<tagPOINT> &points) const
{
    return FindAll(*this, points, [c](const CString &line, auto add) {
        for (int x = line.Find(c); x >= 0; x = line.Find(c, x + 1)) add(x);
    });
}

int CStrings::FindStringAllText(const char *text, CArray<tagPOINT> &points) const
{
    const int length = text ? CString(text).GetLength() : 0;
    if (length == 0) {
        points.RemoveAll();
        return 0;
    }
    return FindAll(*this, points, [&](const CString &line, auto add) {
        for (int x = line.Find(text); x >= 0; x = line.Find(text, x + length)) add(x);
    });
}

CStringArray CStrings::Pieces(tagPOINT from, tagPOINT to) const
{
    CStringArray pieces;
    if (IsEmpty()) return pieces;
    from.y = std::clamp(from.y, 0, GetUpperBound());
    to.y = std::clamp(to.y, 0, GetUpperBound());
    from.x = std::clamp(from.x, -1, (*this)[from.y].GetLength());
    to.x = std::clamp(to.x, 0, (*this)[to.y].GetLength());
    if (from.y > to.y) return pieces;
    if (from.y == to.y) {
        if (to.x > from.x + 1) pieces.Add((*this)[from.y].Mid(from.x + 1, to.x - from.x - 1));
        return pieces;
    }
    pieces.Add((*this)[from.y].Mid(from.x + 1));
    for (int y = from.y + 1; y < to.y; ++y) pieces.Add((*this)[y]);
    pieces.Add((*this)[to.y].Left(to.x));
    return pieces;
}

int CStrings::GetString(CString &text, tagPOINT from, tagPOINT to) const
{
    text.Empty();
    const CStringArray pieces = Pieces(from, to);
    for (int i = 0; i < pieces.GetSize(); ++i) {
        if (i > 0) text += ' ';
        text += pieces[i];
    }
    return text.GetLength();
}

int CStrings::GetText(CStringArray &lines, tagPOINT from, tagPOINT to) const
{
    lines.Copy(Pieces(from, to));
    return lines.GetSize();
}

int CStrings::ToBigString(CString &text, char separator) const
{
    text.Empty();
    for (const CString &line : *this) text += separator + line;
    return GetSize();
}
