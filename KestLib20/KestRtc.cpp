#include "KestLib20/KestRtc.h"

#include "KestLib20/KestModule.h"
#include "KestLib20/KestRtcMgr.h"
#include "KestLib20/RtcArray.h"
#include "KestLib20/ThisClassFactory.h"
#include "platform/ConstructionScope.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>

namespace {

// Longest text FindByNames takes as a path.
constexpr size_t kMaxPathLength = 120;

// Holds the record's class manager lock for one list operation; no manager, no lock.
class CRtcListLock {
public:
    explicit CRtcListLock(iRtc *rtc) : m_pMgr(rtc->GetRtcMgr())
    {
        if (m_pMgr) m_pMgr->LockServer(-1);
    }
    ~CRtcListLock()
    {
        if (m_pMgr) m_pMgr->LockServer(0);
    }
    CRtcListLock(const CRtcListLock &) = delete;
    CRtcListLock &operator=(const CRtcListLock &) = delete;

private:
    iRtcMgr *m_pMgr;
};

bool SameText(const char *a, const char *b)
{
    return plat::GbkCompareNoCase(a ? a : "", b ? b : "") == 0;
}

bool Matches(iRtc *rtc, const void *key, int mode)
{
    const tagClassInfo *info = rtc->GetClassInfoA();
    switch (mode) {
    case iRtc::FIND_CLASSNAME:
        return SameText(info->lpszClassName, static_cast<const char *>(key));
    case iRtc::FIND_REGNAME:
        return SameText(info->lpszRegisteredName, static_cast<const char *>(key));
    case iRtc::FIND_CLASSID:
        return info->pClassId && memcmp(info->pClassId, key, sizeof(GUID)) == 0;
    case iRtc::FIND_RTC:
        return rtc == key;
    default:
        return false;
    }
}

// The entry at `index`, or null outside the list.
template <typename T> T *EntryAt(const std::vector<T *> &list, int32_t index)
{
    return index >= 0 && static_cast<size_t>(index) < list.size() ? list[static_cast<size_t>(index)]
                                                                  : nullptr;
}

void AppendSons(iRtc *rtc, std::deque<iRtc *> &queue)
{
    for (int32_t i = 0; iRtc *son = rtc->GetSonRtc(i); ++i) queue.push_back(son);
}

} // namespace

iRtc *iRtc::Find(const void *key, int mode)
{
    if (!key) return nullptr;
    if (mode == FIND_CLASSNAME || mode == FIND_REGNAME) {
        auto text = static_cast<const char *>(key);
        while (*text == ' ') ++text;
        key = text;
    }
    std::deque<iRtc *> queue{this};
    while (!queue.empty()) {
        iRtc *rtc = queue.front();
        queue.pop_front();
        if (Matches(rtc, key, mode)) return rtc;
        AppendSons(rtc, queue);
    }
    return nullptr;
}

iRtc *iRtc::FindByNames(const char *names)
{
    if (!names || !*names) return nullptr;
    if (iRtc *found = Find(names, FIND_REGNAME)) return found;

    // Separators lie below 0x40, so they are never the trail byte of a GBK character.
    std::string path(names, plat::GbkCutLength(names, kMaxPathLength));
    std::replace_if(
        path.begin(), path.end(), [](char c) { return c == ' ' || c == '-' || c == ':'; }, '.');
    iRtc *reached = this;
    bool any = false;
    size_t start = 0;
    while (start < path.size()) {
        size_t dot = path.find('.', start);
        if (dot == std::string::npos) dot = path.size();
        if (dot > start) {
            std::string component = path.substr(start, dot - start);
            reached = reached->Find(component.c_str(), FIND_CLASSNAME);
            if (!reached) return nullptr;
            any = true;
        }
        start = dot + 1;
    }
    return any ? reached : nullptr;
}

bool iRtc::IsKindOf(iRtc *base)
{
    if (!base) return false;
    for (iRtc *rtc = this; rtc; rtc = rtc->GetFatherRtc())
        if (rtc == base) return true;
    return false;
}

bool iRtc::IsKindOf(const GUID *iid)
{
    if (!iid) return false;
    for (tagInterface *entry = GetInterfaceMap(); entry; entry = entry->pNext)
        if (entry->pIid && IsEqualGUID(*entry->pIid, *iid)) return true;
    return false;
}

int32_t iRtc::GetTotalSonRtc(IRtcArray *array)
{
    if (!array) return 0;
    std::deque<iRtc *> queue{this};
    while (!queue.empty()) {
        iRtc *rtc = queue.front();
        queue.pop_front();
        for (int32_t i = 0; iRtc *son = rtc->GetSonRtc(i); ++i) {
            queue.push_back(son);
            int32_t size = array->GetSize();
            array->SetSize(size + 1);
            array->SetAt(size, son);
        }
    }
    return array->GetSize();
}

namespace {
template <typename Search> iRtc *SearchEveryModule(Search search)
{
    for (iRtcMgr **slot = iRtcMgr::FindMgr(nullptr); slot; slot = iRtcMgr::FindMgr(slot)) {
        iRtcMgr *manager = ServiceIn(slot);
        iRtc *root = manager ? manager->GetRootRtc() : nullptr;
        if (!root) continue;
        if (iRtc *found = search(root)) return found;
    }
    return nullptr;
}
} // namespace

iRtc *iRtc::vFind(const void *key, int mode)
{
    return SearchEveryModule([&](iRtc *root) { return root->Find(key, mode); });
}

