// A table of text cells: CStringMatrix holds the rows, CStringTable adds named columns and
// the "TEXT TABLE" file format (a configuration text file with the fields in section File
// and one quoted cell list per row in section Table).
#pragma once

#include "KestLib20/IStringAccess.h"
#include "KestLib20/KestLibApi.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>
#include <memory>
#include <vector>

class KESTLIB_SHARED_TYPE CStringMatrix {
public:
    CStringMatrix() = default;
    CStringMatrix(const CStringMatrix &) = delete;
    CStringMatrix &operator=(const CStringMatrix &) = delete;

    // Cells per row; changing it resizes every row (a negative width is ignored).
    void SetWidth(int32_t n);
    int32_t GetWidth() const { return m_nWidth; }

    // A new row of width empty cells, appended or put at i (an i beyond the end appends).
    CStringArray *AddRow();
    CStringArray *InsertRow(int i);
    // Deletes row i if it exists.
    void RemoveRow(int i);
    void RemoveRowAll();

    int GetRowCount() const { return static_cast<int>(m_rows.size()); }
    // Row i, or null when it does not exist.
    CStringArray *GetRow(int i);
    const CStringArray *GetRow(int i) const;

private:
    std::vector<std::unique_ptr<CStringArray>> m_rows;
    int32_t m_nWidth = 1;
};

class KESTLIB_SHARED_TYPE CStringTable : public CStringMatrix {
public:
    // Column of the field, ignoring case, or -1.
    int FieldIndex(const char *name) const;
    // 0 when the field exists; else appends it, widens every row and answers 1.
    int AddField(const char *name);
    // No fields, width 0; answers 1.
    int ClearField();
    const CStringArray &GetFields() const { return m_fields; }

    // Access to one cell; for a cell that does not exist reads and writes answer 0.
    CStringAccess GetAt(int row, int column);
    CStringAccess GetAt(int row, const char *field);
    // 1, or 0 for a cell that does not exist.
    int SetAt(int row, int column, const char *text);
    int SetAt(int row, const char *field, const char *text);

    // 0, the table unchanged, for a missing file, a Format other than "TEXT TABLE" (any
    // case) or no fields. Rows whose cell count differs from the field count are skipped.
    int LoadFromFile(const char *path);
    // 0 when the table has no fields or the file cannot be written.
    int SaveToFile(const char *path) const;

private:
    CString *Cell(int row, int column);

    CStringArray m_fields;
};
