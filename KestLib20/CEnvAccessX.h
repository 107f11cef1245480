// The provider of the process environment: below its root, one part names a variable.
// Enumeration lists every variable name.
#pragma once

#include "KestLib20/CResProvider.h"

class CEnvAccessX : public CResProvider {
public:
    ~CEnvAccessX() override { Unmount(); }

protected:
    // A variable that is unset or empty is not found.
    int32_t OnGet(const char *const *rest, int32_t *handled, CVariant &value) override;
    int32_t OnSet(const char *const *rest, int32_t *handled, const CVariant &value) override;
    int32_t OnEnumSub(const char *const *rest, CString &answer, const char *pattern,
                      int32_t flags) override;
};
