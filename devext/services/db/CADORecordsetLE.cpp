#include "devext/services/db/CADORecordsetLE.h"

#include "Kest20/KestApplication.h"
#include "Kest20/KestLog.h"
#include "devext/services/db/ConnectionState.h"
#include "platform/ComTypes.h"
#include "platform/Gbk.h"
#include "platform/db/Utf.h"

#include <cstring>
#include <mutex>
#include <optional>

namespace {

constexpr int kLastErrorTextMax = 32;
// ADO's code for a move past either end.
constexpr int32_t kNoCurrentRecord = static_cast<int32_t>(0x800A0BCDu);

void SetLastError(int32_t code, const char *text = nullptr)
{
    tagLastError *last = glGetLastError();
    if (!last) return;
    last->code = code;
    if (!text) return;
    const size_t length = plat::GbkCutLength(text, kLastErrorTextMax);
    std::memcpy(last->text, text, length);
    last->text[length] = '\0';
}

// The system's texts of the codes it has them for.
const char *SystemMessage(int32_t code)
{
    switch (static_cast<uint32_t>(code)) {
    case 0x80004005u:
        return "Unspecified error";
    case 0x80004003u:
        return "Invalid pointer";
    case 0x80070057u:
        return "The parameter is incorrect.";
    case 0x8000FFFFu:
        return "Catastrophic failure";
    default:
        return nullptr;
    }
}

} // namespace

CADOColumn::CADOColumn(const char16_t *name) : m_name(name ? plat::Utf16ToGbk(name).c_str() : "") {}

struct CADORecordsetLE::_Impl {
    CString connectionName;
    bool open = false;
    std::vector<CString> names;
    std::vector<std::vector<plat::db::Value>> rows;
    // The current row; -1 before the first (BOF), rows.size() after the last (EOF).
    int64_t position = 0;

    bool AtEnd() const { return position >= static_cast<int64_t>(rows.size()); }
    bool AtStart() const { return position < 0 || rows.empty(); }
};

CADORecordsetLE::CADORecordsetLE(const char *connectionName) : m_pImpl(new _Impl)
{
    m_pImpl->connectionName = connectionName;
}

CADORecordsetLE::~CADORecordsetLE()
{
    CloseRecordset();
    delete m_pImpl;
}

CADOConnectLE *CADORecordsetLE::GetDBConnect()
{
    if (!m_pImpl->connectionName.IsEmpty())
        return CADOConnectLE::GetByName(m_pImpl->connectionName);
    return CADOConnectLE::GetCurrentConn();
}

int32_t CADORecordsetLE::ExecuteSQL(const char16_t *sql)
{
    return Run({plat::db::Utf16ToUtf8(sql ? sql : u"")}, false);
}

int32_t CADORecordsetLE::ExecuteSQL(const char *sql)
{
    return Run({DbUtf8(sql)}, false);
}

int32_t CADORecordsetLE::ExecuteSQLs(CStringArray &statements)
{
    std::vector<std::string> texts;
    for (const CString &statement : statements) texts.push_back(DbUtf8(statement));
    return Run(texts, true);
}

namespace {

// The provider's diagnostics of one connection.
CString ProviderErrorOf(CADOConnectLE::_Impl *state)
{
    if (!state) return "数据库连接未创建";
    std::lock_guard<std::recursive_mutex> lk(state->lock);
    if (!state->connection) return "数据库连接中断";
    CString text;
    for (const plat::db::ErrorRecord &record : state->connection->Errors()) {
        if (!text.IsEmpty()) text += "\n\n";
        text.AppendFormat(
            "%s\nState: %s, Native: %d, Source: %s", DbText(record.description).GetString(),
            DbText(record.sqlState).GetString(), record.native, DbText(record.source).GetString());
    }
    return text;
}

} // namespace

