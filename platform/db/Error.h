// Failures of the data layer: an exception carrying a 32-bit result code (the codes the
// database classes react to), and the diagnostic records a driver gave for its last failure.
#pragma once

#include "platform/db/DbApi.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace plat::db {

// The connection is unusable: an open that failed or a link that broke. Callers close the
// connection on this code so that the next use opens it again.
constexpr int32_t kConnectionFailure = static_cast<int32_t>(0x80004005u);
// No connection object to work on.
constexpr int32_t kNoConnection = static_cast<int32_t>(0x80004003u);
// A connection string that cannot be read.
constexpr int32_t kBadConnectionString = static_cast<int32_t>(0x80070057u);
// Statement failures.
constexpr int32_t kSyntaxError = static_cast<int32_t>(0x80040E14u);
constexpr int32_t kNoSuchTable = static_cast<int32_t>(0x80040E37u);
constexpr int32_t kConstraintViolation = static_cast<int32_t>(0x80040E2Fu);
constexpr int32_t kStatementFailed = static_cast<int32_t>(0x80040E21u);

// One diagnostic record of a driver.
struct ErrorRecord {
    std::string description;
    std::string sqlState;
    int32_t native = 0;
    std::string source;
};

class PLATDB_API Error : public std::runtime_error {
public:
    Error(int32_t code, const std::string &description, std::string source = "KestDb")
        : std::runtime_error(description), m_code(code), m_source(std::move(source))
    {
    }
    int32_t Code() const { return m_code; }
    const std::string &Source() const { return m_source; }

private:
    int32_t m_code;
    std::string m_source;
};

// The code of a failure from its five-character SQLSTATE: class 08 and the server shutdown
// states are connection failures; then syntax, missing table and constraint states; anything
// else is a failed statement.
PLATDB_API int32_t CodeForSqlState(std::string_view sqlState);

} // namespace plat::db
