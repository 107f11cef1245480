// The base of every resource provider: its named-pointer slot, its root and the dispatch of
// Access to the operations a provider overrides. A provider joins the tree when mounted and
// leaves it when destroyed (or unmounted), both while other threads may walk the tree.
#pragma once

#include "KestLib20/IResProvider.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CResProvider : public IResProvider {
public:
    CResProvider() = default;
    // Unmounts the provider.
    virtual ~CResProvider();
    CResProvider(const CResProvider &) = delete;
    CResProvider &operator=(const CResProvider &) = delete;

    // Registers the provider (giving its slot `name` when one is given) and sets its root
    // from `root` (parsed and packed). Answers 1.
    int Mount(const char *root, const char *name = nullptr);
    // Takes the provider out of the tree: clears and deletes its named-pointer slot once
    // every read that reached the provider has returned (walks of the tree hold a reference
    // while they call it). A derived provider whose operations use members of its own calls
    // it first in its destructor, before those members go. Not called from inside a call
    // into the provider itself.
    void Unmount();

    // Answers 0 and gives nothing.
    int32_t QueryInterface(const GUID *iid, void **object) override;
    // The count frees nothing when it reaches 0; Unmount waits for it to get there.
    uint32_t AddRef() override;
    uint32_t Release() override;
    // Answers 0; providers with a lock of their own take it for a nonzero `lock`.
    int32_t LockServer(int32_t lock) override;
    void **GetActivePtr() override;
    const char *const *GetRootKey() override;
    int32_t Access(const char *const *key, int32_t operation, int32_t *handled, const CVariant *in,
                   int32_t inCount, CVariant *out, int32_t outCount) override;

protected:
    // Each receives the rest of the key below the root and answers 0 here. A provider sets
    // `*handled` when the rest has the shape it serves, whether or not the entry exists.
    virtual int32_t OnInvoke(const char *const *rest, int32_t *handled, const CVariant *in,
                             int32_t inCount, CVariant *out, int32_t outCount);
    virtual int32_t OnCreate(const char *const *rest, int32_t *handled);
    virtual int32_t OnGetInfo(const char *const *rest, int32_t *handled);
    virtual int32_t OnDelete(const char *const *rest, int32_t *handled);
    virtual int32_t OnGet(const char *const *rest, int32_t *handled, CVariant &value);
    virtual int32_t OnSet(const char *const *rest, int32_t *handled, const CVariant &value);
    virtual int32_t OnGetType(const char *const *rest, int32_t *handled);
    // The names below `rest`, each followed by "/", in `answer`; nonzero when it answers.
    virtual int32_t OnEnumSub(const char *const *rest, CString &answer, const char *pattern,
                              int32_t flags);

private:
    void **m_ppSlot = nullptr;
    std::once_flag m_slotMade;
    // The root's parts (kKeySlots, pointing into their own copy of the root text), published
    // once whole: walks may already reach the provider while it mounts. The roots of earlier
    // mounts are kept, as a walk may still read one.
    struct Root {
        std::unique_ptr<char[]> text;
        std::unique_ptr<const char *[]> parts;
    };
    std::atomic<const char *const *> m_pRootKey{nullptr};
    std::vector<Root> m_roots;
    std::atomic<int32_t> m_lRef{0};
    plat::Event m_evReleased; // auto-reset: set when the count comes back to 0
};
