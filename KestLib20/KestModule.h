// The module ring. Every module of the process (the program and each library) links its own
// copy of this library and owns one module record; the records of a process are linked in a
// ring whose first member, the main module, is published in the process environment. Each
// record carries 64 service slots through which process-wide services (the named-pointer
// manager in slot 1, the run-time class manager in slot 2) are found from any module.
//
// Building and joining happen while modules load, which the loader serialises: the ring links
// are not locked.
#pragma once

#include <cstdint>

class CKestModule;

// One service slot: the service (null when empty) and the owning module's current-module
// variable, so that a slot leads back to its module.
struct tagServEntry {
    void *service;
    CKestModule **module;
};

// A service is published while other threads may walk the ring; slots are read and written
// atomically.
inline void PublishService(tagServEntry *entry, void *service)
{
    __atomic_store_n(&entry->service, service, __ATOMIC_RELEASE);
}
template <typename T> T *ServiceIn(T *const *slot)
{
    return slot ? __atomic_load_n(slot, __ATOMIC_ACQUIRE) : nullptr;
}

// The module record, shared in memory between the modules of the process. Field order is
// fixed; the size field holds the record's real size.
class CKestModule {
public:
    static constexpr uint32_t kMagic = 0x55AA3388;
    static constexpr uint32_t kVersion = 0x0201;
    static constexpr int kServiceCount = 64;

    uint32_t size;
    uint32_t magic;
    uint32_t one;
    uint32_t version;
    CKestModule *next;
    CKestModule *prev;
    tagServEntry *services;
    uint32_t serviceCount;
    CKestModule **current;
};
static_assert(sizeof(CKestModule) == 56, "nine fields: four words, three pointers, a count, "
                                         "a pointer");

// Number of records in the ring as seen from this module: 1 when alone, 0 before this
// module's record exists.
int glGetModuleCount();
// Service slot `index` of this module's record (the record is built first when needed); null
// for an index outside 0..63.
tagServEntry *glGetModuleServEntry(int index);
// The next occupied slot `index` in ring order: after the module that owns `previous`, or
// from this module when `previous` is null; the walk ends on coming back to this module.
tagServEntry *glFindModuleServEntry(int index, tagServEntry *previous);
// Writes the occupied slots `index` of every record (this module first) into `entries`, at
// most `maximum - 1` of them followed by a null, and returns how many were written.
int GetTotalService(tagServEntry **entries, int maximum, int index);

// The main record published in the environment, or null when the variable is missing,
// malformed, of another process or names an invalid record.
CKestModule *GetMainModulePtr();
// Publishes `record` as the main module (null publishes that there is none).
void SetMainModulePtr(CKestModule *record);
// Magic, size, slot table and both ring links in place, the record, its slot table and its
// owner's variable in readable memory (probed without faulting), and the variable naming it.
bool IsValidModule(const CKestModule *record);
// The record and every record of its ring are valid, the forward walk comes back within
// 65,536 steps, and the backward links agree with the forward ones.
bool IsValidModuleRing(const CKestModule *record);
