// Recordsets: statements in a transaction, the last error and the failure records, getters
// with their defaults, navigation, the statement builders and MakeSQLString.
#include "DbTestKit.h"

#include "devext/device/CArgListA.h"
#include "tests/KestLib20/ScopedTimeZone.h"

#include <atomic>
#include <thread>

using dbtest::LogCapture;

namespace {

class RecordsetTest : public dbtest::DbTest {};

struct FailingSecond {
    const char *name;
    const char *statement;
    int32_t code;
};

// The first statement succeeds, the second fails: nothing of either stays.
TEST_P(RecordsetTest, TransactionRolledBackWhenItsSecondStatementFails)
{
    Exec("CREATE TABLE t_tx (id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL)");
    Exec("INSERT INTO t_tx VALUES (1, 'one')");
    const FailingSecond cases[] = {
        {"syntax", "INSERT INTO t_tx VALUES (", plat::db::kSyntaxError},
        {"missing table", "INSERT INTO t_none VALUES (3, 'x')", plat::db::kNoSuchTable},
        {"duplicate key", "INSERT INTO t_tx VALUES (1, 'again')", plat::db::kConstraintViolation},
        {"null", "INSERT INTO t_tx VALUES (4, NULL)", plat::db::kConstraintViolation},
    };
    for (const FailingSecond &c : cases) {
        LogCapture records("#OVRA_DEV");
        CStringArray statements;
        statements.Add("INSERT INTO t_tx VALUES (2, 'two')");
        statements.Add(c.statement);
        CADORecordsetLE rs;
        EXPECT_EQ(rs.ExecuteSQLs(statements), c.code) << c.name;
        EXPECT_EQ(glGetLastError()->code, c.code) << c.name;
        EXPECT_LE(strlen(glGetLastError()->text), 32u) << c.name;
        EXPECT_GT(strlen(glGetLastError()->text), 0u) << c.name;
        CString record;
        record.Format("<DEV=\"ADO\" ID=\"%d\" MSG=\"%s\">", c.code, glGetLastError()->text);
        EXPECT_EQ(records.Lines(), std::vector<std::string>{record.GetString()}) << c.name;
        EXPECT_EQ(Count("t_tx"), 1) << c.name;
        // A statement failure keeps the connection open.
        EXPECT_EQ(m_connection->GetStatus(), 1) << c.name;
    }
    CStringArray good;
    good.Add("INSERT INTO t_tx VALUES (2, 'two')");
    good.Add("INSERT INTO t_tx VALUES (3, 'three')");
    CADORecordsetLE rs;
    EXPECT_EQ(rs.ExecuteSQLs(good), 0);
    EXPECT_EQ(glGetLastError()->code, 0);
    EXPECT_EQ(Count("t_tx"), 3);
}

// Threads running transactions on one connection: each stays whole, none sees another's.
TEST_P(RecordsetTest, ThreadsSharingAConnectionKeepTheirTransactionsApart)
{
    Exec("CREATE TABLE t_par (id INTEGER PRIMARY KEY, thread INTEGER)");
    constexpr int kThreads = 4;
    constexpr int kRounds = 15;
    std::vector<std::thread> threads;
    std::atomic<int> unexpected{0};
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &unexpected] {
            for (int r = 0; r < kRounds; ++r) {
                const int id = t * 1000 + r;
                CString first, second;
                first.Format("INSERT INTO t_par VALUES (%d, %d)", id, t);
                // Odd threads fail on their second statement.
                if (t % 2)
                    second.Format("INSERT INTO t_nowhere VALUES (%d)", id);
                else
                    second.Format("INSERT INTO t_par VALUES (%d, %d)", id + 500, t);
                CStringArray statements;
                statements.Add(first);
                statements.Add(second);
                CADORecordsetLE rs;
                const int32_t expected = t % 2 ? plat::db::kNoSuchTable : 0;
                if (rs.ExecuteSQLs(statements) != expected) ++unexpected;
            }
        });
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(unexpected, 0);
    EXPECT_EQ(Count("t_par"), kThreads / 2 * kRounds * 2);
    CADORecordsetLE rs;
    ASSERT_EQ(rs.ExecuteSQL("SELECT COUNT(*) FROM t_par WHERE thread % 2 = 1"), 0);
    EXPECT_EQ(rs.GetAsInt(0, -1), 0);
}

TEST_P(RecordsetTest, FailuresCarryTheProviderDiagnostics)
{
    CADORecordsetLE rs;
    EXPECT_EQ(rs.ExecuteSQL("SELECT * FROM t_nowhere"), plat::db::kNoSuchTable);
    const CString provider = rs.GetProviderError();
    EXPECT_NE(provider.Find("t_nowhere"), -1) << provider.GetString();
    EXPECT_NE(provider.Find("\nState: "), -1) << provider.GetString();
    EXPECT_EQ(rs.GetError(plat::db::Error(plat::db::kNoSuchTable, "x")), provider);
    CADORecordsetLE named("no such connection");
    EXPECT_EQ(named.GetProviderError(), "数据库连接未创建");
    EXPECT_EQ(named.ExecuteSQL("SELECT 1"), E_FAIL);
}

