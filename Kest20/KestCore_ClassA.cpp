#include "Kest20/KestCore_ClassA.h"

#include "Kest20/InstanceRegistry.h"
#include "KestLib20/CResAccess.h"
#include "platform/ConstructionScope.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <deque>

namespace {

CClassA *ObjectOf(void *instance)
{
    return static_cast<CClassA *>(static_cast<IClassA *>(instance));
}

// The key "class" of a setting: the name of the class that serves it.
CString ClassOfSetting(const char *setting)
{
    CResString key(setting);
    key.Go("class");
    return key.GetAsString("");
}

CString DefaultSetting(const char *name)
{
    CString path;
    path.Format("/etc/tvx/%s", name);
    return path;
}

} // namespace

CKestCore_ClassA::~CKestCore_ClassA()
{
    std::vector<CClassA *> created;
    {
        std::lock_guard<CDataLock> lock(m_lock);
        created = m_created;
    }
    CClassA_DeleteObjects(created);
    std::lock_guard<CDataLock> lock(m_lock);
    m_created.clear();
    m_live.clear();
}

void CKestCore_ClassA::CClassA_RegisterInstance(CClassA *object)
{
    std::lock_guard<CDataLock> lock(m_lock);
    // An object made by a factory is found by name only once it is whole, as its class
    // records hand it out.
    const bool pending = plat::ConstructionScope::Defer([object] {
        if (CKestCore_ClassA *registry = CClassACore::GetCore()) {
            std::lock_guard<CDataLock> made(registry->m_lock);
            registry->m_index.MarkMade(object);
        }
    });
    m_live.push_back(object);
    m_index.Add(object, !pending);
}

void CKestCore_ClassA::CClassA_UnRegisterInstance(CClassA *object)
{
    std::lock_guard<CDataLock> lock(m_lock);
    std::erase(m_live, object);
    std::erase(m_created, object);
    m_index.Remove(object);
}

void CKestCore_ClassA::CClassA_RenameInstance(CClassA *object)
{
    std::lock_guard<CDataLock> lock(m_lock);
    m_index.Rename(object);
}

int CKestCore_ClassA::exIsValidAddress(const void *object)
{
    std::lock_guard<CDataLock> lock(m_lock);
    return m_index.Contains(object) ? 1 : 0;
}

std::vector<CClassA *> CKestCore_ClassA::GetLiveObjects()
{
    std::lock_guard<CDataLock> lock(m_lock);
    return m_live;
}

bool CKestCore_ClassA::IsLive(CClassA *object)
{
    return object && exIsValidAddress(object) && object->IsValid();
}

void CKestCore_ClassA::CClassA_DeleteObjects(const std::vector<CClassA *> &objects)
{
    for (auto it = objects.rbegin(); it != objects.rend(); ++it)
        if (IsLive(*it)) (*it)->DeactiveInstance(1);
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        if (!IsLive(*it)) continue;
        if (iRtc *rtc = (*it)->GetObjectRtc()) rtc->DeleteInstance(static_cast<IClassA *>(*it));
    }
}

CClassA *CKestCore_ClassA::exGetInstanceByName(iRtc *base, const char *name)
{
    // Instance lists below CClassA hold framework objects only.
    if (!base || !name || !base->IsKindOf(CClassA::GetClassID())) return nullptr;
    CClassA *found = nullptr;
    int count = 0;
    {
        std::lock_guard<CDataLock> lock(m_lock);
        for (CClassA *object : m_index.Named(name)) {
            // Listed in a class record below `base`: CClassA's own record lists nothing.
            iRtc *rtc = object->GetObjectRtc();
            if (!rtc || rtc == CClassA::GetClassID() || !rtc->IsKindOf(base)) continue;
            found = object;
            if (++count > 1) break;
        }
    }
    // Two of one name: the first is the one the class records give first.
    return count > 1 ? ScanByName(base, name) : found;
}

