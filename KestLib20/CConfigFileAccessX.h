// The provider of a settings file: below its root, a section and a key name one setting.
// Gets and sets take exactly two parts; a delete takes a section (one part) or a key (two);
// enumeration lists the sections, or the keys of one section whatever the pattern.
#pragma once

#include "KestLib20/CConfigFileAccess.h"
#include "KestLib20/CResProvider.h"

class CConfigFileAccessX : public CResProvider {
public:
    explicit CConfigFileAccessX(const char *fileName = nullptr) : m_access(fileName) {}
    // Reads inside the provider end before the file access goes.
    ~CConfigFileAccessX() override { Unmount(); }

    CConfigFileAccess &GetFileAccess() { return m_access; }

    // Nonzero takes the file access's lock, 0 releases it; answers 1.
    int32_t LockServer(int32_t lock) override;

protected:
    int32_t OnDelete(const char *const *rest, int32_t *handled) override;
    int32_t OnGet(const char *const *rest, int32_t *handled, CVariant &value) override;
    int32_t OnSet(const char *const *rest, int32_t *handled, const CVariant &value) override;
    int32_t OnEnumSub(const char *const *rest, CString &answer, const char *pattern,
                      int32_t flags) override;

private:
    CConfigFileAccess m_access;
};
