// Helpers of the database tests: the two backends every database test runs on (a SQLite file
// of the test's own, and the PostgreSQL server of the CTest fixture) and a connection opened
// on a backend as the current one.
#pragma once

#include "Kest20/CLogReader.h"
#include "Kest20/KestApplication.h"
#include "Kest20/KestLog.h"
#include "devext/services/db/CADOConnectLE.h"
#include "devext/services/db/CADORecordsetLE.h"
#include "platform/ComTypes.h"
#include "tests/model/DeviceTestKit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dbtest {

using devtest::LogCapture;

// The debug flag on while it lives.
class DebugOn {
public:
    DebugOn() : m_previous(glSetDebugFlag(1)) {}
    ~DebugOn() { glSetDebugFlag(m_previous); }

private:
    int m_previous;
};

// A database the tests can reach, lose and reach again.
class Backend {
public:
    virtual ~Backend() = default;
    // Why the backend cannot be used; empty when it can.
    virtual std::string SkipReason() const { return {}; }
    virtual std::string ConnectionString() const = 0;
    // The database becomes unreachable, and reachable again.
    virtual void Halt() = 0;
    virtual void Resume() = 0;
    // Whether an open connection breaks when the database is halted.
    virtual bool LinkBreaks() const = 0;
};

// A file in a directory of the test's own; halting renames the directory away.
class SqliteBackend : public Backend {
public:
    SqliteBackend()
    {
        std::string pattern = ::testing::TempDir() + "kest_db_XXXXXX";
        m_root = mkdtemp(pattern.data()) ? pattern : std::string();
        std::filesystem::create_directory(m_root + "/data");
    }
    ~SqliteBackend() override
    {
        std::error_code error;
        std::filesystem::remove_all(m_root, error);
    }
    std::string ConnectionString() const override
    {
        return "Provider=SQLite;Data Source=" + m_root + "/data/test.db";
    }
    void Halt() override { std::filesystem::rename(m_root + "/data", m_root + "/away"); }
    void Resume() override { std::filesystem::rename(m_root + "/away", m_root + "/data"); }
    bool LinkBreaks() const override { return false; }

private:
    std::string m_root;
};

// The server of the CTest fixture, described by the env file that scripts/pg.sh wrote.
class PostgresBackend : public Backend {
public:
    PostgresBackend()
    {
        std::ifstream file(std::string(KEST_PG_STATE) + "/env");
        for (std::string line; std::getline(file, line);) {
            const size_t equal = line.find('=');
            if (equal != std::string::npos) m_env[line.substr(0, equal)] = line.substr(equal + 1);
        }
    }
    std::string SkipReason() const override
    {
        if (m_env.count("KEST_TEST_PG_ERROR"))
            return "PostgreSQL could not be started: " + m_env.at("KEST_TEST_PG_ERROR");
        if (!m_env.count("KEST_TEST_PG_DSN"))
            return "no PostgreSQL server: run these tests through ctest (label peer), whose "
                   "fixture starts one";
        return {};
    }
    std::string ConnectionString() const override { return m_env.at("KEST_TEST_PG_DSN"); }
    std::string Port() const { return m_env.at("KEST_TEST_PG_PORT"); }
    void Halt() override { Script("halt"); }
    void Resume() override { Script("resume"); }
    bool LinkBreaks() const override { return true; }

private:
    static void Script(const char *command)
    {
        const std::string line =
            std::string(KEST_PG_SCRIPT) + " " + command + " '" + KEST_PG_STATE + "'";
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
    }

    std::map<std::string, std::string> m_env;
};

inline std::unique_ptr<Backend> MakeBackend(const std::string &name)
{
    if (name == "PostgreSQL") return std::make_unique<PostgresBackend>();
    return std::make_unique<SqliteBackend>();
}

// Every test of the fixture runs once on each backend, with an open current connection on an
// empty database.
class DbTest : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override
    {
        m_backend = MakeBackend(GetParam());
        const std::string reason = m_backend->SkipReason();
        if (!reason.empty()) GTEST_SKIP() << reason;
        m_connection = std::make_unique<CADOConnectLE>();
        m_connection->SetAsDefault();
        ASSERT_EQ(m_connection->OpenDBConnect(m_backend->ConnectionString().c_str(), "Main"), 1);
        if (IsPostgres()) Exec("DROP SCHEMA public CASCADE; CREATE SCHEMA public");
    }
    bool IsPostgres() const { return std::string(GetParam()) == "PostgreSQL"; }

    void Exec(const char *sql)
    {
        CADORecordsetLE rs;
        ASSERT_EQ(rs.ExecuteSQL(sql), 0) << sql << ": " << LastErrorText();
    }
    static std::string LastErrorText()
    {
        const tagLastError *last = glGetLastError();
        return last ? last->text : "";
    }
    int Count(const char *table)
    {
        CADORecordsetLE rs;
        CString sql;
        sql.Format("SELECT COUNT(*) FROM %s", table);
        if (rs.ExecuteSQL(sql) != 0) return -1;
        return rs.GetAsInt(0, -1);
    }

    std::unique_ptr<Backend> m_backend;
    std::unique_ptr<CADOConnectLE> m_connection;
};

} // namespace dbtest

#define DB_BACKENDS(suite)                                                                         \
    INSTANTIATE_TEST_SUITE_P(Backends, suite, ::testing::Values("SQLite", "PostgreSQL"),           \
                             [](const auto &info) { return std::string(info.param); })