TEST(RecordsetErrorTest, ComErrorTextsFollowTheCode)
{
    CADORecordsetLE rs;
    const std::pair<int32_t, const char *> cases[] = {
        {E_FAIL, "HRESULT: 0x80004005; Error: Unspecified error"},
        {plat::db::kSyntaxError, "HRESULT: 0x80040e14; Error: IDispatch error #3092"},
        {static_cast<int32_t>(0x80001234u), "HRESULT: 0x80001234; Error: Unknown error 0x80001234"},
    };
    for (const auto &[code, text] : cases)
        EXPECT_EQ(rs.GetComError(plat::db::Error(code, "what", "src")),
                  CString(text) + "\nSource: src; Description: what");
}

TEST(RecordsetErrorTest, NoConnectionGivesFailureAndLeavesTheLastError)
{
    LogCapture records("#OVRA_DEV");
    glGetLastError()->code = 1234;
    CADORecordsetLE rs;
    EXPECT_EQ(rs.ExecuteSQL("SELECT 1"), E_FAIL);
    EXPECT_EQ(rs.ExecuteSQL(u"SELECT 1"), E_FAIL);
    EXPECT_EQ(glGetLastError()->code, 1234);
    EXPECT_TRUE(records.Lines().empty());
    // A closed recordset answers without raising.
    EXPECT_EQ(rs.IsRSEOF(), 1);
    EXPECT_EQ(rs.IsRSBOF(), 1);
    EXPECT_EQ(rs.IsNull(), 1);
    EXPECT_EQ(rs.RSMoveNext(), 0);
    EXPECT_EQ(rs.GetFieldCount(), 0);
    EXPECT_EQ(rs.GetRecordCount(), 0);
    EXPECT_EQ(rs.GetAsInt(0, 7), 7);
}

TEST_P(RecordsetTest, MissingNullAndUnconvertibleValuesGiveTheDefaults)
{
    ScopedTimeZone zone("UTC");
    Exec("CREATE TABLE t_get (id INTEGER, name VARCHAR(20), ratio REAL, born VARCHAR(30), "
         "\"2\" VARCHAR(5))");
    Exec("INSERT INTO t_get VALUES (NULL, NULL, NULL, NULL, NULL)");
    Exec("INSERT INTO t_get VALUES (42, 'abc', 1.5, '2024-03-05 06:07:08', 'two')");
    CADORecordsetLE rs;
    ASSERT_EQ(rs.ExecuteSQL("SELECT id, name, ratio, born, \"2\" FROM t_get ORDER BY id"), 0);
    const CTime def(1234);
    // The NULL row comes first or last depending on the database; find it.
    if (rs.GetAsInt("id", -1) != -1) rs.RSMoveLast();
    EXPECT_EQ(rs.GetAsInt("id", 7), 7);
    EXPECT_EQ(rs.GetAsString("name", "def"), "def");
    EXPECT_EQ(rs.GetAsStringW(u"name", u"wide"), u"wide");
    EXPECT_EQ(rs.GetAsFloat("ratio", 2.5), 2.5);
    EXPECT_EQ(rs.GetAsCTime("born", def), def);
    EXPECT_EQ(rs.GetAsFileTime("born").GetTime(), CFileTime(CTime(1)).GetTime());
    plat::db::Value untouched = plat::db::Value::Integer(5);
    EXPECT_EQ(rs.GetAsVariant("id", untouched), 1);
    EXPECT_TRUE(untouched.IsNull());

    rs.RSMoveFirst();
    if (rs.GetAsInt("id", -1) == -1) rs.RSMoveNext();
    EXPECT_EQ(rs.GetAsInt("id", 7), 42);
    EXPECT_EQ(rs.GetAsInt("ID", 7), 42); // names without regard to case
    EXPECT_EQ(rs.GetAsInt("missing", 7), 7);
    EXPECT_EQ(rs.GetAsInt(5, 7), 7);
    EXPECT_EQ(rs.GetAsInt(70000, 7), 7);
    EXPECT_EQ(rs.GetAsInt(-1, 7), 7);
    EXPECT_EQ(rs.GetAsInt("name", 7), 7);  // "abc" is no number
    EXPECT_EQ(rs.GetAsInt("ratio", 7), 2); // 1.5 rounds to even
    EXPECT_EQ(rs.GetAsString(1, ""), "abc");
    EXPECT_EQ(rs.GetAsString(2, ""), "1.5");   // by index: the third column
    EXPECT_EQ(rs.GetAsString("2", ""), "two"); // by name: the column named 2
    EXPECT_EQ(rs.GetAsStringW(u"name", u""), u"abc");
    EXPECT_EQ(rs.GetAsFloat("name", 2.5), 2.5);
    const CTime born = rs.GetAsCTime("born", def);
    EXPECT_EQ(born.GetYear(), 2024);
    EXPECT_EQ(born.GetMonth(), 3);
    EXPECT_EQ(born.GetDay(), 5);
    EXPECT_EQ(born.GetHour(), 6);
    EXPECT_EQ(born.GetMinute(), 7);
    EXPECT_EQ(born.GetSecond(), 8);
    EXPECT_EQ(rs.GetAsCTime("name", def), def);
    CStringArray record;
    EXPECT_EQ(rs.GetRecord(record), 5);
    EXPECT_EQ(record[0], "42");
    EXPECT_EQ(record[4], "two");
}

