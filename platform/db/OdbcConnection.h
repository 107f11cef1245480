// The ODBC backend (unixODBC): a connection made from an ODBC connection string, talking
// through the wide calls so that texts cross in UTF-16 whatever the driver's own code page.
#pragma once

#include "platform/db/Connection.h"

#include <optional>
#include <string>
#include <vector>

namespace plat::db {

class OdbcConnection : public Connection {
public:
    explicit OdbcConnection(std::string odbcString) : m_odbcString(std::move(odbcString)) {}
    ~OdbcConnection() override;

    void Open(int32_t timeoutSeconds) override;
    bool IsOpen() const override { return m_connected; }
    void Close() override;
    std::optional<Rows> Execute(const std::string &sql) override;
    void BeginTransaction() override;
    void Commit() override;
    void Rollback() override;
    std::vector<std::string> TableNames() override;
    std::vector<std::string> ProcedureNames() override;
    std::vector<std::string> ColumnNames(const std::string &table) override;

private:
    class Statement;
    // Takes the diagnostics of the handle and throws them.
    [[noreturn]] void FailFrom(int16_t handleType, void *handle, const char *call);
    void Check(int16_t result, int16_t handleType, void *handle, const char *call);
    void EndTransaction(int16_t completion);

    std::string m_odbcString;
    void *m_env = nullptr;
    void *m_dbc = nullptr;
    bool m_connected = false;
};

} // namespace plat::db