CClassA *CKestCore_ClassA::ScanByName(iRtc *base, const char *name)
{
    std::deque<iRtc *> queue{base};
    while (!queue.empty()) {
        iRtc *rtc = queue.front();
        queue.pop_front();
        for (int32_t i = 0; void *instance = rtc->GetInstance(i); ++i) {
            CClassA *object = ObjectOf(instance);
            if (plat::GbkCompareNoCase(object->GetInstanceName(), name) == 0) return object;
        }
        for (int32_t i = 0; iRtc *son = rtc->GetSonRtc(i); ++i) queue.push_back(son);
    }
    return nullptr;
}

CClassA *CKestCore_ClassA::CreateNamed(const CString &name, const CString &setting, iRtc *base)
{
    CString className = ClassOfSetting(setting);
    if (className.IsEmpty()) return nullptr;
    iRtc *rtc = CClassA::GetClassID()->FindByNames(className);
    if (!rtc || !rtc->IsKindOf(base)) return nullptr;
    void *instance = rtc->CreateInstance(nullptr);
    if (!instance) return nullptr;
    CClassA *object = ObjectOf(instance);
    object->SetInstanceName(name);
    object->SetSettingInfo(setting);
    std::lock_guard<CDataLock> lock(m_lock);
    m_created.push_back(object);
    return object;
}

CClassA *CKestCore_ClassA::exCreateComponent(const char *name, const char *setting, iRtc *base,
                                             int activate)
{
    if (!base || !name || !base->IsKindOf(CClassA::GetClassID())) return nullptr;
    CString trimmed(name);
    trimmed.Trim();
    if (trimmed.IsEmpty()) return nullptr;
    CString path(setting);
    path.Trim();
    if (path.IsEmpty())
        path = DefaultSetting(trimmed);
    else if (path[0] != '/')
        path = DefaultSetting(path);

    // A name whose creation waits, in turn, for one this thread is creating is looked up and
    // activated without its lock, as the thread that holds it would do itself.
    CNamedLocks::Hold creating(m_creation, trimmed);
    CClassA *object = exGetInstanceByName(base, trimmed);
    if (!object) object = CreateNamed(trimmed, path, base);
    if (object && activate) object->ActiveInstance();
    return object;
}

int CKestCore_ClassA::FindObjectInResource(CString &setting, const char *name, iRtc *base,
                                           CStringArray &roots)
{
    if (!name || !base) return 0;
    if (roots.IsEmpty()) {
        CStringArray entries;
        CResAccess("/etc").EnumSub(entries, "*", 0);
        for (const CString &entry : entries) roots.Add("/etc/" + entry);
    }
    for (const CString &root : roots) {
        CString path(root);
        path.Trim();
        if (path.IsEmpty()) continue;
        if (path[path.GetLength() - 1] != '/') path += '/';
        path += name;
        CString className = ClassOfSetting(path);
        if (!className.IsEmpty() && base->FindByNames(className)) {
            setting = path;
            return 1;
        }
    }
    if (base->IsKindOf(CClassA::GetClassID())) {
        if (CClassA *object = exGetInstanceByName(base, name)) {
            setting = object->GetSettingInfo();
            return 1;
        }
    }
    return 0;
}

CClassA *glCreateComponent(const char *name, const char *setting, iRtc *base, int activate)
{
    CKestCore_ClassA *registry = CClassACore::OpenCore();
    return registry ? registry->exCreateComponent(name, setting, base, activate) : nullptr;
}

CClassA *glGetInstanceByName(iRtc *base, const char *name)
{
    CKestCore_ClassA *registry = CClassACore::OpenCore();
    return registry ? registry->exGetInstanceByName(base, name) : nullptr;
}

int glDeleteObjects(const CPtrArray &objects)
{
    CKestCore_ClassA *registry = CClassACore::OpenCore();
    if (!registry) return 0;
    std::vector<CClassA *> list;
    for (void *object : objects) list.push_back(static_cast<CClassA *>(object));
    registry->CClassA_DeleteObjects(list);
    return 1;
}

int glFindObjectInResource(CString &setting, const char *name, iRtc *base, CStringArray &roots)
{
    CKestCore_ClassA *registry = CClassACore::OpenCore();
    return registry ? registry->FindObjectInResource(setting, name, base, roots) : 0;
}
