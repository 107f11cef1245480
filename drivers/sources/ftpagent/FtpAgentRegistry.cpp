#include "drivers/sources/ftpagent/IFtpAgent.h"

#include <map>
#include <mutex>

namespace ftpagent {
namespace {

struct Registry {
    std::mutex lock;
    std::map<CString, Factory> factories; // by the upper-cased class id
    std::map<uint32_t, std::shared_ptr<IFtpAgent>> table;
    uint32_t lastCookie = 0;
};

Registry &Get()
{
    static Registry registry;
    return registry;
}

CString Key(const char *classId)
{
    CString key(classId ? classId : "");
    key.MakeUpper();
    return key;
}

} // namespace

Factory RegisterFactory(const char *classId, Factory factory)
{
    Registry &r = Get();
    std::lock_guard<std::mutex> lk(r.lock);
    Factory &slot = r.factories[Key(classId)];
    std::swap(slot, factory);
    return factory;
}

std::shared_ptr<IFtpAgent> CreateInstance(const char *classId)
{
    Factory factory;
    {
        Registry &r = Get();
        std::lock_guard<std::mutex> lk(r.lock);
        const auto it = r.factories.find(Key(classId));
        if (it == r.factories.end()) return nullptr;
        factory = it->second;
    }
    // Made outside the lock: a factory may register or look up itself.
    return factory ? factory() : nullptr;
}

uint32_t RegisterInterfaceInGlobal(std::shared_ptr<IFtpAgent> agent)
{
    if (!agent) return 0;
    Registry &r = Get();
    std::lock_guard<std::mutex> lk(r.lock);
    do {
        ++r.lastCookie;
    } while (r.lastCookie == 0 || r.table.count(r.lastCookie));
    r.table[r.lastCookie] = std::move(agent);
    return r.lastCookie;
}

std::shared_ptr<IFtpAgent> GetInterfaceFromGlobal(uint32_t cookie)
{
    Registry &r = Get();
    std::lock_guard<std::mutex> lk(r.lock);
    const auto it = r.table.find(cookie);
    return it == r.table.end() ? nullptr : it->second;
}

bool RevokeInterfaceFromGlobal(uint32_t cookie)
{
    std::shared_ptr<IFtpAgent> agent; // released outside the lock
    Registry &r = Get();
    std::lock_guard<std::mutex> lk(r.lock);
    const auto it = r.table.find(cookie);
    if (it == r.table.end()) return false;
    agent = std::move(it->second);
    r.table.erase(it);
    return true;
}

} // namespace ftpagent
