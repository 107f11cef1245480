// The ring probe of one module, built into the test program and into each test library.
// RING_MODULE names the module; RING_PROBE_CLASS, when defined, is a component class the
// module registers.
#include "tests/KestLib20/ring/RingProbe.h"

#include "Kest20/ClassA.h"
#include "Kest20/InstanceRegistry.h"
#include "KestLib20/ClassRtc.h"
#include "KestLib20/KestModule.h"
#include "KestLib20/KestNamedPtr.h"
#include "KestLib20/KestRtcMgr.h"

namespace {

// Every module of the test has a class manager of its own in slot 2, built at load.
CKestRtcMgr &ClassManager()
{
    static CKestRtcMgr manager;
    return manager;
}
[[maybe_unused]] CKestRtcMgr &g_managerBuilt = ClassManager();

int ModuleCount()
{
    return glGetModuleCount();
}

CKestModule *OwnRecord()
{
    tagServEntry *entry = glGetModuleServEntry(0);
    return entry ? *entry->module : nullptr;
}

CKestModule *MainRecord()
{
    return GetMainModulePtr();
}

bool RingValid()
{
    return IsValidModuleRing(OwnRecord());
}

int WalkSlot(int index, void **out, int maximum)
{
    int count = 0;
    for (tagServEntry *e = glFindModuleServEntry(index, nullptr); e;
         e = glFindModuleServEntry(index, e)) {
        if (count == maximum) return -1;
        out[count++] = e->service;
    }
    return count;
}

void *OwnClassManager()
{
    return static_cast<iRtcMgr *>(&ClassManager());
}

void **NewNamedPtr(const char *type, const char *name, void *value)
{
    void **slot = glNewNamedPtr(type, name);
    *slot = value;
    return slot;
}

int DeleteNamedPtr(void **slot)
{
    return glDeleteNamedPtr(slot);
}

void **SelectMain(const char *type)
{
    return SmartSelectMainPtr(type);
}

void **GetMain(const char *type)
{
    return glGetMainNamedPtr(type);
}

iRtc *FindClass(const char *names)
{
    return iRtc::vFindByNames(names);
}

bool IsKindOf(iRtc *rtc, iRtc *base)
{
    return rtc && rtc->IsKindOf(base);
}

CClassA *CreateComponent(const char *name)
{
    return glCreateComponent(name, nullptr, CKestnut::GetClassID(), 1);
}

} // namespace

#ifdef RING_PROBE_CLASS
class RING_PROBE_CLASS : public CKestnut {
    DECLARE_KEST_CLASS(RING_PROBE_CLASS)
};
IMPLEMENT_KEST_CLASS(RING_PROBE_CLASS, CKestnut)

namespace {
iRtc *ProbeClass()
{
    return RING_PROBE_CLASS::GetClassID();
}
} // namespace
#else
namespace {
iRtc *ProbeClass()
{
    return nullptr;
}
} // namespace
#endif

extern "C" __attribute__((visibility("default"))) const RingProbe *KestRingProbe()
{
    static const RingProbe probe{RING_MODULE,    ModuleCount, OwnRecord,       MainRecord,
                                 RingValid,      WalkSlot,    OwnClassManager, NewNamedPtr,
                                 DeleteNamedPtr, SelectMain,  GetMain,         ProbeClass,
                                 FindClass,      IsKindOf,    CreateComponent};
    return &probe;
}