int32_t CADORecordsetLE::Run(const std::vector<std::string> &statements, bool transaction)
{
    CADOConnectLE *connection = GetDBConnect();
    if (!connection || !connection->ActiveConnect()) return E_FAIL;
    CloseRecordset();
    CADOConnectLE::_Impl &state = *connection->m_pImpl;
    {
        std::lock_guard<std::recursive_mutex> lk(state.lock);
        plat::db::Connection *db = state.connection.get();
        try {
            // Another thread may have closed it since ActiveConnect.
            if (!db || !db->IsOpen())
                throw plat::db::Error(plat::db::kConnectionFailure, "the connection is closed");
            if (transaction) db->BeginTransaction();
            std::optional<plat::db::Rows> rows;
            for (const std::string &statement : statements) rows = db->Execute(statement);
            if (transaction) db->Commit();
            if (rows) {
                _Impl &rs = *m_pImpl;
                rs.open = true;
                for (const std::string &name : rows->columns) rs.names.push_back(DbText(name));
                rs.rows = std::move(rows->rows);
                rs.position = 0;
            }
            SetLastError(0);
        } catch (const plat::db::Error &error) {
            // GetError on the connection in hand, which may not be the current one any more.
            const CString provider = ProviderErrorOf(&state);
            SetLastError(error.Code(), provider.IsEmpty() ? GetComError(error) : provider);
            if (transaction && db) {
                try {
                    db->Rollback();
                } catch (const plat::db::Error &) {
                    // The link is gone: the server drops the transaction itself.
                }
            }
        } catch (...) {
            SetLastError(E_FAIL, transaction ? "Errors occurred." : "unkown");
            if (transaction && db) {
                try {
                    db->Rollback();
                } catch (...) {
                }
            }
        }
    }
    const int32_t code = glGetLastError() ? glGetLastError()->code : E_FAIL;
    if (code != 0) {
        if (code == E_FAIL)
            OnDBConnectError();
        else
            OnSQLError();
    }
    return code;
}

int32_t CADORecordsetLE::CloseRecordset()
{
    SetLastError(0);
    _Impl &rs = *m_pImpl;
    rs.open = false;
    rs.names.clear();
    rs.rows.clear();
    rs.position = 0;
    return 0;
}

namespace {

void PostFailure()
{
    const tagLastError *last = glGetLastError();
    CString record;
    record.Format("<DEV=\"ADO\" ID=\"%d\" MSG=\"%s\">", last ? last->code : 0,
                  last ? last->text : "");
    glReportLog("#OVRA_DEV", record, nullptr);
}

} // namespace

int CADORecordsetLE::OnDBConnectError()
{
    if (CADOConnectLE *connection = GetDBConnect()) connection->CloseDBConnect();
    PostFailure();
    return 1;
}

int CADORecordsetLE::OnSQLError()
{
    PostFailure();
    return 1;
}

CString CADORecordsetLE::GetError(const plat::db::Error &error)
{
    CString provider = GetProviderError();
    return provider.IsEmpty() ? GetComError(error) : provider;
}

CString CADORecordsetLE::GetComError(const plat::db::Error &error)
{
    const uint32_t code = static_cast<uint32_t>(error.Code());
    CString message;
    if (const char *text = SystemMessage(error.Code()))
        message = text;
    else if (code >= 0x80040201u && code <= 0x8004FFFFu)
        message.Format("IDispatch error #%d", static_cast<int>(code - 0x80040200u));
    else
        message.Format("Unknown error 0x%0X", code);
    CString text;
    text.Format("HRESULT: 0x%08x; Error: %s", code, message.GetString());
    if (!error.Source().empty() || *error.what())
        text += "\nSource: " + DbText(error.Source()) + "; Description: " + DbText(error.what());
    return text;
}

CString CADORecordsetLE::GetProviderError()
{
    CADOConnectLE *connection = GetDBConnect();
    return ProviderErrorOf(connection ? connection->m_pImpl : nullptr);
}

const plat::db::Value *CADORecordsetLE::Cell(const CADOColumn &column)
{
    const _Impl &rs = *m_pImpl;
    if (!rs.open || rs.AtStart() || rs.AtEnd()) return nullptr;
    const std::vector<plat::db::Value> &row = rs.rows[static_cast<size_t>(rs.position)];
    if (column.IsIndex()) {
        if (column.Index() < 0 || column.Index() > 0xFFFF ||
            column.Index() >= static_cast<int32_t>(row.size()))
            return nullptr;
        return &row[static_cast<size_t>(column.Index())];
    }
    for (size_t i = 0; i < rs.names.size() && i < row.size(); ++i)
        if (rs.names[i].CompareNoCase(column.Name()) == 0) return &row[i];
    return nullptr;
}

