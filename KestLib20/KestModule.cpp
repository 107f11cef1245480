#include "KestLib20/KestModule.h"

#include "platform/Process.h"

#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A walk that has not come back after this many steps is on a broken ring.
constexpr int kMaxRingSteps = 65536;

// Value of the main-module variable: address, process id and their 64-bit sum, in hex.
constexpr int kMainValueLength = 40;

// This module's current-module variable: its record while the record exists.
CKestModule *g_pCurrentModule = nullptr;
// Set once the record has left the ring (module unloading): nothing builds it again.
std::atomic<bool> g_bRecordGone{false};

CKestModule *CurrentModule()
{
    return __atomic_load_n(&g_pCurrentModule, __ATOMIC_ACQUIRE);
}

std::string MainVariableName()
{
    char name[64];
    snprintf(name, sizeof name, "kest_main_module_ptr_for_process_%X", plat::GetCurrentProcessId());
    return name;
}

bool ParseHex(const char *text, int digits, uint64_t *value)
{
    uint64_t v = 0;
    for (int i = 0; i < digits; ++i) {
        char c = text[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
        v = (v << 4) | static_cast<uint64_t>(d);
    }
    *value = v;
    return true;
}

// Copies `size` bytes at `address` of this process into `out`, or answers false where the
// memory is not mapped readable. The kernel does the copy, so a stale address in the
// environment fails here instead of faulting while a library loads.
bool ReadOwnMemory(const void *address, void *out, size_t size)
{
    iovec local{out, size};
    iovec remote{const_cast<void *>(address), size};
    return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

// Owns this module's record and its service table from the first ring call to the unloading
// of the module.
class CModuleHolder {
public:
    CModuleHolder()
    {
        for (tagServEntry &entry : m_table) entry = {nullptr, &g_pCurrentModule};
        m_record.size = sizeof(CKestModule);
        m_record.magic = CKestModule::kMagic;
        m_record.one = 1;
        m_record.version = CKestModule::kVersion;
        m_record.next = &m_record;
        m_record.prev = &m_record;
        m_record.services = m_table;
        m_record.serviceCount = CKestModule::kServiceCount;
        m_record.current = &g_pCurrentModule;
        __atomic_store_n(&g_pCurrentModule, &m_record, __ATOMIC_RELEASE);
        Join();
    }

    ~CModuleHolder()
    {
        Leave();
        memset(m_table, 0, sizeof m_table);
        g_bRecordGone = true;
    }

    CModuleHolder(const CModuleHolder &) = delete;
    CModuleHolder &operator=(const CModuleHolder &) = delete;

    CKestModule *Record() { return &m_record; }

private:
    void Join()
    {
        CKestModule *main = GetMainModulePtr();
        // The record before the main one is written to as well; it must be a module too.
        if (main && main != &m_record && (!IsValidModule(main->prev) || main->prev->next != main))
            main = nullptr;
        if (!main || main == &m_record) {
            SetMainModulePtr(&m_record);
            return;
        }
        // Insert before the main record, i.e. at the end of the ring.
        m_record.prev = main->prev;
        m_record.next = main;
        main->prev->next = &m_record;
        main->prev = &m_record;
    }

    void Leave()
    {
        if (GetMainModulePtr() == &m_record)
            SetMainModulePtr(m_record.next != &m_record ? m_record.next : nullptr);
        m_record.prev->next = m_record.next;
        m_record.next->prev = m_record.prev;
        m_record.next = m_record.prev = &m_record;
        // A stale address of this record must not pass for a module any more.
        m_record.magic = 0;
        __atomic_store_n(&g_pCurrentModule, nullptr, __ATOMIC_RELEASE);
    }

    CKestModule m_record;
    tagServEntry m_table[CKestModule::kServiceCount];
};

CKestModule *ThisModule()
{
    if (g_bRecordGone) return nullptr;
    static CModuleHolder holder;
    return holder.Record();
}

bool ValidIndex(int index)
{
    return index >= 0 && index < CKestModule::kServiceCount;
}

} // namespace

int glGetModuleCount()
{
    CKestModule *self = CurrentModule();
    if (!self) return 0;
    int count = 1;
    for (CKestModule *r = self->next; r != self && count < kMaxRingSteps; r = r->next) ++count;
    return count;
}

tagServEntry *glGetModuleServEntry(int index)
{
    if (!ValidIndex(index)) return nullptr;
    CKestModule *self = ThisModule();
    return self ? &self->services[index] : nullptr;
}

tagServEntry *glFindModuleServEntry(int index, tagServEntry *previous)
{
    if (!ValidIndex(index)) return nullptr;
    CKestModule *self = ThisModule();
    if (!self) return nullptr;
    CKestModule *record = self;
    if (previous) {
        CKestModule *owner = previous->module ? *previous->module : nullptr;
        if (!owner) return nullptr;
        record = owner->next;
        if (record == self) return nullptr;
    }
    for (int steps = 0; steps < kMaxRingSteps; ++steps) {
        tagServEntry *entry = &record->services[index];
        if (ServiceIn(&entry->service)) return entry;
        record = record->next;
        if (record == self) break;
    }
    return nullptr;
}

int GetTotalService(tagServEntry **entries, int maximum, int index)
{
    if (!entries || maximum <= 0) return 0;
    int count = 0;
    if (ValidIndex(index)) {
        for (tagServEntry *e = glFindModuleServEntry(index, nullptr); e && count < maximum - 1;
             e = glFindModuleServEntry(index, e))
            entries[count++] = e;
    }
    entries[count] = nullptr;
    return count;
}

CKestModule *GetMainModulePtr()
{
    std::string value;
    if (!plat::GetEnv(MainVariableName().c_str(), &value)) return nullptr;
    if (value.size() != kMainValueLength) return nullptr;
    uint64_t address, pid, sum;
    if (!ParseHex(value.data(), 16, &address) || !ParseHex(value.data() + 16, 8, &pid) ||
        !ParseHex(value.data() + 24, 16, &sum))
        return nullptr;
    if (pid != plat::GetCurrentProcessId() || sum != address + pid) return nullptr;
    auto *record = reinterpret_cast<CKestModule *>(static_cast<uintptr_t>(address));
    return IsValidModule(record) ? record : nullptr;
}

void SetMainModulePtr(CKestModule *record)
{
    uint64_t address = reinterpret_cast<uintptr_t>(record);
    uint32_t pid = plat::GetCurrentProcessId();
    char value[kMainValueLength + 1];
    snprintf(value, sizeof value, "%016" PRIX64 "%08" PRIX32 "%016" PRIX64, address, pid,
             address + pid);
    plat::SetEnv(MainVariableName().c_str(), value);
}

bool IsValidModule(const CKestModule *record)
{
    if (!record || reinterpret_cast<uintptr_t>(record) % alignof(CKestModule) != 0) return false;
    CKestModule copy;
    if (!ReadOwnMemory(record, &copy, sizeof copy)) return false;
    if (copy.magic != CKestModule::kMagic || copy.size != sizeof(CKestModule) || !copy.next ||
        !copy.prev || !copy.services || copy.serviceCount != CKestModule::kServiceCount ||
        !copy.current)
        return false;
    tagServEntry last;
    if (!ReadOwnMemory(copy.services + CKestModule::kServiceCount - 1, &last, sizeof last) ||
        !ReadOwnMemory(copy.services, &last, sizeof last))
        return false;
    CKestModule *owner = nullptr;
    return ReadOwnMemory(copy.current, &owner, sizeof owner) && owner == record;
}

bool IsValidModuleRing(const CKestModule *record)
{
    if (!IsValidModule(record)) return false;
    const CKestModule *r = record;
    for (int steps = 0; steps < kMaxRingSteps; ++steps) {
        const CKestModule *next = r->next;
        if (!IsValidModule(next) || next->prev != r) return false;
        if (next == record) return true;
        r = next;
    }
    return false;
}
