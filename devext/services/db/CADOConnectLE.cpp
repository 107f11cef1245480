#include "devext/services/db/CADOConnectLE.h"

#include "Kest20/KestLog.h"
#include "devext/services/db/ConnectionState.h"
#include "platform/Gbk.h"
#include "platform/TimeSource.h"
#include "platform/db/ConnectionString.h"

#include <algorithm>
#include <vector>

namespace {

constexpr uint64_t kReopenPauseMs = 6000;

// Every live connection in construction order, and the current one. Never freed before exit.
struct ConnectionList {
    std::mutex lock;
    std::vector<CADOConnectLE *> items;
    CADOConnectLE *current = nullptr;
};

ConnectionList &List()
{
    static ConnectionList list;
    return list;
}

uint64_t NowMs()
{
    return plat::MonotonicNanos() / 1000000;
}

using Lock = std::lock_guard<std::recursive_mutex>;

void SetName(CADOConnectLE::_Impl &state, const char *name)
{
    std::lock_guard<std::mutex> lk(List().lock);
    state.name = name;
}

} // namespace

CString DbText(const std::string &utf8)
{
    return CString(plat::Utf8ToGbk(utf8));
}

std::string DbUtf8(const char *gbk)
{
    return plat::GbkToUtf8(gbk ? gbk : "");
}

CADOConnectLE::CADOConnectLE() : m_pImpl(new _Impl)
{
    ConnectionList &list = List();
    std::lock_guard<std::mutex> lk(list.lock);
    list.items.push_back(this);
    if (!list.current) list.current = this;
}

CADOConnectLE::~CADOConnectLE()
{
    CloseDBConnect();
    {
        ConnectionList &list = List();
        std::lock_guard<std::mutex> lk(list.lock);
        const auto found = std::find(list.items.begin(), list.items.end(), this);
        if (found != list.items.end()) list.items.erase(found);
        if (list.current == this) list.current = nullptr;
    }
    delete m_pImpl;
}

void CADOConnectLE::SetConnectionString(const char *connectionString)
{
    if (!connectionString) return;
    Lock lk(m_pImpl->lock);
    m_pImpl->connectionString = connectionString;
}

void CADOConnectLE::SetDBConnName(const char *name)
{
    if (name) SetName(*m_pImpl, name);
}

void CADOConnectLE::SetAsDefault()
{
    ConnectionList &list = List();
    std::lock_guard<std::mutex> lk(list.lock);
    list.current = this;
}

CString CADOConnectLE::MakeSqlConnectionString(const char *server, const char *database,
                                               const char *user, const char *password)
{
    const auto value = [](const char *text) {
        return CString(plat::db::QuoteConnectionValue(text ? text : "").c_str());
    };
    CString text;
    text.Format("Provider=SQLOLEDB;Data Source=%s;Initial Catalog=%s;User ID=%s;Password=%s;",
                value(server).GetString(), value(database).GetString(),
                value(user && *user ? user : "sa").GetString(), value(password).GetString());
    return text;
}

int CADOConnectLE::OpenDBConnect(const char *connectionString, const char *name)
{
    _Impl &state = *m_pImpl;
    Lock lk(state.lock);
    if (state.connection) CloseDBConnect();
    if (name) SetName(state, name);
    if (connectionString) state.connectionString = connectionString;
    state.connection.reset();
    // A string that cannot be used throws to the caller, before anything is posted.
    state.connection = plat::db::CreateConnection(DbUtf8(state.connectionString));
    try {
        state.connection->Open(state.timeOutSeconds);
        state.status = 1;
        state.lastFailureMs.reset();
    } catch (...) {
        state.status = 0;
        state.lastFailureMs = NowMs();
        CloseDBConnect();
    }
    CString record;
    record.Format("<DEV=\"ADO\" ID=\"%d\">", state.status == 1 ? 0 : -2147467259);
    glReportLog("#OVRA_DEV", record, nullptr);
    return state.status;
}

int CADOConnectLE::ReConnect()
{
    Lock lk(m_pImpl->lock);
    CloseDBConnect();
    return OpenDBConnect(nullptr, nullptr);
}

int CADOConnectLE::ActiveConnect()
{
    _Impl &state = *m_pImpl;
    Lock lk(state.lock);
    if (state.status != 0) return 1;
    // A connection closed without a failed open (after a broken link) reopens at once.
    if (!state.lastFailureMs || NowMs() - *state.lastFailureMs >= kReopenPauseMs)
        return ReConnect();
    return 0;
}

int CADOConnectLE::GetStatus()
{
    Lock lk(m_pImpl->lock);
    return m_pImpl->status;
}

int CADOConnectLE::CloseDBConnect()
{
    Lock lk(m_pImpl->lock);
    if (m_pImpl->connection) m_pImpl->connection->Close();
    m_pImpl->status = 0;
    return 1;
}

CADOConnectLE *CADOConnectLE::GetByIndex(int index)
{
    ConnectionList &list = List();
    std::lock_guard<std::mutex> lk(list.lock);
    if (index < 0 || index >= static_cast<int>(list.items.size())) return nullptr;
    return list.items[static_cast<size_t>(index)];
}

CADOConnectLE *CADOConnectLE::GetByName(const char *name)
{
    ConnectionList &list = List();
    std::lock_guard<std::mutex> lk(list.lock);
    for (CADOConnectLE *connection : list.items)
        if (connection->m_pImpl->name.CompareNoCase(name ? name : "") == 0) return connection;
    return nullptr;
}

CADOConnectLE *CADOConnectLE::GetCurrentConn()
{
    CADOConnectLE *current = nullptr;
    {
        ConnectionList &list = List();
        std::lock_guard<std::mutex> lk(list.lock);
        current = list.current;
    }
    // Opened outside the list lock: an open may take the connection time-out.
    if (!current) return nullptr;
    current->ActiveConnect();
    return current->GetStatus() > 0 ? current : nullptr;
}

namespace {

template <class List> int FillNames(CADOConnectLE::_Impl &state, CStringArray &names, List list)
{
    Lock lk(state.lock);
    if (!state.connection)
        throw plat::db::Error(plat::db::kNoConnection, "the connection was never opened");
    if (!state.connection->IsOpen()) return 0;
    names.RemoveAll();
    for (const std::string &name : list(*state.connection)) names.Add(DbText(name));
    return 1;
}

} // namespace

int CADOConnectLE::GetProcedureNames(CStringArray &names)
{
    return FillNames(*m_pImpl, names, [](plat::db::Connection &db) { return db.ProcedureNames(); });
}

int CADOConnectLE::GetTableNames(CStringArray &names)
{
    return FillNames(*m_pImpl, names, [](plat::db::Connection &db) { return db.TableNames(); });
}

int CADOConnectLE::GetFieldNames(const char *table, CStringArray &names)
{
    const std::string name = DbUtf8(table);
    return FillNames(*m_pImpl, names,
                     [&name](plat::db::Connection &db) { return db.ColumnNames(name); });
}
