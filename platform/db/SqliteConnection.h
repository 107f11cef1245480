// The embedded backend: one SQLite database file.
#pragma once

#include "platform/db/Connection.h"

#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace plat::db {

class SqliteConnection : public Connection {
public:
    explicit SqliteConnection(std::string file) : m_file(std::move(file)) {}
    ~SqliteConnection() override;

    void Open(int32_t timeoutSeconds) override;
    bool IsOpen() const override { return m_db != nullptr; }
    void Close() override;
    std::optional<Rows> Execute(const std::string &sql) override;
    void BeginTransaction() override;
    void Commit() override;
    void Rollback() override;
    std::vector<std::string> TableNames() override;
    std::vector<std::string> ProcedureNames() override { return {}; }
    std::vector<std::string> ColumnNames(const std::string &table) override;

private:
    sqlite3 *Db();
    [[noreturn]] void FailFromDb(int result);
    // Steps a prepared statement to its end, collecting its rows when it has columns.
    std::optional<Rows> Run(sqlite3_stmt *statement);
    std::vector<std::string> FirstColumn(const char *sql, const std::string *argument);

    std::string m_file;
    sqlite3 *m_db = nullptr;
};

} // namespace plat::db
