#include "platform/db/OdbcConnection.h"

#include "platform/db/Utf.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>

namespace plat::db {

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC wide characters are UTF-16");

// The command time-out the platform's data objects apply by default.
constexpr int kQueryTimeOutSeconds = 30;

SQLWCHAR *Wide(std::u16string &text)
{
    return reinterpret_cast<SQLWCHAR *>(text.data());
}

bool Ok(SQLRETURN result)
{
    return result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO;
}

bool IsIntegerType(SQLSMALLINT type)
{
    return type == SQL_INTEGER || type == SQL_SMALLINT || type == SQL_TINYINT ||
           type == SQL_BIGINT || type == SQL_BIT;
}

bool IsRealType(SQLSMALLINT type)
{
    return type == SQL_REAL || type == SQL_FLOAT || type == SQL_DOUBLE || type == SQL_NUMERIC ||
           type == SQL_DECIMAL;
}

} // namespace

// One statement handle, freed with its owner scope.
class OdbcConnection::Statement {
public:
    explicit Statement(OdbcConnection &owner) : m_owner(owner)
    {
        if (!owner.m_connected)
            owner.Fail(kConnectionFailure, "the database is not open", "08003", 0, "ODBC");
        owner.Check(SQLAllocHandle(SQL_HANDLE_STMT, owner.m_dbc, &m_handle), SQL_HANDLE_DBC,
                    owner.m_dbc, "SQLAllocHandle");
        // A statement on a server that stopped answering fails after a while (HYT00, a
        // connection failure) rather than holding the connection's lock for ever.
        SQLSetStmtAttr(m_handle, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kQueryTimeOutSeconds)), 0);
    }
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, m_handle); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    SQLHSTMT Handle() const { return m_handle; }
    void Check(SQLRETURN result, const char *call)
    {
        if (result != SQL_NO_DATA) m_owner.Check(result, SQL_HANDLE_STMT, m_handle, call);
    }

    // The rows of the current result, nothing when it has no columns.
    std::optional<Rows> ReadResult()
    {
        SQLSMALLINT count = 0;
        Check(SQLNumResultCols(m_handle, &count), "SQLNumResultCols");
        if (count <= 0) return std::nullopt;
        Rows rows;
        std::vector<SQLSMALLINT> types;
        for (SQLUSMALLINT i = 1; i <= count; ++i) {
            SQLWCHAR name[256];
            SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            Check(
                SQLDescribeColW(m_handle, i, name, 256, &length, &type, &size, &digits, &nullable),
                "SQLDescribeColW");
            rows.columns.push_back(Utf16ToUtf8(std::u16string_view(
                reinterpret_cast<const char16_t *>(name), std::min<SQLSMALLINT>(length, 255))));
            types.push_back(type);
        }
        for (;;) {
            const SQLRETURN fetched = SQLFetch(m_handle);
            if (fetched == SQL_NO_DATA) break;
            Check(fetched, "SQLFetch");
            std::vector<Value> &row = rows.rows.emplace_back();
            for (SQLUSMALLINT i = 1; i <= count; ++i) row.push_back(ReadValue(i, types[i - 1]));
        }
        return rows;
    }

private:
    Value ReadValue(SQLUSMALLINT column, SQLSMALLINT type)
    {
        SQLLEN indicator = 0;
        if (IsIntegerType(type)) {
            SQLBIGINT value = 0;
            Check(SQLGetData(m_handle, column, SQL_C_SBIGINT, &value, 0, &indicator), "SQLGetData");
            return indicator == SQL_NULL_DATA ? Value() : Value::Integer(value);
        }
        if (IsRealType(type)) {
            double value = 0;
            Check(SQLGetData(m_handle, column, SQL_C_DOUBLE, &value, 0, &indicator), "SQLGetData");
            return indicator == SQL_NULL_DATA ? Value() : Value::Real(value);
        }
        // Texts and everything else as wide text, in pieces while the driver has more.
        std::u16string text;
        char16_t piece[1024];
        for (;;) {
            const SQLRETURN result =
                SQLGetData(m_handle, column, SQL_C_WCHAR, piece, sizeof piece, &indicator);
            if (result == SQL_NO_DATA) break;
            Check(result, "SQLGetData");
            if (indicator == SQL_NULL_DATA) return Value();
            const size_t room = sizeof piece / sizeof piece[0] - 1;
            const size_t got = indicator == SQL_NO_TOTAL || indicator < 0 ||
                                       static_cast<size_t>(indicator) / sizeof(char16_t) > room
                                   ? room
                                   : static_cast<size_t>(indicator) / sizeof(char16_t);
            text.append(piece, got);
            if (result == SQL_SUCCESS) break;
        }
        return Value::Text(Utf16ToUtf8(text));
    }

    OdbcConnection &m_owner;
    SQLHSTMT m_handle = nullptr;
};

OdbcConnection::~OdbcConnection()
{
    Close();
}

