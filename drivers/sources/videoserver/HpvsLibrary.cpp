#include "drivers/sources/videoserver/HpvsLibrary.h"

#include "Kest20/KestLog.h"
#include "platform/FindProc.h"

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

} // namespace

const Entries &Library()
{
    static const Entries entries = [] {
        Entries e;
        void *library = plat::LoadLibrary(kLibraryName);
        if (!library) return e;
        plat::FindProc(library, "hpvsInit", &e.init);
        plat::FindProc(library, "hpvsShutdown", &e.shutdown);
        plat::FindProc(library, "hpvsCreateConn", &e.createConn);
        plat::FindProc(library, "hpvsDestroyConn", &e.destroyConn);
        plat::FindProc(library, "hpvsListNodes", &e.listNodes);
        plat::FindProc(library, "hpvsNextNodes", &e.nextNodes);
        plat::FindProc(library, "hpvsListMedia", &e.listMedia);
        plat::FindProc(library, "hpvsNextMedia", &e.nextMedia);
        plat::FindProc(library, "hpvsDeleteMedia", &e.deleteMedia);
        plat::FindProc(library, "hpvsRenameFile", &e.renameFile);
        plat::FindProc(library, "hpvsQueryMedia", &e.queryMedia);
        plat::FindProc(library, "hpvsCopyMedia", &e.copyMedia);
        plat::FindProc(library, "hpvsCmdStatus", &e.cmdStatus);
        plat::FindProc(library, "hpvsTerminateCmd", &e.terminateCmd);
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
