#include "devext/services/db/TableCache.h"

#include "devext/services/db/CADORecordsetLE.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using Row = std::vector<CString>;

// The buckets of the row map: tables of thousands of rows are looked up in constant time.
constexpr size_t kRowBuckets = 8197;

// What both variants share: the table, its columns, the rows by internal key, the lock and
// the load handler (taking a key argument of type Key).
template <class Key> class TableCacheCore {
public:
    using Handler = int (*)(void *context, Key key);

    TableCacheCore() { m_rows.rehash(kRowBuckets); }
    virtual ~TableCacheCore() = default;

    int SetLoadHandler(void *context, Handler handler)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_context = context;
        m_handler = handler;
        return 0;
    }

    int Load(const char *condition)
    {
        CString sql;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            CString columns;
            for (const CString &name : m_columns) columns += (columns.IsEmpty() ? "" : ",") + name;
            if (columns.IsEmpty()) columns = "*";
            if (condition && *condition)
                sql.Format("select %s from %s where %s", columns.GetString(), m_table.GetString(),
                           condition);
            else
                sql.Format("select %s from %s", columns.GetString(), m_table.GetString());
        }
        CADORecordsetLE recordset;
        recordset.ExecuteSQL(sql);
        if (recordset.IsNull()) return 0;
        size_t count = 0;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            if (m_columns.empty()) {
                CStringArray fields;
                recordset.GetFields(fields);
                for (const CString &field : fields) Register(field);
            }
            ResolveKeys();
            count = m_columns.size();
        }
        while (!recordset.IsRSEOF()) {
            Row values(count);
            for (size_t i = 0; i < count; ++i)
                values[i] = recordset.GetAsString(static_cast<int32_t>(i), "");
            {
                std::lock_guard<std::mutex> lk(m_lock);
                m_rows[RowKey(values)] = std::move(values);
            }
            recordset.RSMoveNext();
        }
        return 1;
    }

protected:
    // Under the lock: empties the cache and starts a new declaration.
    void Reset(const char *table)
    {
        m_rows.clear();
        m_table = table ? table : "";
        m_columns.clear();
        m_positions.clear();
    }

    // Under the lock: a new column goes to the end; a known one is ignored.
    void Register(const char *name)
    {
        if (m_positions.emplace(name, static_cast<int>(m_columns.size())).second)
            m_columns.emplace_back(name);
    }

    // Under the lock; -1 for a name that is no column.
    int Position(const char *name) const
    {
        const auto found = m_positions.find(name ? name : "");
        return found == m_positions.end() ? -1 : found->second;
    }

    // Under the lock: column `position` of the row, "" past its end.
    static CString At(const Row &row, int position)
    {
        return position >= 0 && static_cast<size_t>(position) < row.size()
                   ? row[static_cast<size_t>(position)]
                   : CString();
    }

    // 1 with the values of the named columns, or the whole row into `row`; 0 when missing.
    int Lookup(const std::string &key, const char **columns, CString *values,
               CMapStringToString *row)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        const auto found = m_rows.find(key);
        if (found == m_rows.end()) return 0;
        if (row) {
            row->RemoveAll();
            for (size_t i = 0; i < m_columns.size(); ++i)
                row->SetAt(m_columns[i], At(found->second, static_cast<int>(i)));
        } else {
            for (int i = 0; columns && columns[i]; ++i)
                values[i] = At(found->second, Position(columns[i]));
        }
        return 1;
    }

    int Has(const std::string &key)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_rows.count(key) ? 1 : 0;
    }

    // The lookup: once, then after the load handler (called outside the lock) once more.
    int LookupOrLoad(const std::string &key, const char **columns, CString *values,
                     CMapStringToString *row, Key missed)
    {
        if (Lookup(key, columns, values, row)) return 1;
        void *context = nullptr;
        Handler handler = nullptr;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            context = m_context;
            handler = m_handler;
        }
        return handler && handler(context, missed) ? Lookup(key, columns, values, row) : 0;
    }

    // The built-in handler: a reload of the whole table of the cache given as context.
    static int Reload(void *context, Key)
    {
        return static_cast<TableCacheCore *>(context)->Load("");
    }

    // Under the lock, after the columns are known.
    virtual void ResolveKeys() = 0;
    virtual std::string RowKey(const Row &row) const = 0;

    std::mutex m_lock;

private:
    void *m_context = this;
    Handler m_handler = &Reload;
    CString m_table;
    std::vector<CString> m_columns;
    std::unordered_map<std::string, int> m_positions;
    std::unordered_map<std::string, Row> m_rows;
};

// The key list handed to a load handler when the lookup had none.
const char *kNoKeys[] = {nullptr};

} // namespace

