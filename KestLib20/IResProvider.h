// The virtual resource tree: slash-separated paths whose branches are served by resource
// providers, each mounted at a root path. Providers are registered as named pointers of type
// "Kest20.Frame.ResProvider.1", so every module of the process walks the same providers.
//
// A key is a null-terminated array of pointers to its parts; at most 63 parts (64 slots).
#pragma once

#include "platform/ComTypes.h"
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/Variant.h"

#include <cstdint>

// Operation codes of IResProvider::Access.
enum ResOperation : int32_t {
    RES_DELETE = 1,
    RES_INVOKE = 2,
    RES_INVOKE_EX = 3,
    RES_GET = 4, // out[0] receives the value
    RES_SET = 5, // in[0] is the value
    RES_GETTYPE = 6,
    RES_GETINFO = 7,
    RES_ENUMSUB = 8, // in[0] the pattern (text), in[1] the flags (integer); out[0] the answer
};

class IResProvider {
public:
    static constexpr const char *kNamedPtrType = "Kest20.Frame.ResProvider.1";
    static constexpr int kKeySlots = 64;

    virtual int32_t QueryInterface(const GUID *iid, void **object) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;
    virtual int32_t LockServer(int32_t lock) = 0;
    // The provider's named-pointer slot, created on first call.
    virtual void **GetActivePtr() = 0;
    // The root's parts; an empty key when not mounted.
    virtual const char *const *GetRootKey() = 0;
    // Serves `key` when it lies under the root, handing the rest of the key to the operation;
    // 0 otherwise. `handled` is set when the rest has a shape this provider serves.
    virtual int32_t Access(const char *const *key, int32_t operation, int32_t *handled,
                           const CVariant *in, int32_t inCount, CVariant *out,
                           int32_t outCount) = 0;

    // Parses `path` in place into `parts`, which has `count` slots; `count` receives the
    // number of parts, which is also returned. Characters other than ASCII letters, digits,
    // GBK two-byte characters and "~!@#$&-_ ./" become spaces, a backslash a "/"; leading
    // spaces of the path go, runs of "/" separate parts, parts lose trailing spaces, and
    // parts beyond the slots are dropped. With `pack`, "." and ".." parts are resolved.
    static int AnalysisKey(char *path, const char **parts, int &count, int pack);
    // "/" before each part into `buffer` of `size` bytes, stopping before a part that does
    // not fit; an empty key gives "". The length written.
    static int KeyToString(const char *const *parts, char *buffer, int size);
    // The parts of `parts` beyond `prefix` when every part of the prefix equals (without
    // case) the corresponding part; null otherwise.
    static const char *const *IsKindOf(const char *const *prefix, const char *const *parts);
    static int KeyLength(const char *const *parts);
    // Removes the part at `part`, moving the rest (terminator included) down.
    static void Delete(const char **part);
    // Removes every "." part, then every ".." part with the part before it (a ".." in first
    // place stays). `removed` (when given) receives the number of parts removed; the number
    // of parts left is returned.
    static int Pack(const char **parts, int *removed);

    // Calls Access on every provider in named-pointer order; with `stopAtFirst` the walk ends
    // at the first that sets the handled flag. The result of the last provider called.
    static int32_t SmartAccess(const char *const *key, int32_t operation, int32_t *handled,
                               int stopAtFirst, const CVariant *in, int32_t inCount, CVariant *out,
                               int32_t outCount);
    // The names below `key`: the next part of every provider root that lies below the key
    // (each once), then the "/"-terminated names of every provider's answer. Answers 1.
    static int SmartEnumSub(const char *const *key, const char *pattern, int32_t flags,
                            CStringArray &names);

protected:
    ~IResProvider() = default;
};