void OdbcConnection::FailFrom(int16_t handleType, void *handle, const char *call)
{
    std::vector<ErrorRecord> records;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLWCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!Ok(SQLGetDiagRecW(handleType, handle, i, state, &native, message, 1024, &length)))
            break;
        records.push_back({Utf16ToUtf8(reinterpret_cast<const char16_t *>(message)),
                           Utf16ToUtf8(reinterpret_cast<const char16_t *>(state)), native, "ODBC"});
    }
    if (records.empty()) records.push_back({std::string(call) + " failed", "HY000", 0, "ODBC"});
    int32_t code = CodeForSqlState(records.front().sqlState);
    // A driver may report a broken link under a general state; it still knows it is dead.
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (m_dbc && code != kConnectionFailure &&
        Ok(SQLGetConnectAttr(m_dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
        dead == SQL_CD_TRUE)
        code = kConnectionFailure;
    m_errors = records;
    throw Error(code, records.front().description, "ODBC");
}

void OdbcConnection::Check(int16_t result, int16_t handleType, void *handle, const char *call)
{
    if (!Ok(result)) FailFrom(handleType, handle, call);
}

void OdbcConnection::Open(int32_t timeoutSeconds)
{
    m_errors.clear();
    Close();
    if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env)))
        Fail(kConnectionFailure, "no ODBC environment", "HY001", 0, "ODBC");
    SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    try {
        Check(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc), SQL_HANDLE_ENV, m_env,
              "SQLAllocHandle");
        if (timeoutSeconds > 0)
            SQLSetConnectAttr(m_dbc, SQL_ATTR_LOGIN_TIMEOUT,
                              reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)),
                              0);
        std::u16string text = Utf8ToUtf16(m_odbcString);
        const SQLRETURN result = SQLDriverConnectW(m_dbc, nullptr, Wide(text), SQL_NTS, nullptr, 0,
                                                   nullptr, SQL_DRIVER_NOPROMPT);
        if (!Ok(result)) {
            try {
                FailFrom(SQL_HANDLE_DBC, m_dbc, "SQLDriverConnectW");
            } catch (const Error &error) {
                // Whatever the driver said, an open that failed is a connection failure.
                throw Error(kConnectionFailure, error.what(), "ODBC");
            }
        }
        m_connected = true;
    } catch (...) {
        std::vector<ErrorRecord> records = std::move(m_errors);
        Close();
        m_errors = std::move(records);
        throw;
    }
}

void OdbcConnection::Close()
{
    if (m_connected) SQLDisconnect(m_dbc);
    m_connected = false;
    if (m_dbc) SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    if (m_env) SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    m_dbc = nullptr;
    m_env = nullptr;
}

std::optional<Rows> OdbcConnection::Execute(const std::string &sql)
{
    m_errors.clear();
    Statement statement(*this);
    std::u16string text = Utf8ToUtf16(sql);
    statement.Check(SQLExecDirectW(statement.Handle(), Wide(text), SQL_NTS), "SQLExecDirectW");
    std::optional<Rows> first = statement.ReadResult();
    for (;;) {
        const SQLRETURN more = SQLMoreResults(statement.Handle());
        if (more == SQL_NO_DATA) break;
        statement.Check(more, "SQLMoreResults");
        std::optional<Rows> rows = statement.ReadResult();
        if (!first) first = std::move(rows);
    }
    return first;
}

void OdbcConnection::BeginTransaction()
{
    m_errors.clear();
    if (!m_connected) Fail(kConnectionFailure, "the database is not open", "08003", 0, "ODBC");
    Check(SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_AUTOCOMMIT_OFF)),
                            0),
          SQL_HANDLE_DBC, m_dbc, "SQLSetConnectAttr");
}

void OdbcConnection::EndTransaction(int16_t completion)
{
    m_errors.clear();
    if (!m_connected) Fail(kConnectionFailure, "the database is not open", "08003", 0, "ODBC");
    const SQLRETURN ended = SQLEndTran(SQL_HANDLE_DBC, m_dbc, completion);
    const SQLRETURN restored =
        SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON)), 0);
    Check(ended, SQL_HANDLE_DBC, m_dbc, "SQLEndTran");
    Check(restored, SQL_HANDLE_DBC, m_dbc, "SQLSetConnectAttr");
}

void OdbcConnection::Commit()
{
    EndTransaction(SQL_COMMIT);
}

void OdbcConnection::Rollback()
{
    EndTransaction(SQL_ROLLBACK);
}

namespace {

// One text column of a catalog call's result.
std::vector<std::string> ColumnOf(const std::optional<Rows> &rows, size_t column)
{
    std::vector<std::string> names;
    if (!rows) return names;
    for (const std::vector<Value> &row : rows->rows)
        if (column < row.size()) names.push_back(row[column].ToText().value_or(""));
    return names;
}

} // namespace

std::vector<std::string> OdbcConnection::TableNames()
{
    m_errors.clear();
    Statement statement(*this);
    statement.Check(SQLTablesW(statement.Handle(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0),
                    "SQLTablesW");
    return ColumnOf(statement.ReadResult(), 2);
}

std::vector<std::string> OdbcConnection::ProcedureNames()
{
    m_errors.clear();
    Statement statement(*this);
    statement.Check(SQLProceduresW(statement.Handle(), nullptr, 0, nullptr, 0, nullptr, 0),
                    "SQLProceduresW");
    return ColumnOf(statement.ReadResult(), 2);
}

std::vector<std::string> OdbcConnection::ColumnNames(const std::string &table)
{
    m_errors.clear();
    Statement statement(*this);
    std::u16string name = Utf8ToUtf16(table);
    statement.Check(SQLColumnsW(statement.Handle(), nullptr, 0, nullptr, 0, Wide(name),
                                static_cast<SQLSMALLINT>(name.size()), nullptr, 0),
                    "SQLColumnsW");
    return ColumnOf(statement.ReadResult(), 3);
}

} // namespace plat::db
