#include "platform/ui/WndClass.h"
#include "platform/String.h"

#include <map>
#include <mutex>
#include <string>

namespace {

struct Entry {
    tagWndClass cls;
    std::string name;
};

struct Registry {
    std::mutex lock;
    std::map<std::string, Entry> entries; // by upper-cased name
};

Registry &TheRegistry()
{
    static Registry registry;
    return registry;
}

std::string Key(const char *name)
{
    CString key(name);
    key.MakeUpper();
    return key.GetString();
}

} // namespace

BOOL AfxRegisterClass(const tagWndClass *wndClass)
{
    if (!wndClass || !wndClass->lpszClassName || !*wndClass->lpszClassName || !wndClass->pfnCreate)
        return FALSE;
    Registry &registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.lock);
    auto [at, added] = registry.entries.try_emplace(Key(wndClass->lpszClassName));
    if (!added) return FALSE;
    at->second.cls = *wndClass;
    at->second.name = wndClass->lpszClassName;
    return TRUE;
}

BOOL UnregisterClass(const char *className)
{
    if (!className) return FALSE;
    Registry &registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.lock);
    return registry.entries.erase(Key(className)) ? TRUE : FALSE;
}

BOOL GetClassInfo(const char *className, tagWndClass *wndClass)
{
    if (!className) return FALSE;
    Registry &registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.lock);
    auto found = registry.entries.find(Key(className));
    if (found == registry.entries.end()) return FALSE;
    if (wndClass) {
        *wndClass = found->second.cls;
        wndClass->lpszClassName = found->second.name.c_str();
    }
    return TRUE;
}

CWnd *AfxCreateWndObject(const char *className)
{
    tagWndClass cls;
    return GetClassInfo(className, &cls) ? cls.pfnCreate() : nullptr;
}
