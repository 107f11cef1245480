// Database connections: the list and the current connection, the connection string builder,
// the records of each open, the lazy reopen and the schema listings.
#include "DbTestKit.h"

#include "platform/TimeSource.h"
#include "platform/db/ConnectionString.h"

#include <algorithm>

using dbtest::LogCapture;

namespace {

class ConnectionTest : public dbtest::DbTest {};

bool Contains(const CStringArray &names, const char *name)
{
    return std::any_of(names.begin(), names.end(),
                       [name](const CString &entry) { return entry.CompareNoCase(name) == 0; });
}

TEST(ConnectionListTest, FirstIsCurrentAndItsEndLeavesNone)
{
    auto first = std::make_unique<CADOConnectLE>();
    CADOConnectLE second;
    CADOConnectLE third;
    first->SetDBConnName("Main");
    second.SetDBConnName("main");
    third.SetDBConnName("Other");

    EXPECT_EQ(CADOConnectLE::GetByIndex(0), first.get());
    EXPECT_EQ(CADOConnectLE::GetByIndex(2), &third);
    EXPECT_EQ(CADOConnectLE::GetByIndex(3), nullptr);
    EXPECT_EQ(CADOConnectLE::GetByIndex(-1), nullptr);
    EXPECT_EQ(CADOConnectLE::GetByName("MAIN"), first.get()); // the first of two equal names
    EXPECT_EQ(CADOConnectLE::GetByName("other"), &third);
    EXPECT_EQ(CADOConnectLE::GetByName("none"), nullptr);

    first.reset();
    EXPECT_EQ(CADOConnectLE::GetByName("MAIN"), &second);
    EXPECT_EQ(CADOConnectLE::GetByIndex(0), &second);
    // The next in the list does not take over.
    EXPECT_EQ(CADOConnectLE::GetCurrentConn(), nullptr);
    third.SetAsDefault();
    // Never opened: no failed open to wait for, so it is tried at once, and fails.
    EXPECT_THROW(CADOConnectLE::GetCurrentConn(), plat::db::Error);
}

TEST(ConnectionStringBuilderTest, WritesTheFourValuesWithSaForNoUser)
{
    const std::pair<const char *, const char *> users[] = {
        {"", "sa"}, {nullptr, "sa"}, {"bob", "bob"}};
    for (const auto &[user, expected] : users)
        EXPECT_EQ(CADOConnectLE::MakeSqlConnectionString("srv", "db", user, "pw"),
                  CString("Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User ID=") +
                      expected + ";Password=pw;");
}

TEST(ConnectionStringBuilderTest, ValuesWithSemicolonsReadBackWhole)
{
    const CString text =
        CADOConnectLE::MakeSqlConnectionString("host;Provider=evil", "cat\"alog", " u ", "p;w'd");
    const auto parsed = plat::db::ConnectionString::Parse(text.GetString(), nullptr);
    ASSERT_TRUE(parsed) << text.GetString();
    EXPECT_EQ(*parsed->Find("Provider"), "SQLOLEDB");
    EXPECT_EQ(*parsed->Find("Data Source"), "host;Provider=evil");
    EXPECT_EQ(*parsed->Find("Initial Catalog"), "cat\"alog");
    EXPECT_EQ(*parsed->Find("User ID"), " u ");
    EXPECT_EQ(*parsed->Find("Password"), "p;w'd");
    // Long values need no scratch buffer.
    const std::string longName(300, 'x');
    EXPECT_NE(CADOConnectLE::MakeSqlConnectionString(longName.c_str(), "d", "u", "p")
                  .Find(longName.c_str()),
              -1);
}

TEST(ConnectionOpenTest, PostsOneRecordPerOpenAndThrowsForAnUnusableString)
{
    dbtest::SqliteBackend backend;
    LogCapture records("#OVRA_DEV");
    CADOConnectLE connection;
    EXPECT_EQ(connection.OpenDBConnect(backend.ConnectionString().c_str(), "Main"), 1);
    EXPECT_EQ(connection.GetStatus(), 1);
    backend.Halt();
    EXPECT_EQ(connection.OpenDBConnect(nullptr, nullptr), 0);
    EXPECT_EQ(connection.GetStatus(), 0);
    EXPECT_EQ(records.Lines(), (std::vector<std::string>{"<DEV=\"ADO\" ID=\"0\">",
                                                         "<DEV=\"ADO\" ID=\"-2147467259\">"}));
    // Reopened with the stored string and name.
    backend.Resume();
    EXPECT_EQ(connection.ReConnect(), 1);
    EXPECT_EQ(CADOConnectLE::GetByName("main"), &connection);

    try {
        connection.OpenDBConnect("Provider=SQLite;Data Source=\"open", nullptr);
        ADD_FAILURE() << "no error";
    } catch (const plat::db::Error &error) {
        EXPECT_EQ(error.Code(), plat::db::kBadConnectionString);
    }
    EXPECT_EQ(records.Lines().size(), 3u);
    EXPECT_EQ(connection.GetStatus(), 0);
}

// After a failed open nothing is tried for 6000 ms; the first use after that reopens.
TEST_P(ConnectionTest, ReopenWaitsSixSecondsAfterAFailedOpen)
{
    plat::ScopedTestClock clock(0x7FFFF000u); // near the sign change of a 32-bit tick
    m_connection->CloseDBConnect();
    m_backend->Halt();
    EXPECT_EQ(m_connection->OpenDBConnect(nullptr, nullptr), 0);
    m_backend->Resume();
    LogCapture records("#OVRA_DEV");
    for (int step = 0; step < 5; ++step) {
        plat::TestClock::Advance(1000);
        EXPECT_EQ(m_connection->ActiveConnect(), 0) << step;
        EXPECT_EQ(CADOConnectLE::GetCurrentConn(), nullptr) << step;
        CADORecordsetLE rs;
        EXPECT_EQ(rs.ExecuteSQL("SELECT 1"), E_FAIL);
    }
    plat::TestClock::Advance(999);
    EXPECT_EQ(m_connection->ActiveConnect(), 0);
    EXPECT_TRUE(records.Lines().empty()) << "an open was tried";
    plat::TestClock::Advance(1);
    EXPECT_EQ(CADOConnectLE::GetCurrentConn(), m_connection.get());
    EXPECT_EQ(records.Lines(), std::vector<std::string>{"<DEV=\"ADO\" ID=\"0\">"});
}

// A server lost under an open connection: the failing statement closes the connection, the
// next use tries at once, and after the server is back the pause after that try applies.
TEST_P(ConnectionTest, ReopensAfterTheServerWasStoppedAndStarted)
{
    if (!m_backend->LinkBreaks()) GTEST_SKIP() << "an embedded database has no link to lose";
    plat::ScopedTestClock clock;
    Exec("CREATE TABLE t_up (id INTEGER)");
    m_backend->Halt();
    CADORecordsetLE rs;
    EXPECT_EQ(rs.ExecuteSQL("INSERT INTO t_up VALUES (1)"), E_FAIL);
    EXPECT_EQ(glGetLastError()->code, E_FAIL);
    EXPECT_EQ(m_connection->GetStatus(), 0);
    EXPECT_EQ(rs.ExecuteSQL("INSERT INTO t_up VALUES (1)"), E_FAIL); // tried at once, failed
    m_backend->Resume();
    EXPECT_EQ(rs.ExecuteSQL("INSERT INTO t_up VALUES (1)"), E_FAIL); // within the pause
    plat::TestClock::Advance(6000);
    EXPECT_EQ(rs.ExecuteSQL("INSERT INTO t_up VALUES (2)"), 0);
    EXPECT_EQ(Count("t_up"), 1);
}

TEST_P(ConnectionTest, SchemaListingsNameTablesAndTheColumnsOfOne)
{
    Exec("CREATE TABLE t_one (id INTEGER PRIMARY KEY, name VARCHAR(20), born DATE)");
    Exec("CREATE TABLE t_two (other INTEGER)");
    Exec("CREATE VIEW v_one AS SELECT id FROM t_one");

    CStringArray tables;
    ASSERT_EQ(m_connection->GetTableNames(tables), 1);
    for (const char *name : {"t_one", "t_two", "v_one"})
        EXPECT_TRUE(Contains(tables, name)) << name;

    CStringArray fields;
    fields.Add("stale");
    ASSERT_EQ(m_connection->GetFieldNames("t_one", fields), 1);
    ASSERT_EQ(fields.GetSize(), 3);
    EXPECT_EQ(fields[0], "id");
    EXPECT_EQ(fields[1], "name");
    EXPECT_EQ(fields[2], "born");
    ASSERT_EQ(m_connection->GetFieldNames("t_missing", fields), 1);
    EXPECT_EQ(fields.GetSize(), 0);

    CStringArray procedures;
    EXPECT_EQ(m_connection->GetProcedureNames(procedures), 1);

    // A closed connection leaves the arrays as they are.
    m_connection->CloseDBConnect();
    fields.Add("kept");
    EXPECT_EQ(m_connection->GetFieldNames("t_one", fields), 0);
    EXPECT_EQ(m_connection->GetTableNames(fields), 0);
    EXPECT_EQ(fields.GetSize(), 1);
    CADOConnectLE never;
    EXPECT_THROW(never.GetTableNames(fields), plat::db::Error);
}

DB_BACKENDS(ConnectionTest);

} // namespace