iRtc *iRtc::vFindByNames(const char *names)
{
    return SearchEveryModule([&](iRtc *root) { return root->FindByNames(names); });
}

CKestRtc::CKestRtc(iRtcMgr *manager, iRtc *father, const char *className, const char *description,
                   const char *registeredName, int32_t objectSize, int32_t reserved,
                   const GUID *classId, RTC_CREATE create, RTC_DELETE destroy)
    : m_info{objectSize, reserved, className, description, registeredName, classId},
      m_ppMgr(nullptr), m_pFather(father), m_pfnCreate(create), m_pfnDelete(destroy)
{
    if (father) {
        father->RegisterSon(this);
        iRtcMgr *fathers = father->GetRtcMgr();
        m_ppMgr = fathers ? fathers->GetActivePtr() : nullptr;
    } else if (manager) {
        manager->SetRootRtc(this);
        m_ppMgr = manager->GetActivePtr();
    }
}

CKestRtc::~CKestRtc()
{
    if (m_pFather) {
        m_pFather->UnregisterSon(this);
    } else if (iRtcMgr *manager = GetRtcMgr()) {
        // Only the manager's own root gives the root up.
        if (manager->GetRootRtc() == this) manager->SetRootRtc(nullptr);
    }
}

tagClassInfo *CKestRtc::GetClassInfoA()
{
    return &m_info;
}

iRtcMgr *CKestRtc::GetRtcMgr()
{
    return ServiceIn(m_ppMgr);
}

iRtc *CKestRtc::GetFatherRtc()
{
    return m_pFather;
}

iRtc *CKestRtc::GetSonRtc(int32_t index)
{
    CRtcListLock lock(this);
    return EntryAt(m_sons, index);
}

int32_t CKestRtc::GetSonRtcCount()
{
    CRtcListLock lock(this);
    return static_cast<int32_t>(m_sons.size());
}

int32_t CKestRtc::RegisterSon(iRtc *son)
{
    if (!son) return 0;
    CRtcListLock lock(this);
    m_sons.push_back(son);
    return 1;
}

int32_t CKestRtc::UnregisterSon(iRtc *son)
{
    CRtcListLock lock(this);
    auto found = std::find(m_sons.rbegin(), m_sons.rend(), son);
    if (found == m_sons.rend()) return 0;
    m_sons.erase(std::next(found).base());
    return 1;
}

tagDMethod *CKestRtc::GetDMethod()
{
    return m_pDMethods;
}

int32_t CKestRtc::InstallDMethod(tagDMethod *method)
{
    if (!method) return 0;
    CRtcListLock lock(this);
    for (tagDMethod *m = m_pDMethods; m; m = m->pNext)
        if (m == method) return 0;
    method->pNext = m_pDMethods;
    m_pDMethods = method;
    return 1;
}

int32_t CKestRtc::UninstallDMethod(tagDMethod *method)
{
    CRtcListLock lock(this);
    for (tagDMethod **link = &m_pDMethods; *link; link = &(*link)->pNext) {
        if (*link == method) {
            *link = method->pNext;
            method->pNext = nullptr;
            return 1;
        }
    }
    return 0;
}

void *CKestRtc::CreateInstance(const GUID *classId)
{
    // Another thread enumerating instances must not call into a half-made object.
    plat::ConstructionScope making;
    return m_pfnCreate ? m_pfnCreate(classId) : nullptr;
}

int32_t CKestRtc::DeleteInstance(void *object)
{
    if (!m_pfnDelete) return 0;
    m_pfnDelete(object);
    return 1;
}

int32_t CKestRtc::RegisterInstance(void *object)
{
    if (!object) return 0;
    CRtcListLock lock(this);
    auto listed = [object](const Instance &entry) { return entry.object == object; };
    if (std::find_if(m_instances.begin(), m_instances.end(), listed) != m_instances.end()) return 0;
    const bool pending = plat::ConstructionScope::Defer([this, object] {
        CRtcListLock made(this);
        for (Instance &entry : m_instances)
            if (entry.object == object) entry.made = true;
    });
    m_instances.push_back({object, !pending});
    return 1;
}

int32_t CKestRtc::UnregisterInstance(void *object)
{
    CRtcListLock lock(this);
    auto found = std::find_if(m_instances.begin(), m_instances.end(),
                              [object](const Instance &entry) { return entry.object == object; });
    if (found == m_instances.end()) return 0;
    m_instances.erase(found);
    return 1;
}

void *CKestRtc::GetInstance(int32_t index)
{
    if (index < 0) return nullptr;
    CRtcListLock lock(this);
    for (const Instance &entry : m_instances)
        if (entry.made && index-- == 0) return entry.object;
    return nullptr;
}

int32_t CKestRtc::GetInstanceCount()
{
    CRtcListLock lock(this);
    return static_cast<int32_t>(std::count_if(m_instances.begin(), m_instances.end(),
                                              [](const Instance &entry) { return entry.made; }));
}

int32_t CKestRtc::GetClassFactory(IClassFactory **factory)
{
    if (!factory) return 1;
    if (!IsKindOf(&IID_IUnknown)) {
        *factory = nullptr;
        return 1;
    }
    *factory = new CThisClassFactory(this);
    (*factory)->AddRef();
    return 0;
}

int32_t CKestRtc::AddInterface(tagInterface *entry)
{
    if (!entry) return 0;
    entry->pNext = m_pInterfaces;
    m_pInterfaces = entry;
    return 1;
}

tagInterface *CKestRtc::GetInterfaceMap()
{
    return m_pInterfaces;
}
