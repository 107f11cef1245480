#include "KestLib20/KestNamedPtr.h"

#include "KestLib20/CDataLock.h"
#include "KestLib20/KestModule.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kServiceSlot = 1;
// Longest type text taken from a slot's own record.
constexpr int kTypeLength = 128;

std::string Text(const char *text)
{
    return text ? text : "";
}

// Copies `text` into `buffer` of `length` bytes, cut on a character boundary.
void CopyText(char *buffer, const std::string &text, int32_t length)
{
    if (!buffer || length <= 0) return;
    size_t n = plat::GbkCutLength(text.c_str(), static_cast<size_t>(length - 1));
    memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

// One module's named pointers: groups of entries by type, each type with its main slot.
class CKestNamedPtr final : public IKestNamedPtr {
public:
    CKestNamedPtr();
    ~CKestNamedPtr();
    CKestNamedPtr(const CKestNamedPtr &) = delete;
    CKestNamedPtr &operator=(const CKestNamedPtr &) = delete;

    int32_t LockServer(int32_t lock) override;
    IKestNamedPtr **GetActivePtr() override;
    void **NewNamedPtr(const char *type, const char *name) override;
    int32_t DeleteNamedPtr(void **slot) override;
    void **GetMainNamedPtr(const char *type) override;
    int32_t SetMainNamedPtr(const char *type, void **slot) override;
    int32_t SetNamedPtrName(void **slot, const char *name) override;
    int32_t GetNamedPtrInfo(void **slot, char *type, char *name, int32_t length) override;
    void **FindNamedPtr(const char *type, const char *name) override;
    int32_t EnumNamedPtrType(int32_t index, char *buffer, int32_t length) override;
    void **GetNextNamedPtr(const char *type, void ***slot) override;

    // Type of a slot held here; empty when not held.
    std::string TypeOf(void **slot);

private:
    struct Info {
        std::string type;
        std::string name;
        void *pointer = nullptr; // the slot handed out is the address of this word
    };
    struct Group {
        std::string type;
        std::vector<std::unique_ptr<Info>> entries;
        void **main = nullptr;
    };

    Group *FindGroup(const std::string &type);
    Info *FindInfo(void **slot);

    CDataLock m_lock;
    std::vector<std::unique_ptr<Group>> m_groups; // in order of first registration
    std::unordered_map<void **, Info *> m_bySlot;
    tagServEntry *m_pEntry;
};

std::atomic<CKestNamedPtr *> g_pManager{nullptr};
// Set when the manager is destroyed (module unloading): nothing builds it again.
std::atomic<bool> g_bManagerGone{false};

CKestNamedPtr *ThisModuleManager(bool create)
{
    if (!create || g_bManagerGone) return g_pManager.load();
    static CKestNamedPtr manager;
    return &manager;
}

// Calls `visit(manager)` for every module's manager in ring order until it returns true.
template <typename Visit> void ForEachManager(Visit visit)
{
    for (IKestNamedPtr **m = IKestNamedPtr::FindMgr(nullptr); m; m = IKestNamedPtr::FindMgr(m)) {
        IKestNamedPtr *manager = ServiceIn(m);
        if (manager && visit(manager)) return;
    }
}

// Managers that chose `slot` as the type's main slot forget it (the slot is going away).
void ForgetMainSlot(const std::string &type, void **slot)
{
    ForEachManager([&](IKestNamedPtr *manager) {
        if (manager->GetMainNamedPtr(type.c_str()) == slot)
            manager->SetMainNamedPtr(type.c_str(), nullptr);
        return false;
    });
}

CKestNamedPtr::CKestNamedPtr() : m_pEntry(glGetModuleServEntry(kServiceSlot))
{
    if (m_pEntry) PublishService(m_pEntry, static_cast<IKestNamedPtr *>(this));
    g_pManager = this;
}

CKestNamedPtr::~CKestNamedPtr()
{
    std::vector<std::pair<std::string, void **>> slots;
    {
        std::lock_guard<CDataLock> lock(m_lock);
        for (auto &[slot, info] : m_bySlot) slots.emplace_back(info->type, slot);
    }
    for (auto &[type, slot] : slots) ForgetMainSlot(type, slot);
    g_bManagerGone = true;
    g_pManager = nullptr;
    if (m_pEntry && ServiceIn(&m_pEntry->service) == static_cast<IKestNamedPtr *>(this))
        PublishService(m_pEntry, nullptr);
}

CKestNamedPtr::Group *CKestNamedPtr::FindGroup(const std::string &type)
{
    for (auto &g : m_groups)
        if (g->type == type) return g.get();
    return nullptr;
}

CKestNamedPtr::Info *CKestNamedPtr::FindInfo(void **slot)
{
    auto found = m_bySlot.find(slot);
    return found == m_bySlot.end() ? nullptr : found->second;
}

std::string CKestNamedPtr::TypeOf(void **slot)
{
    std::lock_guard<CDataLock> lock(m_lock);
    Info *info = FindInfo(slot);
    return info ? info->type : std::string();
}

int32_t CKestNamedPtr::LockServer(int32_t lock)
{
    if (lock)
        m_lock.Lock();
    else
        m_lock.Unlock();
    return 1;
}

IKestNamedPtr **CKestNamedPtr::GetActivePtr()
{
    return m_pEntry ? reinterpret_cast<IKestNamedPtr **>(&m_pEntry->service) : nullptr;
}

void **CKestNamedPtr::NewNamedPtr(const char *type, const char *name)
{
    std::lock_guard<CDataLock> lock(m_lock);
    Group *group = FindGroup(Text(type));
    if (!group) {
        m_groups.push_back(std::make_unique<Group>());
        group = m_groups.back().get();
        group->type = Text(type);
    }
    auto info = std::make_unique<Info>();
    info->type = group->type;
    info->name = Text(name);
    void **slot = &info->pointer;
    m_bySlot.emplace(slot, info.get());
    group->entries.push_back(std::move(info));
    return slot;
}

int32_t CKestNamedPtr::DeleteNamedPtr(void **slot)
{
    std::lock_guard<CDataLock> lock(m_lock);
    Info *info = FindInfo(slot);
    if (!info) return 0;
    Group *group = FindGroup(info->type);
    m_bySlot.erase(slot);
    if (group->main == slot) group->main = nullptr;
    std::erase_if(group->entries, [info](const auto &e) { return e.get() == info; });
    if (group->entries.empty())
        std::erase_if(m_groups, [group](const auto &g) { return g.get() == group; });
    return 1;
}

void **CKestNamedPtr::GetMainNamedPtr(const char *type)
{
    std::lock_guard<CDataLock> lock(m_lock);
    Group *group = FindGroup(Text(type));
    return group ? group->main : nullptr;
}

int32_t CKestNamedPtr::SetMainNamedPtr(const char *type, void **slot)
{
    std::lock_guard<CDataLock> lock(m_lock);
    Group *group = FindGroup(Text(type));
    if (!group) return 0;
    group->main = slot;
    return slot ? 1 : 0;
}

int32_t CKestNamedPtr::SetNamedPtrName(void **slot, const char *name)
{
    std::lock_guard<CDataLock> lock(m_lock);
    Info *info = FindInfo(slot);
    if (!info) return 0;
    info->name = Text(name);
    return 1;
}

int32_t CKestNamedPtr::GetNamedPtrInfo(void **slot, char *type, char *name, int32_t length)
{
    std::lock_guard<CDataLock> lock(m_lock);
    Info *info = FindInfo(slot);
    if (!info) return 0;
    CopyText(type, info->type, length);
    CopyText(name, info->name, length);
    return 1;
}

void **CKestNamedPtr::FindNamedPtr(const char *type, const char *name)
{
    std::lock_guard<CDataLock> lock(m_lock);
    Group *group = FindGroup(Text(type));
    if (!group) return nullptr;
    for (auto &e : group->entries)
        if (e->name == Text(name)) return &e->pointer;
    return nullptr;
}

int32_t CKestNamedPtr::EnumNamedPtrType(int32_t index, char *buffer, int32_t length)
{
    std::lock_guard<CDataLock> lock(m_lock);
    if (index < 0 || index >= static_cast<int32_t>(m_groups.size())) return 0;
    CopyText(buffer, m_groups[static_cast<size_t>(index)]->type, length);
    return 1;
}

void **CKestNamedPtr::GetNextNamedPtr(const char *type, void ***slot)
{
    if (!slot) return nullptr;
    std::lock_guard<CDataLock> lock(m_lock);
    Group *group = FindGroup(Text(type));
    void **next = nullptr;
    if (group) {
        auto &entries = group->entries;
        auto at = entries.begin();
        if (*slot) {
            at = std::find_if(entries.begin(), entries.end(),
                              [slot](const auto &e) { return &e->pointer == *slot; });
            if (at != entries.end()) ++at;
        }
        if (at != entries.end()) next = &(*at)->pointer;
    }
    *slot = next;
    return next;
}

} // namespace

