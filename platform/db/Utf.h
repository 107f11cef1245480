// UTF-8 and UTF-16 conversion for the wide forms of the database classes and the ODBC wide
// calls. A malformed sequence becomes U+FFFD; nothing is dropped silently.
#pragma once

#include "platform/db/DbApi.h"

#include <string>
#include <string_view>

namespace plat::db {

PLATDB_API std::u16string Utf8ToUtf16(std::string_view utf8);
PLATDB_API std::string Utf16ToUtf8(std::u16string_view utf16);

} // namespace plat::db
