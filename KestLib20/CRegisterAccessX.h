// A provider over a key of the system registry. This platform has no registry: the provider
// keeps the key it was made for, and its get, set and delete answer 0, as they always did.
// Nothing mounts it.
#pragma once

#include "KestLib20/CResProvider.h"

class CRegisterAccessX : public CResProvider {
public:
    CRegisterAccessX(const char *rootKey, const char *subKey)
        : m_strKeyPath(CString(rootKey) + '\\' + subKey)
    {
    }

    // "root\sub", the key the provider stands for.
    const CString &GetKeyPath() const { return m_strKeyPath; }

private:
    CString m_strKeyPath;
};