IKestNamedPtr **IKestNamedPtr::FindMgr(IKestNamedPtr **previous)
{
    tagServEntry *entry =
        glFindModuleServEntry(kServiceSlot, reinterpret_cast<tagServEntry *>(previous));
    return entry ? reinterpret_cast<IKestNamedPtr **>(&entry->service) : nullptr;
}

void **glNewNamedPtr(const char *type, const char *name)
{
    CKestNamedPtr *manager = ThisModuleManager(true);
    return manager ? manager->NewNamedPtr(type, name) : nullptr;
}

int glDeleteNamedPtr(void **slot)
{
    CKestNamedPtr *manager = ThisModuleManager(false);
    if (!manager) return 0;
    std::string type = manager->TypeOf(slot);
    int deleted = manager->DeleteNamedPtr(slot);
    if (deleted) ForgetMainSlot(type, slot);
    return deleted;
}

int glStoreNamedPtr(void **slot, void *value)
{
    if (!slot) return 0;
    CKestNamedPtr *manager = ThisModuleManager(false);
    if (!manager) {
        __atomic_store_n(slot, value, __ATOMIC_RELEASE);
        return 0;
    }
    manager->LockServer(1);
    const int held = manager->GetNamedPtrInfo(slot, nullptr, nullptr, 0);
    __atomic_store_n(slot, value, __ATOMIC_RELEASE);
    manager->LockServer(0);
    return held;
}

