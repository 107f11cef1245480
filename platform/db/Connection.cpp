#include "platform/db/Connection.h"

#include "platform/db/ConnectionString.h"
#include "platform/db/OdbcConnection.h"
#include "platform/db/SqliteConnection.h"

#include <strings.h>

namespace plat::db {

Connection::~Connection() = default;

void Connection::Fail(int32_t code, const std::string &description, const std::string &sqlState,
                      int32_t native, const std::string &source)
{
    m_errors.assign(1, ErrorRecord{description, sqlState, native, source});
    throw Error(code, description, source);
}

namespace {

bool Same(const std::string &a, const char *b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

// An ODBC value in braces when it holds what ends or opens a value.
std::string OdbcValue(const std::string &value)
{
    if (value.find_first_of(";{}") == std::string::npos && (value.empty() || value[0] != ' '))
        return value;
    if (value.size() >= 2 && value.front() == '{' && value.back() == '}') return value;
    std::string braced = "{";
    for (char c : value) {
        braced += c;
        if (c == '}') braced += '}';
    }
    return braced + "}";
}

std::string OdbcString(const ConnectionString &pairs, const std::string *provider)
{
    static constexpr const char *kKeys[][2] = {{"Data Source", "Server"},
                                               {"Initial Catalog", "Database"},
                                               {"User ID", "UID"},
                                               {"Password", "PWD"}};
    std::string text;
    if (!pairs.Find("Driver") && !pairs.Find("DSN")) text = "DSN=" + OdbcValue(*provider) + ";";
    for (const ConnectionPair &pair : pairs.Pairs()) {
        if (Same(pair.key, "Provider")) continue;
        std::string key = pair.key;
        for (const auto &names : kKeys)
            if (Same(key, names[0])) key = names[1];
        text += key + "=" + OdbcValue(pair.value) + ";";
    }
    return text;
}

} // namespace

std::unique_ptr<Connection> CreateConnection(std::string_view connectionString)
{
    if (connectionString.find('=') == std::string_view::npos) {
        const size_t first = connectionString.find_first_not_of(" \t");
        if (first == std::string_view::npos)
            throw Error(kBadConnectionString, "empty connection string");
        const size_t last = connectionString.find_last_not_of(" \t");
        return std::make_unique<SqliteConnection>(
            std::string(connectionString.substr(first, last - first + 1)));
    }
    std::string reason;
    const std::optional<ConnectionString> pairs =
        ConnectionString::Parse(connectionString, &reason);
    if (!pairs) throw Error(kBadConnectionString, "bad connection string: " + reason);
    const std::string *provider = pairs->Find("Provider");
    if ((provider && Same(*provider, "SQLite")) ||
        (!provider && !pairs->Find("Driver") && !pairs->Find("DSN"))) {
        const std::string *file = pairs->Find("Data Source");
        if (!file || file->empty())
            throw Error(kBadConnectionString, "no \"Data Source\" file in the connection string");
        return std::make_unique<SqliteConnection>(*file);
    }
    return std::make_unique<OdbcConnection>(OdbcString(*pairs, provider));
}

} // namespace plat::db
