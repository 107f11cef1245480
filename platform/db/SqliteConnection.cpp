#include "platform/db/SqliteConnection.h"

#include <sqlite3.h>

#include <cstring>
#include <memory>

namespace plat::db {

namespace {

struct StatementFree {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFree>;

// The code and SQLSTATE of a SQLite failure.
std::pair<int32_t, const char *> Classify(int result, const char *message)
{
    switch (result & 0xFF) {
    case SQLITE_CONSTRAINT:
        return {kConstraintViolation, "23000"};
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_PERM:
        return {kConnectionFailure, "08001"};
    case SQLITE_ERROR:
        if (std::strncmp(message, "no such table", 13) == 0) return {kNoSuchTable, "42S02"};
        if (std::strstr(message, "syntax error") || std::strstr(message, "incomplete input") ||
            std::strstr(message, "unrecognized token"))
            return {kSyntaxError, "42000"};
        break;
    default:
        break;
    }
    return {kStatementFailed, "HY000"};
}

} // namespace

SqliteConnection::~SqliteConnection()
{
    Close();
}

void SqliteConnection::FailFromDb(int result)
{
    const char *message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(result);
    const auto [code, state] = Classify(result, message);
    Fail(code, message, state, result, "SQLite");
}

sqlite3 *SqliteConnection::Db()
{
    if (!m_db) Fail(kConnectionFailure, "the database is not open", "08003", 0, "SQLite");
    return m_db;
}

void SqliteConnection::Open(int32_t timeoutSeconds)
{
    m_errors.clear();
    Close();
    const int result = sqlite3_open_v2(
        m_file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    if (result != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(result);
        Close();
        Fail(kConnectionFailure, message + ": " + m_file, "08001", result, "SQLite");
    }
    sqlite3_extended_result_codes(m_db, 0);
    sqlite3_busy_timeout(m_db, timeoutSeconds > 0 ? timeoutSeconds * 1000 : 0);
    // The file is read only now: a file that is no database fails here, as an open.
    const int check = sqlite3_exec(m_db, "PRAGMA schema_version", nullptr, nullptr, nullptr);
    if (check != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(m_db);
        Close();
        Fail(kConnectionFailure, message + ": " + m_file, "08001", check, "SQLite");
    }
}

void SqliteConnection::Close()
{
    if (m_db) sqlite3_close_v2(m_db);
    m_db = nullptr;
}

std::optional<Rows> SqliteConnection::Run(sqlite3_stmt *statement)
{
    const int count = sqlite3_column_count(statement);
    Rows rows;
    for (int i = 0; i < count; ++i) {
        const char *name = sqlite3_column_name(statement, i);
        rows.columns.emplace_back(name ? name : "");
    }
    for (;;) {
        const int result = sqlite3_step(statement);
        if (result == SQLITE_DONE) break;
        if (result != SQLITE_ROW) FailFromDb(result);
        std::vector<Value> &row = rows.rows.emplace_back();
        for (int i = 0; i < count; ++i) {
            switch (sqlite3_column_type(statement, i)) {
            case SQLITE_INTEGER:
                row.push_back(Value::Integer(sqlite3_column_int64(statement, i)));
                break;
            case SQLITE_FLOAT:
                row.push_back(Value::Real(sqlite3_column_double(statement, i)));
                break;
            case SQLITE_NULL:
                row.emplace_back();
                break;
            default: {
                const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement, i));
                row.push_back(Value::Text(std::string(
                    bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(statement, i)))));
            }
            }
        }
    }
    if (count == 0) return std::nullopt;
    return rows;
}

std::optional<Rows> SqliteConnection::Execute(const std::string &sql)
{
    m_errors.clear();
    sqlite3 *db = Db();
    std::optional<Rows> first;
    const char *next = sql.c_str();
    const char *end = next + sql.size();
    while (next < end) {
        sqlite3_stmt *raw = nullptr;
        const char *tail = nullptr;
        const int result = sqlite3_prepare_v2(db, next, static_cast<int>(end - next), &raw, &tail);
        Statement statement(raw);
        if (result != SQLITE_OK) FailFromDb(result);
        if (!statement) break; // only blanks or comments remain
        std::optional<Rows> rows = Run(statement.get());
        if (!first && rows) first = std::move(rows);
        next = tail;
    }
    return first;
}

void SqliteConnection::BeginTransaction()
{
    Execute("BEGIN");
}

void SqliteConnection::Commit()
{
    Execute("COMMIT");
}

void SqliteConnection::Rollback()
{
    m_errors.clear();
    // A failed statement may already have ended the transaction.
    if (m_db && !sqlite3_get_autocommit(m_db)) Execute("ROLLBACK");
}

std::vector<std::string> SqliteConnection::FirstColumn(const char *sql, const std::string *argument)
{
    m_errors.clear();
    sqlite3_stmt *raw = nullptr;
    const int result = sqlite3_prepare_v2(Db(), sql, -1, &raw, nullptr);
    Statement statement(raw);
    if (result != SQLITE_OK) FailFromDb(result);
    if (argument)
        sqlite3_bind_text(statement.get(), 1, argument->c_str(), static_cast<int>(argument->size()),
                          SQLITE_TRANSIENT);
    std::vector<std::string> names;
    for (const std::vector<Value> &row : Run(statement.get()).value_or(Rows{}).rows)
        names.push_back(row.at(0).ToText().value_or(""));
    return names;
}

std::vector<std::string> SqliteConnection::TableNames()
{
    return FirstColumn("SELECT name FROM sqlite_master WHERE type IN ('table','view')", nullptr);
}

std::vector<std::string> SqliteConnection::ColumnNames(const std::string &table)
{
    return FirstColumn("SELECT name FROM pragma_table_info(?1)", &table);
}

} // namespace plat::db
