// Caches of one database table in memory, keyed by the values of its key column(s), for
// lookups without a query each time. A lookup that misses calls the load handler (by default
// a reload of the whole table) and looks once more. CTableCacheX keys by one or more
// columns, CTableCache by one. Both load through a recordset on the current connection.
// Lookups and row updates take the cache's lock; queries and load handlers run outside it.
// Lists of names or values (const char**) end with a null entry.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

// Load handlers: (context, the key that missed) -> non-zero when the cache may hold it now.
// The key argument points at the end of the key list (or text), so it reads as empty.
using TableCacheXLoadProc = int (*)(void *context, const char **keys);
using TableCacheLoadProc = int (*)(void *context, const char *key);

class DEVEXT20_API ITableCacheX {
public:
    // Empties the cache and declares the table, its key columns and its columns: 1.
    virtual int Initialize(const char *table, const char **keyColumns, const char **columns) = 0;
    virtual int SetLoadHandler(void *context, TableCacheXLoadProc handler) = 0;
    virtual int GetValue(const char **keys, const char *column, CString &value) = 0;
    virtual int GetRow(const char **keys, CMapStringToString &row) = 0;
    // values[i] is the value of the i-th column named, "" for a name that is no column.
    virtual int GetValues(const char **keys, const char **columns, CString *values) = 0;
    // Adds or replaces the rows the condition selects ("" for all): 1, or 0 when the query
    // failed or returned no rows.
    virtual int Load(const char *condition) = 0;
    // Never loads.
    virtual int IsCached(const char **keys) = 0;
    virtual int Reserved(void *, void *) = 0;

protected:
    ~ITableCacheX() = default;
};

class DEVEXT20_API ITableCache {
public:
    virtual int Initialize(const char *table, const char *keyColumn, const char **columns) = 0;
    virtual int SetLoadHandler(void *context, TableCacheLoadProc handler) = 0;
    virtual int Load(const char *condition) = 0;
    virtual int IsCached(const char *key) = 0;
    virtual int GetValue(const char *key, const char *column, CString &value) = 0;
    virtual int GetRow(const char *key, CMapStringToString &row) = 0;
    virtual int GetValues(const char *key, const char **columns, CString *values) = 0;
    virtual int Reserved(const char *condition, void *) = 0;

protected:
    ~ITableCache() = default;
};

class DEVEXT20_API CTableCacheX {
public:
    CTableCacheX();
    ~CTableCacheX();
    CTableCacheX(const CTableCacheX &) = delete;
    CTableCacheX &operator=(const CTableCacheX &) = delete;
    ITableCacheX *operator->() const;

    class _Impl;

private:
    _Impl *m_pImpl;
};

class DEVEXT20_API CTableCache {
public:
    CTableCache();
    ~CTableCache();
    CTableCache(const CTableCache &) = delete;
    CTableCache &operator=(const CTableCache &) = delete;
    ITableCache *operator->() const;

    class _Impl;

private:
    _Impl *m_pImpl;
};