void **glGetNamedPtr(const char *type, const char *name)
{
    void **found = nullptr;
    ForEachManager([&](IKestNamedPtr *m) { return (found = m->FindNamedPtr(type, name)); });
    return found;
}

void **glGetMainNamedPtr(const char *type)
{
    void **found = nullptr;
    ForEachManager([&](IKestNamedPtr *m) { return (found = m->GetMainNamedPtr(type)); });
    return found;
}

int glSetMainNamedPtr(const char *type, void **slot)
{
    char own[kTypeLength + 1] = "";
    if (!type || !*type) {
        glGetNamedPtrInfo(slot, own, nullptr, sizeof own);
        if (!*own) return 0;
        type = own;
    }
    ForEachManager([&](IKestNamedPtr *m) {
        m->SetMainNamedPtr(type, slot);
        return false;
    });
    return 1;
}

int glSetNamedPtrName(void **slot, const char *name)
{
    int done = 0;
    ForEachManager([&](IKestNamedPtr *m) { return (done = m->SetNamedPtrName(slot, name)) != 0; });
    return done;
}

int glGetNamedPtrInfo(void **slot, char *type, char *name, int length)
{
    int done = 0;
    ForEachManager([&](IKestNamedPtr *m) {
        return (done = m->GetNamedPtrInfo(slot, type, name, length)) != 0;
    });
    return done;
}

void **glGetNextNamedPtr(const char *type, IKestNamedPtr **manager, void ***slot)
{
    if (!manager || !slot) return nullptr;
    if (!*manager) {
        *slot = nullptr;
        *manager = ServiceIn(IKestNamedPtr::FindMgr(nullptr));
    }
    while (*manager) {
        if (void **next = (*manager)->GetNextNamedPtr(type, slot)) return next;
        *manager = ServiceIn(IKestNamedPtr::FindMgr((*manager)->GetActivePtr()));
        *slot = nullptr;
    }
    return nullptr;
}

void **SmartSelectMainPtr(const char *type)
{
    void **chosen = nullptr;
    ForEachManager([&](IKestNamedPtr *m) {
        void **main = m->GetMainNamedPtr(type);
        if (main && *main) chosen = main;
        return chosen != nullptr;
    });
    if (chosen) {
        ForEachManager([&](IKestNamedPtr *m) {
            if (m->GetMainNamedPtr(type) != chosen) m->SetMainNamedPtr(type, chosen);
            return false;
        });
        return chosen;
    }
    ForEachManager([&](IKestNamedPtr *m) {
        void **slot = nullptr;
        while (m->GetNextNamedPtr(type, &slot))
            if (*slot) {
                chosen = slot;
                return true;
            }
        return false;
    });
    if (chosen) glSetMainNamedPtr(type, chosen);
    return chosen;
}
