#include "Kest20/ComponentA.h"

#include "KestLib20/ActivePtr.h"
#include "platform/String.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// A text that other threads may read (and keep as const char *) while it is set again: every
// version lives as long as its owner, and the current one is published atomically. Instance
// lookups read names of objects that their creator is still naming.
class CStableText {
public:
    const char *Get() const
    {
        const std::string *text = m_pCurrent.load(std::memory_order_acquire);
        return text ? text->c_str() : "";
    }

    void Set(const char *text)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        SetLocked(text);
    }

    // Sets `text` unless a text is there already.
    void SetIfEmpty(const char *text)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (*Get() == '\0') SetLocked(text);
    }

private:
    void SetLocked(const char *text)
    {
        const std::string *current = m_pCurrent.load(std::memory_order_relaxed);
        if (current && *current == text) return;
        m_versions.push_back(std::make_unique<std::string>(text));
        m_pCurrent.store(m_versions.back().get(), std::memory_order_release);
    }

    std::mutex m_lock;
    std::vector<std::unique_ptr<std::string>> m_versions;
    std::atomic<const std::string *> m_pCurrent{nullptr};
};

} // namespace

struct CComponentA_Impl {
    std::atomic<int32_t> status{OBJ_CREATED};
    CStableText name;
    CStableText setting;
    std::atomic<IClassA **> activePtr{nullptr};
};

int32_t IComponentA::InitInstance(const char *setting, const char *name)
{
    if (GetObjectStatus() >= OBJ_INITIALISING) return 1;
    SetInstanceName(name);
    SetSettingInfo(setting);
    SetObjectStatus(OBJ_INITIALISING);
    int32_t result = OnInitInstance();
    SetObjectStatus(result ? OBJ_INITIALISED : OBJ_CREATED);
    return result;
}

int32_t IComponentA::ActiveInstance()
{
    if (!InitInstance(nullptr, nullptr)) return 0;
    int32_t status = GetObjectStatus();
    if (status == OBJ_ACTIVE) return 1;
    if (status != OBJ_INITIALISED) return 0;
    SetObjectStatus(OBJ_ACTIVATING);
    int32_t result = OnActiveInstance();
    SetObjectStatus(result ? OBJ_ACTIVE : OBJ_INITIALISED);
    return result;
}

int32_t IComponentA::DeactiveInstance(int32_t kill)
{
    if (GetObjectStatus() != OBJ_ACTIVE) return 1;
    SetObjectStatus(OBJ_DEACTIVATING);
    int32_t result = OnDeactiveInstance();
    if (!result) {
        SetObjectStatus(OBJ_ACTIVE);
        return 0;
    }
    if (kill) {
        OnKillInstance();
        SetObjectStatus(OBJ_KILLED);
    } else {
        SetObjectStatus(OBJ_INITIALISED);
    }
    return result;
}

CComponentA::CComponentA() : _Impl(new CComponentA_Impl) {}

CComponentA::CComponentA(const CComponentA &other) : IComponentA(other), _Impl(new CComponentA_Impl)
{
    *this = other;
}

CComponentA &CComponentA::operator=(const CComponentA &other)
{
    if (this == &other) return *this;
    _Impl->status = other._Impl->status.load();
    _Impl->name.Set(other._Impl->name.Get());
    _Impl->setting.Set(other._Impl->setting.Get());
    m_nRefCount = other.m_nRefCount;
    return *this;
}

CComponentA::~CComponentA()
{
    if (IClassA **slot = _Impl->activePtr.load()) *slot = nullptr;
    delete _Impl;
}

HRESULT CComponentA::QueryInterface(const GUID *, void **object)
{
    if (object) *object = nullptr;
    return S_FALSE;
}

uint32_t CComponentA::AddRef()
{
    return static_cast<uint32_t>(__atomic_fetch_add(&m_nRefCount, 1, __ATOMIC_SEQ_CST));
}

uint32_t CComponentA::Release()
{
    return static_cast<uint32_t>(__atomic_fetch_sub(&m_nRefCount, 1, __ATOMIC_SEQ_CST));
}

iRtc *CComponentA::GetObjectRtc()
{
    return nullptr;
}

// Memory is not probed; a component that is not a framework object cannot be checked further.
int32_t CComponentA::IsValid()
{
    return 1;
}

int32_t CComponentA::Suicide()
{
    if (!IsValid()) return 0;
    DeactiveInstance(1);
    iRtc *rtc = GetObjectRtc();
    return rtc ? rtc->DeleteInstance(static_cast<IClassA *>(this)) : 0;
}

IClassA **CComponentA::GetActivePtr()
{
    IClassA **slot = _Impl->activePtr.load();
    if (slot) return slot;
    auto *fresh = reinterpret_cast<IClassA **>(glAllocActivePtr(1));
    if (!fresh) return nullptr;
    *fresh = this;
    if (_Impl->activePtr.compare_exchange_strong(slot, fresh)) return fresh;
    // Another thread allocated first; slots are never given back, this one stays empty.
    *fresh = nullptr;
    return slot;
}

const char *CComponentA::GetInstanceName()
{
    return _Impl->name.Get();
}

int32_t CComponentA::SetInstanceName(const char *name)
{
    if (!name) return 0;
    _Impl->name.Set(name);
    return 1;
}

const char *CComponentA::GetSettingInfo()
{
    const char *name = _Impl->name.Get();
    if (*_Impl->setting.Get() == '\0' && *name != '\0') {
        CString path;
        path.Format("/etc/tvx/%s", name);
        _Impl->setting.SetIfEmpty(path);
    }
    return _Impl->setting.Get();
}

int32_t CComponentA::SetSettingInfo(const char *path)
{
    if (!path)
        GetSettingInfo();
    else
        _Impl->setting.Set(path);
    return 1;
}

int32_t CComponentA::SetObjectStatus(int32_t status)
{
    _Impl->status = status;
    return 1;
}

int32_t CComponentA::GetObjectStatus()
{
    return _Impl->status;
}

int32_t CComponentA::OnInitInstance()
{
    return 1;
}

int32_t CComponentA::OnActiveInstance()
{
    return 1;
}

int32_t CComponentA::OnDeactiveInstance()
{
    return 1;
}

int32_t CComponentA::OnKillInstance()
{
    return 1;
}
