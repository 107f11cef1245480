// The hidden state of a database connection, shared with the recordsets that run on it.
#pragma once

#include "devext/services/db/CADOConnectLE.h"
#include "platform/db/Connection.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

struct CADOConnectLE::_Impl {
    // Guarded by the connection list's lock, which GetByName holds while it compares.
    CString name;
    // Guards every field below and every use of the driver connection. Taken before the
    // list's lock, never while holding it.
    std::recursive_mutex lock;
    CString connectionString;
    int32_t timeOutSeconds = 8;
    // Monotonic milliseconds of the last failed open; none before any and after a good one.
    std::optional<uint64_t> lastFailureMs;
    int32_t status = 0;
    // Made at the first open; kept, closed, until the next open or the end.
    std::unique_ptr<plat::db::Connection> connection;
};

// Texts cross into the data layer as UTF-8 and come back as the system's GBK text.
CString DbText(const std::string &utf8);
std::string DbUtf8(const char *gbk);
