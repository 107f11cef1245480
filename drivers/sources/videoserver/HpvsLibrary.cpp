#include "drivers/sources/videoserver/HpvsLibrary.h"

#include "Kest20/KestLog.h"
#include "platform/Process.h"

#include <mutex>

namespace hpvs {
namespace {

struct Shared {
    std::mutex lock;
    CString contact = kDefaultContact;
    bool initialised = false;
    int32_t connections = 0;
};

Shared &State()
{
    static Shared shared;
    return shared;
}

template <class F> void Find(void *library, const char *name, F *function)
{
    *function = reinterpret_cast<F>(plat::GetProcAddress(library, name));
}

} // namespace

const Entries &Library()
{
    static const Entries entries = [] {
        Entries e;
        void *library = plat::LoadLibrary(kLibraryName);
        if (!library) return e;
        Find(library, "hpvsInit", &e.init);
        Find(library, "hpvsShutdown", &e.shutdown);
        Find(library, "hpvsCreateConn", &e.createConn);
        Find(library, "hpvsDestroyConn", &e.destroyConn);
        Find(library, "hpvsListNodes", &e.listNodes);
        Find(library, "hpvsNextNodes", &e.nextNodes);
        Find(library, "hpvsListMedia", &e.listMedia);
        Find(library, "hpvsNextMedia", &e.nextMedia);
        Find(library, "hpvsDeleteMedia", &e.deleteMedia);
        Find(library, "hpvsRenameFile", &e.renameFile);
        Find(library, "hpvsQueryMedia", &e.queryMedia);
        Find(library, "hpvsCopyMedia", &e.copyMedia);
        Find(library, "hpvsCmdStatus", &e.cmdStatus);
        Find(library, "hpvsTerminateCmd", &e.terminateCmd);
        return e;
    }();
    return entries;
}

CString Contact()
{
    std::lock_guard<std::mutex> lk(State().lock);
    return State().contact;
}

void SetContact(const CString &contact)
{
    std::lock_guard<std::mutex> lk(State().lock);
    State().contact = contact;
}

void ConnectionCreated()
{
    std::lock_guard<std::mutex> lk(State().lock);
    ++State().connections;
    State().contact = kDefaultContact;
}

void ConnectionDestroyed()
{
    int32_t result = 0;
    {
        Shared &s = State();
        std::lock_guard<std::mutex> lk(s.lock);
        if (--s.connections > 0 || !s.initialised) return;
        s.initialised = false;
        const auto shutdown = Library().shutdown;
        if (!shutdown) return;
        hpvs_status_t status{};
        result = shutdown(&status);
    }
    CString text;
    text.Format("$$$ * CPinnacleConn::HP_vsShutdown 关闭API Ret:%d .", result);
    glReportLog("LOG_TASK", text, nullptr);
}

void Start()
{
    Shared &s = State();
    std::lock_guard<std::mutex> lk(s.lock);
    if (s.initialised) return;
    plat::SetEnv("HPVSCONTACT", s.contact);
    const auto init = Library().init;
    if (!init) {
        s.initialised = true;
        return;
    }
    char buffer[256] = {};
    if (init(buffer) == 0) s.initialised = true;
}

} // namespace hpvs