class CTableCacheX::_Impl final : public ITableCacheX, public TableCacheCore<const char **> {
public:
    int Initialize(const char *table, const char **keyColumns, const char **columns) override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        Reset(table);
        m_keyColumns.clear();
        for (int i = 0; columns && columns[i]; ++i) Register(columns[i]);
        for (int i = 0; keyColumns && keyColumns[i]; ++i) m_keyColumns.emplace_back(keyColumns[i]);
        return 1;
    }
    int SetLoadHandler(void *context, TableCacheXLoadProc handler) override
    {
        return TableCacheCore::SetLoadHandler(context, handler);
    }
    int GetValue(const char **keys, const char *column, CString &value) override
    {
        const char *columns[] = {column, nullptr};
        CString found;
        if (!GetValues(keys, columns, &found)) return 0;
        value = found;
        return 1;
    }
    int GetRow(const char **keys, CMapStringToString &row) override
    {
        return Find(keys, nullptr, nullptr, &row);
    }
    int GetValues(const char **keys, const char **columns, CString *values) override
    {
        return Find(keys, columns, values, nullptr);
    }
    int Load(const char *condition) override { return TableCacheCore::Load(condition); }
    int IsCached(const char **keys) override { return Has(KeyOf(keys)); }
    int Reserved(void *, void *) override { return 0; }

private:
    // Each value with its length before it, so that no two key lists give one text.
    static void Append(std::string &key, const char *value)
    {
        const size_t length = std::strlen(value);
        key += std::to_string(length) + ':';
        key.append(value, length);
    }
    static std::string KeyOf(const char **keys)
    {
        std::string key;
        for (int i = 0; keys && keys[i]; ++i) Append(key, keys[i]);
        return key;
    }
    void ResolveKeys() override
    {
        m_keyPositions.clear();
        // A key column that is no column reads column 0.
        for (const CString &name : m_keyColumns)
            m_keyPositions.push_back(std::max(Position(name), 0));
    }
    std::string RowKey(const Row &row) const override
    {
        std::string key;
        for (int position : m_keyPositions) Append(key, At(row, position));
        return key;
    }
    int Find(const char **keys, const char **columns, CString *values, CMapStringToString *row)
    {
        const char **end = keys;
        while (end && *end) ++end;
        return LookupOrLoad(KeyOf(keys), columns, values, row, end ? end : kNoKeys);
    }

    std::vector<CString> m_keyColumns;
    std::vector<int> m_keyPositions;
};

class CTableCache::_Impl final : public ITableCache, public TableCacheCore<const char *> {
public:
    int Initialize(const char *table, const char *keyColumn, const char **columns) override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        Reset(table);
        m_keyColumn = keyColumn;
        m_keyPosition = -1;
        for (int i = 0; columns && columns[i]; ++i) Register(columns[i]);
        ResolveKeys();
        return 1;
    }
    int SetLoadHandler(void *context, TableCacheLoadProc handler) override
    {
        return TableCacheCore::SetLoadHandler(context, handler);
    }
    int Load(const char *condition) override { return TableCacheCore::Load(condition); }
    int IsCached(const char *key) override { return Has(key ? key : ""); }
    int GetValue(const char *key, const char *column, CString &value) override
    {
        const char *columns[] = {column, nullptr};
        CString found;
        if (!GetValues(key, columns, &found)) return 0;
        value = found;
        return 1;
    }
    int GetRow(const char *key, CMapStringToString &row) override
    {
        return Find(key, nullptr, nullptr, &row);
    }
    int GetValues(const char *key, const char **columns, CString *values) override
    {
        return Find(key, columns, values, nullptr);
    }
    int Reserved(const char *, void *) override { return 1; }

private:
    void ResolveKeys() override
    {
        if (m_keyPosition < 0) m_keyPosition = Position(m_keyColumn);
    }
    std::string RowKey(const Row &row) const override
    {
        return m_keyPosition < 0 ? std::string() : std::string(At(row, m_keyPosition).GetString());
    }
    int Find(const char *key, const char **columns, CString *values, CMapStringToString *row)
    {
        return LookupOrLoad(key ? key : "", columns, values, row,
                            key ? key + std::strlen(key) : "");
    }

    CString m_keyColumn;
    int m_keyPosition = -1;
};

CTableCacheX::CTableCacheX() : m_pImpl(new _Impl) {}

CTableCacheX::~CTableCacheX()
{
    delete m_pImpl;
}

ITableCacheX *CTableCacheX::operator->() const
{
    return m_pImpl;
}

CTableCache::CTableCache() : m_pImpl(new _Impl) {}

CTableCache::~CTableCache()
{
    delete m_pImpl;
}

ITableCache *CTableCache::operator->() const
{
    return m_pImpl;
}
