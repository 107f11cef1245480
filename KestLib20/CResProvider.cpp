#include "KestLib20/CResProvider.h"

#include "KestLib20/KestNamedPtr.h"

#include <cstring>

CResProvider::~CResProvider()
{
    Unmount();
}

void CResProvider::Unmount()
{
    void **slot = m_ppSlot;
    if (!slot) return;
    // Emptied under the lock walkers read it with: a walk has the provider referenced by
    // now, or finds nothing.
    glStoreNamedPtr(slot, nullptr);
    while (m_lRef.load() > 0) m_evReleased.Wait(plat::INFINITE);
    glDeleteNamedPtr(slot);
    m_ppSlot = nullptr;
}

int CResProvider::Mount(const char *root, const char *name)
{
    void **slot = GetActivePtr();
    LockServer(1);
    if (name && *name) glSetNamedPtrName(slot, name);
    const size_t length = root ? std::strlen(root) : 0;
    Root made{std::make_unique<char[]>(length + 1), std::make_unique<const char *[]>(kKeySlots)};
    if (length) std::memcpy(made.text.get(), root, length);
    int count = kKeySlots;
    AnalysisKey(made.text.get(), made.parts.get(), count, 1);
    m_pRootKey.store(made.parts.get(), std::memory_order_release);
    m_roots.push_back(std::move(made));
    LockServer(0);
    return 1;
}

int32_t CResProvider::QueryInterface(const GUID * /*iid*/, void **object)
{
    if (object) *object = nullptr;
    return 0;
}

uint32_t CResProvider::AddRef()
{
    return static_cast<uint32_t>(++m_lRef);
}

uint32_t CResProvider::Release()
{
    // Once the count is 0 the provider may go at once: signal through a copy of the event.
    plat::Event released = m_evReleased;
    const int32_t left = --m_lRef;
    if (left == 0) released.Set();
    return static_cast<uint32_t>(left);
}

int32_t CResProvider::LockServer(int32_t /*lock*/)
{
    return 0;
}

void **CResProvider::GetActivePtr()
{
    std::call_once(m_slotMade, [this] {
        void **slot = glNewNamedPtr(kNamedPtrType, "");
        if (slot) __atomic_store_n(slot, static_cast<IResProvider *>(this), __ATOMIC_RELEASE);
        m_ppSlot = slot;
    });
    return m_ppSlot;
}

const char *const *CResProvider::GetRootKey()
{
    static const char *const kNoKey[1] = {nullptr};
    const char *const *root = m_pRootKey.load(std::memory_order_acquire);
    return root ? root : kNoKey;
}

int32_t CResProvider::Access(const char *const *key, int32_t operation, int32_t *handled,
                             const CVariant *in, int32_t inCount, CVariant *out, int32_t outCount)
{
    const char *const *root = m_pRootKey.load(std::memory_order_acquire);
    if (!root) return 0;
    const char *const *rest = IsKindOf(root, key);
    if (!rest) return 0;
    int32_t local = 0;
    if (!handled) handled = &local;
    switch (operation) {
    case RES_DELETE:
        return OnDelete(rest, handled);
    case RES_INVOKE:
    case RES_INVOKE_EX:
        return OnInvoke(rest, handled, in, inCount, out, outCount);
    case RES_GET:
        return out && outCount >= 1 ? OnGet(rest, handled, out[0]) : 0;
    case RES_SET:
        return in && inCount >= 1 ? OnSet(rest, handled, in[0]) : 0;
    case RES_GETTYPE:
        return OnGetType(rest, handled);
    case RES_GETINFO:
        return OnGetInfo(rest, handled);
    case RES_ENUMSUB: {
        if (!in || inCount < 2 || !out || outCount < 1) return 0;
        if (in[0].GetType() != CVariant::Type::Text || in[1].GetType() != CVariant::Type::Int32)
            return 0;
        CString answer;
        const int32_t result = OnEnumSub(rest, answer, in[0].ToText(), in[1].GetInt32());
        if (result) out[0] = CVariant::FromText(answer);
        return result;
    }
    default:
        return 0;
    }
}

int32_t CResProvider::OnInvoke(const char *const *, int32_t *, const CVariant *, int32_t,
                               CVariant *, int32_t)
{
    return 0;
}

int32_t CResProvider::OnCreate(const char *const *, int32_t *)
{
    return 0;
}

int32_t CResProvider::OnGetInfo(const char *const *, int32_t *)
{
    return 0;
}

int32_t CResProvider::OnDelete(const char *const *, int32_t *)
{
    return 0;
}

int32_t CResProvider::OnGet(const char *const *, int32_t *, CVariant &)
{
    return 0;
}

int32_t CResProvider::OnSet(const char *const *, int32_t *, const CVariant &)
{
    return 0;
}

int32_t CResProvider::OnGetType(const char *const *, int32_t *)
{
    return 0;
}

int32_t CResProvider::OnEnumSub(const char *const *, CString &, const char *, int32_t)
{
    return 0;
}
