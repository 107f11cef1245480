// Runs SQL text on a database connection and reads the rows it returns. The connection is
// the one of the given name, else the current one (opened again when it has to be). Every
// failure becomes a result code in the thread's last error (glGetLastError) and a record
// <DEV="ADO" ID="..." MSG="..."> on "#OVRA_DEV"; a connection failure (0x80004005) also
// closes the connection so that the next use reopens it. Getters give the caller's default
// for a missing column, a NULL or a value that does not convert.
//
// The rows of a statement are read whole when it runs, so navigation goes both ways and the
// record count is exact. A recordset is used by one thread at a time.
#pragma once

#include "KestLib20/CFileTime.h"
#include "devext/Devext20Api.h"
#include "platform/CTime.h"
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/db/Error.h"
#include "platform/db/Value.h"

#include <cstdint>
#include <string>
#include <vector>

class CADOConnectLE;
class CArgListA;

// A column by name (8-bit or wide) or by zero-based index (0..65535).
class DEVEXT20_API CADOColumn {
public:
    CADOColumn(const char *name) : m_name(name ? name : "") {}
    CADOColumn(const char16_t *name);
    CADOColumn(int32_t index) : m_index(index), m_isIndex(true) {}

    bool IsIndex() const { return m_isIndex; }
    int32_t Index() const { return m_index; }
    const CString &Name() const { return m_name; }

private:
    CString m_name;
    int32_t m_index = -1;
    bool m_isIndex = false;
};

class DEVEXT20_API CADORecordsetLE {
public:
    // Null or empty: the current connection.
    explicit CADORecordsetLE(const char *connectionName = nullptr);
    ~CADORecordsetLE();
    CADORecordsetLE(const CADORecordsetLE &) = delete;
    CADORecordsetLE &operator=(const CADORecordsetLE &) = delete;

    // By name (no reopening), else the current connection (reopened when it may be).
    CADOConnectLE *GetDBConnect();

    // 0, or the failure's code. 0x80004005 without any side effect when there is no usable
    // connection.
    int32_t ExecuteSQL(const char16_t *sql);
    int32_t ExecuteSQL(const char *sql);
    // All statements in one transaction: a failing one rolls back those before it.
    int32_t ExecuteSQLs(CStringArray &statements);
    int32_t CloseRecordset();
    int OnDBConnectError();
    int OnSQLError();

    // The provider's diagnostics when it gave any, else the code's own text.
    CString GetError(const plat::db::Error &error);
    CString GetComError(const plat::db::Error &error);
    CString GetProviderError();

    // 1 with `out` set, 0 (out untouched) on a closed recordset, no current row or no such
    // column.
    int GetAsVariant(const CADOColumn &column, plat::db::Value &out);
    CString GetAsString(const CADOColumn &column, const char *def);
    std::u16string GetAsStringW(const CADOColumn &column, const char16_t *def);
    int GetAsInt(const CADOColumn &column, int def);
    double GetAsFloat(const CADOColumn &column, double def);
    // The automation date 0.0 also gives the default.
    CTime GetAsCTime(const CADOColumn &column, CTime def);
    // GetAsCTime with the default time_t 1, as a file time.
    CFileTime GetAsFileTime(const CADOColumn &column);

    // Moves: 0 (also on a closed recordset). Moving past the end or the start throws
    // plat::db::Error.
    int32_t RSMoveNext();
    int32_t RSMovePrevious();
    int32_t RSMoveFirst();
    int32_t RSMoveLast();
    // -1 true, 0 false; 1 on a closed recordset.
    int IsRSEOF();
    int IsRSBOF();
    // 1 when closed or without rows.
    int IsNull();
    int GetFieldCount();
    int GetFields(CStringArray &names);
    int GetRecordCount();
    int GetRecord(CStringArray &values);
    // Runs the statement and appends column i of every row to the CStringArray that
    // element i of the list references: 1, or 0 when it failed or returned no rows.
    int GetRsAsStringArray(const char *sql, CArgListA &columns);

    // Statements built from a column-to-value map (values as they stand: callers pass them
    // through MakeSQLString); 0 without executing anything for an empty map. A non-zero
    // log flag writes the statement to the debug log "LOG_DB_ERROR" in pieces of 50.
    int32_t InsertIntoTable(const char *table, CMapStringToString &values, int log);
    int32_t UpdateRecord(const char *table, const char *where, CMapStringToString &values, int log);
    int32_t DeleteRecords(const char *table, CMapStringToString &conditions);

    struct _Impl;

private:
    int32_t Run(const std::vector<std::string> &statements, bool transaction);
    const plat::db::Value *Cell(const CADOColumn &column);

    _Impl *m_pImpl;
};

// The text for use inside a quoted SQL literal: every single quote doubled.
DEVEXT20_API CString MakeSQLString(CString text);
