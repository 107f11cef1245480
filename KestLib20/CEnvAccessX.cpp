#include "KestLib20/CEnvAccessX.h"

#include "platform/Process.h"

#include <string>

int32_t CEnvAccessX::OnGet(const char *const *rest, int32_t *handled, CVariant &value)
{
    if (KeyLength(rest) != 1) return 0;
    *handled = 1;
    std::string text;
    if (!plat::GetEnv(rest[0], &text) || text.empty()) return 0;
    value = CVariant::FromText(text.c_str());
    return 1;
}

int32_t CEnvAccessX::OnSet(const char *const *rest, int32_t *handled, const CVariant &value)
{
    if (KeyLength(rest) != 1) return 0;
    *handled = 1;
    return plat::SetEnv(rest[0], value.ToText()) ? 1 : 0;
}

int32_t CEnvAccessX::OnEnumSub(const char *const *rest, CString &answer, const char * /*pattern*/,
                               int32_t /*flags*/)
{
    if (KeyLength(rest) != 0) return 0;
    for (const auto &[name, value] : plat::EnumEnv())
        if (!name.empty()) answer += CString(name) + '/';
    return 1;
}
