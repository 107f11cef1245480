#include "KestLib20/CStringTable.h"

#include "KestLib20/CConfigFile.h"
#include "KestLib20/CStrings.h"
#include "KestLib20/StringConvert.h"

#include <algorithm>

namespace {

// A list value of the file: one outer pair of {}, [] or <> removed, split as a comma list.
int ParseList(CString text, CStringArray &items)
{
    return CStringAccess(&text).GetAsStringArray(items);
}

} // namespace

void CStringMatrix::SetWidth(int32_t n)
{
    if (n < 0 || n == m_nWidth) return;
    m_nWidth = n;
    for (auto &row : m_rows) row->SetSize(n);
}

CStringArray *CStringMatrix::AddRow()
{
    return InsertRow(GetRowCount());
}

CStringArray *CStringMatrix::InsertRow(int i)
{
    auto row = std::make_unique<CStringArray>();
    row->SetSize(m_nWidth);
    const size_t at = i < 0 ? 0 : std::min(static_cast<size_t>(i), m_rows.size());
    return m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(row))->get();
}

void CStringMatrix::RemoveRow(int i)
{
    if (i >= 0 && i < GetRowCount()) m_rows.erase(m_rows.begin() + i);
}

void CStringMatrix::RemoveRowAll()
{
    m_rows.clear();
}

CStringArray *CStringMatrix::GetRow(int i)
{
    return i >= 0 && i < GetRowCount() ? m_rows[static_cast<size_t>(i)].get() : nullptr;
}

const CStringArray *CStringMatrix::GetRow(int i) const
{
    return i >= 0 && i < GetRowCount() ? m_rows[static_cast<size_t>(i)].get() : nullptr;
}

int CStringTable::FieldIndex(const char *name) const
{
    for (int i = 0; i < m_fields.GetSize(); ++i)
        if (m_fields[i].CompareNoCase(name ? name : "") == 0) return i;
    return -1;
}

int CStringTable::AddField(const char *name)
{
    if (FieldIndex(name) >= 0) return 0;
    m_fields.Add(name);
    SetWidth(m_fields.GetSize());
    return 1;
}

int CStringTable::ClearField()
{
    m_fields.RemoveAll();
    SetWidth(0);
    return 1;
}

CString *CStringTable::Cell(int row, int column)
{
    CStringArray *cells = GetRow(row);
    return cells && column >= 0 && column < cells->GetSize() ? &(*cells)[column] : nullptr;
}

CStringAccess CStringTable::GetAt(int row, int column)
{
    return CStringAccess(Cell(row, column));
}

CStringAccess CStringTable::GetAt(int row, const char *field)
{
    return GetAt(row, FieldIndex(field));
}

int CStringTable::SetAt(int row, int column, const char *text)
{
    CString *cell = Cell(row, column);
    if (!cell) return 0;
    *cell = text;
    return 1;
}

int CStringTable::SetAt(int row, const char *field, const char *text)
{
    return SetAt(row, FieldIndex(field), text);
}

int CStringTable::LoadFromFile(const char *path)
{
    CConfigFile file;
    file.LoadFromFile(path);
    CString format, fieldList;
    if (!file.Read("File", "Format", format) || format.MakeUpper() != "TEXT TABLE" ||
        !file.Read("File", "Fields", fieldList))
        return 0;
    CStringArray fields;
    if (ParseList(fieldList, fields) == 0) return 0;

    RemoveRowAll();
    m_fields.Copy(fields);
    SetWidth(fields.GetSize());
    CStringArray keys, values, cells;
    file.GetKeyValueList("Table", keys, values);
    for (const CString &value : values)
        if (ParseList(value, cells) == fields.GetSize()) AddRow()->Copy(cells);
    return 1;
}

int CStringTable::SaveToFile(const char *path) const
{
    if (m_fields.IsEmpty()) return 0;
    CStrings lines;
    lines.Add("[File]");
    lines.Add("    Format = \"Text Table\"");
    lines.Add("    Fields = " + ToString(m_fields, '{'));
    lines.Add("[Table]");
    for (int i = 0; i < GetRowCount(); ++i) {
        CString line;
        line.Format("    Rec%i\t = ", i);
        lines.Add(line + ToString(*GetRow(i), '{'));
    }
    return lines.SaveToFile(path);
}