int CADORecordsetLE::GetAsVariant(const CADOColumn &column, plat::db::Value &out)
{
    const plat::db::Value *value = Cell(column);
    if (!value) return 0;
    out = *value;
    return 1;
}

CString CADORecordsetLE::GetAsString(const CADOColumn &column, const char *def)
{
    const plat::db::Value *value = Cell(column);
    const std::optional<std::string> text = value ? value->ToText() : std::nullopt;
    return text ? DbText(*text) : CString(def);
}

std::u16string CADORecordsetLE::GetAsStringW(const CADOColumn &column, const char16_t *def)
{
    const plat::db::Value *value = Cell(column);
    const std::optional<std::string> text = value ? value->ToText() : std::nullopt;
    return text ? plat::db::Utf8ToUtf16(*text) : std::u16string(def ? def : u"");
}

int CADORecordsetLE::GetAsInt(const CADOColumn &column, int def)
{
    const plat::db::Value *value = Cell(column);
    return value ? value->ToInt32().value_or(def) : def;
}

double CADORecordsetLE::GetAsFloat(const CADOColumn &column, double def)
{
    const plat::db::Value *value = Cell(column);
    return value ? value->ToDouble().value_or(def) : def;
}

CTime CADORecordsetLE::GetAsCTime(const CADOColumn &column, CTime def)
{
    const plat::db::Value *value = Cell(column);
    const std::optional<double> date = value ? value->ToDate() : std::nullopt;
    if (!date || *date == 0.0) return def;
    const plat::db::DateParts parts = plat::db::FromAutomationDate(*date);
    return CTime(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second, -1);
}

CFileTime CADORecordsetLE::GetAsFileTime(const CADOColumn &column)
{
    return CFileTime(GetAsCTime(column, CTime(1)));
}

int32_t CADORecordsetLE::RSMoveNext()
{
    _Impl &rs = *m_pImpl;
    if (!rs.open) return 0;
    if (rs.AtEnd()) throw plat::db::Error(kNoCurrentRecord, "the recordset is at its end");
    ++rs.position;
    return 0;
}

int32_t CADORecordsetLE::RSMovePrevious()
{
    _Impl &rs = *m_pImpl;
    if (!rs.open) return 0;
    if (rs.AtStart()) throw plat::db::Error(kNoCurrentRecord, "the recordset is at its start");
    --rs.position;
    return 0;
}

int32_t CADORecordsetLE::RSMoveFirst()
{
    m_pImpl->position = 0;
    return 0;
}

int32_t CADORecordsetLE::RSMoveLast()
{
    _Impl &rs = *m_pImpl;
    if (rs.open) rs.position = rs.rows.empty() ? 0 : static_cast<int64_t>(rs.rows.size()) - 1;
    return 0;
}

int CADORecordsetLE::IsRSEOF()
{
    if (!m_pImpl->open) return 1;
    return m_pImpl->AtEnd() ? -1 : 0;
}

int CADORecordsetLE::IsRSBOF()
{
    if (!m_pImpl->open) return 1;
    return m_pImpl->AtStart() ? -1 : 0;
}

int CADORecordsetLE::IsNull()
{
    return !m_pImpl->open || m_pImpl->rows.empty() ? 1 : 0;
}

int CADORecordsetLE::GetFieldCount()
{
    return m_pImpl->open ? static_cast<int>(m_pImpl->names.size()) : 0;
}

int CADORecordsetLE::GetFields(CStringArray &names)
{
    names.RemoveAll();
    if (m_pImpl->open)
        for (const CString &name : m_pImpl->names) names.Add(name);
    return names.GetSize();
}

int CADORecordsetLE::GetRecordCount()
{
    return m_pImpl->open ? static_cast<int>(m_pImpl->rows.size()) : 0;
}

int CADORecordsetLE::GetRecord(CStringArray &values)
{
    values.RemoveAll();
    for (int i = 0; i < GetFieldCount(); ++i) values.Add(GetAsString(i, ""));
    return values.GetSize();
}
