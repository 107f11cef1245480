// The driver interface of the data layer: one connection to one database, made from a
// connection string by CreateConnection and opened separately, so that a string that cannot
// be used is told apart from a database that cannot be reached. A connection is used by one
// thread at a time; its owner locks around it.
#pragma once

#include "platform/db/DbApi.h"
#include "platform/db/Error.h"
#include "platform/db/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::db {

// The rows a statement returned, read whole.
struct Rows {
    std::vector<std::string> columns;
    std::vector<std::vector<Value>> rows;
};

class PLATDB_API Connection {
public:
    virtual ~Connection();

    // Each throws Error on failure; texts are UTF-8.
    virtual void Open(int32_t timeoutSeconds) = 0;
    virtual bool IsOpen() const = 0;
    // Closing a closed connection does nothing.
    virtual void Close() = 0;

    // Runs every statement of the text in order; the rows of the first one that returns a
    // result, nothing when none does.
    virtual std::optional<Rows> Execute(const std::string &sql) = 0;
    virtual void BeginTransaction() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;

    // Schema listings: names of tables and views, of stored procedures, of the columns of
    // one table.
    virtual std::vector<std::string> TableNames() = 0;
    virtual std::vector<std::string> ProcedureNames() = 0;
    virtual std::vector<std::string> ColumnNames(const std::string &table) = 0;

    // The diagnostic records of the last failed call.
    const std::vector<ErrorRecord> &Errors() const { return m_errors; }

protected:
    // Records one failure as the only diagnostic and throws it.
    [[noreturn]] void Fail(int32_t code, const std::string &description,
                           const std::string &sqlState, int32_t native, const std::string &source);
    std::vector<ErrorRecord> m_errors;
};

// The backend a connection string selects: SQLite when it names a file (a text without
// "=", or pairs without Provider, Driver or DSN, or Provider=SQLite, the file being
// "Data Source"); otherwise ODBC, whose string is the pairs with the ADO keys translated
// (Data Source, Initial Catalog, User ID, Password), Provider dropped, and DSN=<Provider>
// when neither Driver nor DSN is given. Throws Error(kBadConnectionString).
PLATDB_API std::unique_ptr<Connection> CreateConnection(std::string_view connectionString);

} // namespace plat::db