TEST_P(RecordsetTest, AutomationDateZeroGivesTheDefault)
{
    CADORecordsetLE rs;
    ASSERT_EQ(rs.ExecuteSQL("SELECT 0.0 AS d, '1899-12-30' AS t"), 0);
    const CTime def(99);
    EXPECT_EQ(rs.GetAsCTime("d", def), def);
    EXPECT_EQ(rs.GetAsCTime("t", def), def);
}

TEST_P(RecordsetTest, NavigatesBothWaysOverTheRows)
{
    Exec("CREATE TABLE t_nav (id INTEGER)");
    CADORecordsetLE rs;
    ASSERT_EQ(rs.ExecuteSQL("SELECT id FROM t_nav"), 0);
    EXPECT_EQ(rs.IsNull(), 1);
    EXPECT_EQ(rs.IsRSEOF(), -1);
    EXPECT_EQ(rs.IsRSBOF(), -1);
    EXPECT_EQ(rs.GetFieldCount(), 1);
    // A statement without rows leaves the recordset closed.
    ASSERT_EQ(rs.ExecuteSQL("INSERT INTO t_nav VALUES (1), (2), (3)"), 0);
    EXPECT_EQ(rs.GetFieldCount(), 0);
    EXPECT_EQ(rs.IsRSEOF(), 1);

    ASSERT_EQ(rs.ExecuteSQL("SELECT id FROM t_nav ORDER BY id"), 0);
    EXPECT_EQ(rs.GetRecordCount(), 3);
    EXPECT_EQ(rs.IsNull(), 0);
    EXPECT_EQ(rs.IsRSBOF(), 0);
    CStringArray names;
    EXPECT_EQ(rs.GetFields(names), 1);
    EXPECT_EQ(names[0], "id");
    std::vector<int> seen;
    for (; !rs.IsRSEOF(); rs.RSMoveNext()) seen.push_back(rs.GetAsInt(0, -1));
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_THROW(rs.RSMoveNext(), plat::db::Error);
    EXPECT_EQ(rs.GetAsInt(0, -1), -1); // no current row at the end
    rs.RSMoveLast();
    EXPECT_EQ(rs.GetAsInt(0, -1), 3);
    rs.RSMovePrevious();
    rs.RSMovePrevious();
    EXPECT_EQ(rs.GetAsInt(0, -1), 1);
    rs.RSMovePrevious();
    EXPECT_EQ(rs.IsRSBOF(), -1);
    EXPECT_THROW(rs.RSMovePrevious(), plat::db::Error);
    rs.RSMoveFirst();
    EXPECT_EQ(rs.GetAsInt(0, -1), 1);
    rs.CloseRecordset();
    EXPECT_EQ(rs.IsNull(), 1);
}

TEST_P(RecordsetTest, StringArraysCollectEveryColumn)
{
    Exec("CREATE TABLE t_arr (id INTEGER, name VARCHAR(10))");
    Exec("INSERT INTO t_arr VALUES (1, 'a'), (2, 'b')");
    CStringArray ids, names;
    ids.Add("kept");
    tagArgItem items[] = {ArgOf(ids), ArgOf(names)};
    CArgListA columns(items);
    CADORecordsetLE rs;
    EXPECT_EQ(rs.GetRsAsStringArray("SELECT id, name FROM t_arr ORDER BY id", columns), 1);
    EXPECT_EQ(ids.GetSize(), 3);
    EXPECT_EQ(ids[2], "2");
    EXPECT_EQ(names[1], "b");
    EXPECT_EQ(rs.GetRsAsStringArray("SELECT id, name FROM t_arr WHERE id > 5", columns), 0);
    EXPECT_EQ(rs.GetRsAsStringArray("SELECT nothing FROM t_none", columns), 0);
}

struct BuilderCase {
    const char *name;
    int length;                 // of the statement
    std::vector<size_t> pieces; // logged piece lengths
};

