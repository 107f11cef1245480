// Table caches over a real table: loads, reloads on a miss, keys of one or more columns.
#include "DbTestKit.h"

#include "devext/services/db/TableCache.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

class CacheTest : public dbtest::DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Exec("CREATE TABLE t_dev (id INTEGER, kind VARCHAR(10), name VARCHAR(20))");
        Exec("INSERT INTO t_dev VALUES (1, 'a,b', 'first'), (42, 'a', 'answer'), "
             "(12, 'x', 'twelve')");
    }
};

const char *kColumns[] = {"id", "kind", "name", nullptr};

// A handler that counts its calls and then does what the built-in one does.
struct CountingReload {
    ITableCache *cache = nullptr;
    int calls = 0;
    static int Call(void *context, const char *key)
    {
        auto *self = static_cast<CountingReload *>(context);
        ++self->calls;
        EXPECT_STREQ(key, "") << "the key argument reads as an empty text";
        return self->cache->Load("");
    }
};

TEST_P(CacheTest, SingleKeyCacheReloadsOnAMissAndFindsNewRows)
{
    CTableCache cache;
    ASSERT_EQ(cache->Initialize("t_dev", "id", kColumns), 1);
    CString value;
    EXPECT_EQ(cache->IsCached("42"), 0);
    EXPECT_EQ(cache->GetValue("42", "name", value), 1); // loads the table
    EXPECT_EQ(value, "answer");
    EXPECT_EQ(cache->IsCached("42"), 1);

    CountingReload reload{cache.operator->()};
    cache->SetLoadHandler(&reload, &CountingReload::Call);
    Exec("INSERT INTO t_dev VALUES (7, 'n', 'seven')");
    EXPECT_EQ(cache->IsCached("7"), 0); // never loads
    EXPECT_EQ(reload.calls, 0);
    EXPECT_EQ(cache->GetValue("7", "name", value), 1);
    EXPECT_EQ(value, "seven");
    EXPECT_EQ(reload.calls, 1);
    value = "unchanged";
    EXPECT_EQ(cache->GetValue("99", "name", value), 0); // one reload, still missing
    EXPECT_EQ(value, "unchanged");
    EXPECT_EQ(reload.calls, 2);

    CString values[3];
    const char *wanted[] = {"kind", "nothing", "id", nullptr};
    EXPECT_EQ(cache->GetValues("1", wanted, values), 1);
    EXPECT_EQ(values[0], "a,b");
    EXPECT_EQ(values[1], "");
    EXPECT_EQ(values[2], "1");
    CMapStringToString row;
    row["stale"] = "x";
    EXPECT_EQ(cache->GetRow("12", row), 1);
    EXPECT_EQ(row.GetCount(), 3);
    EXPECT_EQ(row["name"], "twelve");
    EXPECT_EQ(cache->Reserved("", nullptr), 1);
}

TEST_P(CacheTest, ConditionalLoadsAddRowsAndNeverRemoveThem)
{
    CTableCache cache;
    cache->Initialize("t_dev", "id", kColumns);
    cache->SetLoadHandler(nullptr, nullptr);
    EXPECT_EQ(cache->Load("id<10"), 1);
    EXPECT_EQ(cache->IsCached("1"), 1);
    EXPECT_EQ(cache->IsCached("42"), 0);
    CString value;
    EXPECT_EQ(cache->GetValue("42", "name", value), 0); // no handler: no load
    EXPECT_EQ(cache->Load("id>100"), 0);                // no rows: nothing changes
    EXPECT_EQ(cache->Load(""), 1);
    EXPECT_EQ(cache->IsCached("42"), 1);
    Exec("DELETE FROM t_dev WHERE id=42");
    Exec("UPDATE t_dev SET name='one' WHERE id=1");
    EXPECT_EQ(cache->Load(""), 1);
    EXPECT_EQ(cache->IsCached("42"), 1);
    EXPECT_EQ(cache->GetValue("1", "name", value), 1);
    EXPECT_EQ(value, "one");
    EXPECT_EQ(cache->Load("no such column = 1"), 0);
    EXPECT_EQ(cache->IsCached("1"), 1);

    // A second declaration starts again, with its own columns only.
    const char *fewer[] = {"id", "name", nullptr};
    cache->Initialize("t_dev", "name", fewer);
    EXPECT_EQ(cache->IsCached("1"), 0);
    EXPECT_EQ(cache->Load(""), 1);
    CString values[2];
    const char *wanted[] = {"id", "kind", nullptr};
    EXPECT_EQ(cache->GetValues("twelve", wanted, values), 1);
    EXPECT_EQ(values[0], "12");
    EXPECT_EQ(values[1], "");
}

