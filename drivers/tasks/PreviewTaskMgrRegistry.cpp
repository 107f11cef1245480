#include "drivers/tasks/PreviewTaskMgrRegistry.h"

#include "KestLib20/CDataLock.h"
#include "platform/Collections.h"

#include <mutex>
#include <vector>

namespace {

struct Registry {
    CDataLock lock;
    CMapStringToPtr managers; // name -> IVideoPreviewTaskMgr *, in order of registration
};

// Never destroyed: managers may leave it while the library's statics are being destroyed.
Registry &TheRegistry()
{
    static Registry *registry = new Registry;
    return *registry;
}

IVideoPreviewTaskMgr *LookupLocked(Registry &registry, const char *name)
{
    void *found = nullptr;
    if (!name || !*name) {
        POSITION pos = registry.managers.GetStartPosition();
        CString key;
        if (pos) registry.managers.GetNextAssoc(pos, key, found);
    } else {
        registry.managers.Lookup(name, found);
    }
    return static_cast<IVideoPreviewTaskMgr *>(found);
}

} // namespace

IVideoPreviewTaskMgr *GetVideoPreviewTaskMgr(const char *name)
{
    Registry &registry = TheRegistry();
    std::lock_guard<CDataLock> lk(registry.lock);
    return LookupLocked(registry, name);
}

int32_t SetVideoPreviewTaskMgr(const char *name, IVideoPreviewTaskMgr *mgr)
{
    if (!name) return 0;
    Registry &registry = TheRegistry();
    std::lock_guard<CDataLock> lk(registry.lock);
    if (mgr)
        registry.managers.SetAt(name, mgr);
    else
        registry.managers.RemoveKey(name);
    return 1;
}

void ForgetPreviewTaskMgr(IVideoPreviewTaskMgr *mgr)
{
    Registry &registry = TheRegistry();
    std::lock_guard<CDataLock> lk(registry.lock);
    std::vector<CString> names;
    for (POSITION pos = registry.managers.GetStartPosition(); pos;) {
        CString name;
        void *value = nullptr;
        registry.managers.GetNextAssoc(pos, name, value);
        if (value == mgr) names.push_back(name);
    }
    for (const CString &name : names) registry.managers.RemoveKey(name);
}

IVideoPreviewControl *CreatePreviewControl(const char *mgrName, int32_t previewId)
{
    Registry &registry = TheRegistry();
    std::lock_guard<CDataLock> lk(registry.lock);
    IVideoPreviewTaskMgr *mgr = LookupLocked(registry, mgrName);
    return mgr ? mgr->CreateControl(previewId) : nullptr;
}
