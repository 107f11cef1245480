#include "platform/db/Error.h"

namespace plat::db {

int32_t CodeForSqlState(std::string_view state)
{
    const std::string_view cls = state.substr(0, 2);
    if (cls == "08" || state == "57P01" || state == "57P02" || state == "57P03" ||
        state == "HYT00" || state == "HYT01")
        return kConnectionFailure;
    if (state == "42601" || state == "42000" || state == "37000") return kSyntaxError;
    if (state == "42P01" || state == "42S02" || state == "S0002") return kNoSuchTable;
    if (cls == "23") return kConstraintViolation;
    return kStatementFailed;
}

} // namespace plat::db
