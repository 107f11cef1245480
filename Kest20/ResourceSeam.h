// How the instance registry reads settings: a key of a resource path as text, and the
// sub-entries of a path. The virtual resource tree installs its reader; until then nothing is
// found (every key reads as its default, every path has no entries).
#pragma once

#include "Kest20/Kest20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

class KEST20_API ISettingReader {
public:
    virtual CString ReadText(const char *path, const char *key, const char *defaultValue) = 0;
    // Appends the names of the sub-entries of `path` that match `pattern`; returns how many.
    virtual int EnumSub(const char *path, const char *pattern, CStringArray &entries) = 0;

protected:
    ~ISettingReader() = default;
};

// Installs `reader` (null: back to the reader that finds nothing) and returns the one it
// replaces (null for that default reader). The reader must outlive its use.
KEST20_API ISettingReader *glSetSettingReader(ISettingReader *reader);
// The installed reader; never null.
KEST20_API ISettingReader *glGetSettingReader();
