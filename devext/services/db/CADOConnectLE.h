// A named connection to a SQL database. Every connection of the process is in one list; one
// of them is the current connection that recordsets and table caches use when they name
// none. A connection whose open failed is opened again by the next user that asks for it,
// at most once every 6000 ms. Each open posts <DEV="ADO" ID="..."> on "#OVRA_DEV".
//
// Connection strings: "Provider=SQLite;Data Source=<file>" or a file name alone opens the
// embedded database; "Provider=MSDASQL;Driver={...};Server=...;..." or DSN=... goes through
// ODBC; MakeSqlConnectionString's "Provider=SQLOLEDB;..." goes through the ODBC data source
// named SQLOLEDB with the ADO keys translated.
//
// Each connection has its own lock and the list has another, so connections may be used
// from any thread; a connection must outlive every use of it (as a recordset's).
#pragma once

#include "devext/Devext20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>

class CADORecordsetLE;

class DEVEXT20_API CADOConnectLE {
public:
    // Closed; joins the list and becomes the current connection when there is none.
    CADOConnectLE();
    // Closes; leaves the list; when it was the current one there is none afterwards.
    ~CADOConnectLE();
    CADOConnectLE(const CADOConnectLE &) = delete;
    CADOConnectLE &operator=(const CADOConnectLE &) = delete;

    // Null is ignored.
    void SetConnectionString(const char *connectionString);
    void SetDBConnName(const char *name);
    void SetAsDefault();

    // "Provider=SQLOLEDB;Data Source=..;Initial Catalog=..;User ID=..;Password=..;" with
    // the user "sa" when none is given; a value holding ";" is written in double quotes.
    static CString MakeSqlConnectionString(const char *server, const char *database,
                                           const char *user, const char *password);

    // Opens with the given (else the stored) connection string; a non-null name replaces
    // the name. Returns the status: 1 open, 0 failed. A connection string that cannot be
    // used throws plat::db::Error (nothing is posted then).
    int OpenDBConnect(const char *connectionString, const char *name);
    // Closes, then opens with the stored connection string.
    int ReConnect();
    // 1 when open; else reopens when no failed open lies less than 6000 ms back.
    int ActiveConnect();
    int GetStatus();
    // Closes the database but keeps the connection string and the name: 1.
    int CloseDBConnect();

    static CADOConnectLE *GetByIndex(int index);
    // The first in list order whose name equals, without regard to letter case.
    static CADOConnectLE *GetByName(const char *name);
    // The current connection once ActiveConnect made it usable, else null.
    static CADOConnectLE *GetCurrentConn();

    // Schema listings: 1 with the array refilled, 0 with it untouched when the connection is
    // not open. They throw plat::db::Error(kNoConnection) before the first open and pass on
    // the driver's failures.
    int GetProcedureNames(CStringArray &names);
    int GetTableNames(CStringArray &names);
    int GetFieldNames(const char *table, CStringArray &names);

    struct _Impl;

private:
    friend class CADORecordsetLE;
    _Impl *m_pImpl;
};
