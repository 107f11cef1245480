// The statement builders of the recordset and MakeSQLString.
#include "devext/services/db/CADORecordsetLE.h"

#include "Kest20/KestLog.h"
#include "devext/device/CArgListA.h"

#include <string>

namespace {

constexpr int kLogPiece = 50;

// The statement in pieces of 50 characters, then the rest (empty when none is left).
void LogStatement(const CString &sql)
{
    const int pieces = sql.GetLength() / kLogPiece;
    for (int i = 0; i < pieces; ++i)
        glReportDbg("LOG_DB_ERROR", "%s", sql.Mid(i * kLogPiece, kLogPiece).GetString());
    glReportDbg("LOG_DB_ERROR", "%s", sql.Mid(pieces * kLogPiece).GetString());
}

// Each entry of the map as `format` fills it with key and value, joined, with the last
// `cut` characters taken off.
template <class Format> CString Joined(CMapStringToString &map, Format format, int cut)
{
    CString text;
    CString key, value;
    for (POSITION pos = map.GetStartPosition(); pos;) {
        map.GetNextAssoc(pos, key, value);
        text += format(key, value);
    }
    return text.Left(text.GetLength() - cut);
}

} // namespace

int32_t CADORecordsetLE::InsertIntoTable(const char *table, CMapStringToString &values, int log)
{
    if (values.IsEmpty()) return 0;
    const CString names = Joined(
        values, [](const CString &k, const CString &) { return k + ","; }, 1);
    const CString texts = Joined(
        values, [](const CString &, const CString &v) { return "'" + v + "',"; }, 1);
    CString sql;
    sql.Format("INSERT INTO %s (%s) VALUES(%s)", table ? table : "", names.GetString(),
               texts.GetString());
    if (log) LogStatement(sql);
    return ExecuteSQL(sql);
}

int32_t CADORecordsetLE::UpdateRecord(const char *table, const char *where,
                                      CMapStringToString &values, int log)
{
    if (values.IsEmpty()) return 0;
    const CString pairs = Joined(
        values, [](const CString &k, const CString &v) { return k + "='" + v + "',"; }, 1);
    CString sql;
    sql.Format("UPDATE %s SET %s WHERE %s", table ? table : "", pairs.GetString(),
               where ? where : "");
    if (log) LogStatement(sql);
    return ExecuteSQL(sql);
}

int32_t CADORecordsetLE::DeleteRecords(const char *table, CMapStringToString &conditions)
{
    if (conditions.IsEmpty()) return 0;
    const CString terms = Joined(
        conditions, [](const CString &k, const CString &v) { return k + "='" + v + "' AND "; }, 4);
    CString sql;
    sql.Format("DELETE FROM %s WHERE %s", table ? table : "", terms.GetString());
    return ExecuteSQL(sql);
}

int CADORecordsetLE::GetRsAsStringArray(const char *sql, CArgListA &columns)
{
    if (ExecuteSQL(sql) != 0 || IsNull()) return 0;
    RSMoveFirst();
    while (!IsRSEOF()) {
        for (int i = 0; i < columns.GetCount(); ++i) {
            const tagArgItem &item = columns[i];
            if (item.nType == ARG_STRING_ARRAY && item.pValue)
                static_cast<CStringArray *>(item.pValue)->Add(GetAsString(i, ""));
        }
        RSMoveNext();
    }
    return 1;
}

CString MakeSQLString(CString text)
{
    // Byte by byte, also a quote after a byte above 0x80: a quote is never the second byte
    // of a two-byte character, and one left single would end the literal.
    std::string doubled;
    for (const char *c = text.GetString(); *c; ++c) {
        doubled += *c;
        if (*c == '\'') doubled += '\'';
    }
    return CString(doubled);
}