TEST_P(RecordsetTest, BuildersRunTheirStatementsAndLogInPiecesOfFifty)
{
    dbtest::DebugOn debug;
    Exec("CREATE TABLE t_b (a VARCHAR(200), b VARCHAR(20))");
    CADORecordsetLE rs;
    CMapStringToString empty;
    EXPECT_EQ(rs.InsertIntoTable("t_none", empty, 1), 0);
    EXPECT_EQ(rs.UpdateRecord("t_none", "1=1", empty, 1), 0);
    EXPECT_EQ(rs.DeleteRecords("t_none", empty), 0);

    // "INSERT INTO t_b (a) VALUES('...')" is 30 characters around the value.
    const BuilderCase cases[] = {
        {"120", 120, {50, 50, 20}},
        {"100", 100, {50, 50, 0}},
        {"49", 49, {49}},
    };
    for (const BuilderCase &c : cases) {
        LogCapture log("LOG_DB_ERROR");
        CMapStringToString values;
        values["a"] = std::string(static_cast<size_t>(c.length - 30), 'x').c_str();
        EXPECT_EQ(rs.InsertIntoTable("t_b", values, 1), 0) << c.name;
        std::vector<size_t> pieces;
        std::string joined;
        for (const std::string &line : log.Lines()) {
            pieces.push_back(line.size());
            joined += line;
        }
        EXPECT_EQ(pieces, c.pieces) << c.name;
        EXPECT_EQ(joined.substr(0, 32), "INSERT INTO t_b (a) VALUES('xxxx") << c.name;
    }
    EXPECT_EQ(Count("t_b"), 3);

    CMapStringToString pair;
    pair["a"] = "1";
    pair["b"] = "2";
    EXPECT_EQ(rs.InsertIntoTable("t_b", pair, 0), 0);
    CMapStringToString change;
    change["b"] = "3";
    {
        LogCapture log("LOG_DB_ERROR");
        EXPECT_EQ(rs.UpdateRecord("t_b", "a='1'", change, 1), 0);
        EXPECT_EQ(log.Lines(), std::vector<std::string>{"UPDATE t_b SET b='3' WHERE a='1'"});
    }
    ASSERT_EQ(rs.ExecuteSQL("SELECT b FROM t_b WHERE a='1'"), 0);
    EXPECT_EQ(rs.GetAsString("b", ""), "3");
    pair["b"] = "3";
    EXPECT_EQ(rs.DeleteRecords("t_b", pair), 0);
    EXPECT_EQ(Count("t_b"), 3);
}

TEST(MakeSqlStringTest, DoublesEveryQuote)
{
    const std::pair<const char *, const char *> cases[] = {
        {"O'Brien", "O''Brien"},
        {"''", "''''"},
        {"中文'名", "中文''名"},
        {"\xD6'", "\xD6''"}, // a lead byte before the quote
        {"\xD6", "\xD6"},    // a lead byte at the end
        {"\x81\x40'", "\x81\x40''"},
        {"", ""},
    };
    for (const auto &[text, expected] : cases) EXPECT_EQ(MakeSQLString(text), expected) << text;
}

// Values passed through MakeSQLString are stored as the text they are, whatever they hold.
TEST_P(RecordsetTest, InjectionThroughMakeSqlStringIsStoredAsPlainText)
{
    Exec("CREATE TABLE t_victim (id INTEGER, name VARCHAR(100))");
    Exec("INSERT INTO t_victim VALUES (0, 'first')");
    const std::pair<const char *, const char *> cases[] = {
        {"O'Brien", "O'Brien"},
        {"中文'名", "中文'名"},
        {"x' OR '1'='1", "x' OR '1'='1"},
        {"'); DROP TABLE t_victim; --", "'); DROP TABLE t_victim; --"},
        // A lead byte with a quote after it is no character: it reaches the database as '?'.
        {"\xD6'); DROP TABLE t_victim; --", "?'); DROP TABLE t_victim; --"},
        {"\xD6", "?"},
    };
    int id = 0;
    for (const auto &[text, stored] : cases) {
        ++id;
        CMapStringToString values;
        values["id"] = std::to_string(id).c_str();
        values["name"] = MakeSQLString(text);
        CADORecordsetLE rs;
        ASSERT_EQ(rs.InsertIntoTable("t_victim", values, 0), 0) << text;
        CString where;
        where.Format("SELECT name FROM t_victim WHERE name = '%s'",
                     MakeSQLString(text).GetString());
        ASSERT_EQ(rs.ExecuteSQL(where), 0) << text;
        EXPECT_EQ(rs.GetRecordCount(), 1) << text;
        EXPECT_EQ(rs.GetAsString(0, "<none>"), stored) << text;
    }
    EXPECT_EQ(Count("t_victim"), id + 1);
}

DB_BACKENDS(RecordsetTest);

} // namespace
