// Clients of the resource tree. CResAccess holds the parts of one path and reads, writes or
// enumerates it through every mounted provider; CResString is a path whose last part is a
// key, read and written as text through the typed getters and setters of IStringAccess.
// Both are short-lived values made for each read.
#pragma once

#include "KestLib20/IStringAccess.h"
#include "KestLib20/KestLibApi.h"
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/Variant.h"

#include <cstdint>

class CResString;

class KESTLIB_SHARED_TYPE CResAccess {
public:
    CResAccess() = default;
    explicit CResAccess(const char *path) { SetResAddr(path); }

    // The parts of `path`, parsed and packed as the tree parses keys.
    void SetResAddr(const char *path);
    // A copy of `parts`, then Go(part).
    void SetResAddr(const char *const *parts, const char *part);
    // "." stays, ".." goes up one part (if any), anything else is appended as one part.
    void Go(const char *part);

    // The operation over every provider (see IResProvider::SmartAccess).
    int32_t Access(int32_t operation, int stopAtFirst, const CVariant *in, int32_t inCount,
                   CVariant *out, int32_t outCount);
    // The names below the path (see IResProvider::SmartEnumSub); answers 1.
    int EnumSub(CStringArray &names, const char *pattern = "*", int32_t flags = 0);

    // The parts joined by "/", without a leading slash ("etc/tvx/System").
    CString GetFullResAddr() const;
    const CStringArray &GetParts() const { return m_parts; }

    // The setting `key` below the path.
    CResString operator[](const char *key) const;

private:
    CStringArray m_parts;
};

class KESTLIB_SHARED_TYPE CResString : public CResAccess, public IStringAccess {
public:
    CResString() = default;
    explicit CResString(const char *path) : CResAccess(path) {}
    using IStringAccess::operator=;

    // A get through the first provider that serves the path, converted to text.
    int GetStringData(CString &text) override;
    // A set of the text through the first provider that serves the path.
    int SetStringData(const CString &text) override;
};