TEST_P(CacheTest, SingleKeyCacheWithoutColumnsTakesTheResultsFields)
{
    CTableCache cache;
    cache->Initialize("t_dev", "kind", nullptr);
    CString value;
    EXPECT_EQ(cache->GetValue("x", "name", value), 1);
    EXPECT_EQ(value, "twelve");
}

TEST_P(CacheTest, MultiColumnKeysStayApartWhenValuesHoldCommas)
{
    // Rows whose comma-joined keys would both read "a,b,1,".
    Exec("INSERT INTO t_dev VALUES (1, 'a', 'b,1')");
    Exec("UPDATE t_dev SET name='1' WHERE kind='a,b'");
    CTableCacheX cache;
    const char *keys[] = {"kind", "name", nullptr};
    ASSERT_EQ(cache->Initialize("t_dev", keys, kColumns), 1);
    CString value;
    const char *first[] = {"a,b", "1", nullptr};
    const char *second[] = {"a", "b,1", nullptr};
    EXPECT_EQ(cache->GetValue(first, "id", value), 1);
    EXPECT_EQ(value, "1");
    EXPECT_EQ(cache->IsCached(second), 1);
    CMapStringToString row;
    EXPECT_EQ(cache->GetRow(second, row), 1);
    EXPECT_EQ(row["kind"], "a");
    const char *missing[] = {"a", nullptr};
    EXPECT_EQ(cache->IsCached(missing), 0);
    EXPECT_EQ(cache->GetValue(missing, "id", value), 0);
    EXPECT_EQ(cache->Reserved(nullptr, nullptr), 0);

    // A second declaration replaces the key list rather than adding to it.
    const char *byId[] = {"id", nullptr};
    cache->Initialize("t_dev", byId, kColumns);
    const char *answer[] = {"42", nullptr};
    EXPECT_EQ(cache->GetValue(answer, "name", value), 1);
    EXPECT_EQ(value, "answer");
}

// Lookups go on while loads replace the rows, and always see a whole row.
TEST_P(CacheTest, LookupsGoOnWhileLoadsRun)
{
    CTableCache cache;
    cache->Initialize("t_dev", "id", kColumns);
    ASSERT_EQ(cache->Load(""), 1);
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::thread loader([&] {
        for (int i = 0; i < 20; ++i) cache->Load(i % 2 ? "" : "id > 10");
        done = true;
    });
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
        readers.emplace_back([&] {
            const char *wanted[] = {"kind", "name", nullptr};
            while (!done) {
                CString values[2];
                if (!cache->GetValues("42", wanted, values) || values[0] != "a" ||
                    values[1] != "answer")
                    ++wrong;
            }
        });
    loader.join();
    for (std::thread &reader : readers) reader.join();
    EXPECT_EQ(wrong, 0);
}

// A cache whose table cannot be read answers misses without rows.
TEST_P(CacheTest, MissingTableLeavesTheCacheEmpty)
{
    dbtest::LogCapture records("#OVRA_DEV");
    CTableCache cache;
    cache->Initialize("t_none", "id", kColumns);
    CString value;
    EXPECT_EQ(cache->GetValue("1", "id", value), 0);
    ASSERT_EQ(records.Lines().size(), 1u);
    EXPECT_EQ(records.Lines()[0].rfind("<DEV=\"ADO\" ID=\"-2147217865\" MSG=", 0), 0u)
        << records.Lines()[0];
}

DB_BACKENDS(CacheTest);

} // namespace
