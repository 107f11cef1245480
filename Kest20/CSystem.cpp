#include "Kest20/CSystem.h"

#include "Kest20/CClock.h"
#include "Kest20/CCounter.h"
#include "Kest20/CLocalConfigProvicer.h"
#include "Kest20/InstanceRegistry.h"
#include "Kest20/KestCore_ClassA.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CEnvAccessX.h"
#include "KestLib20/CMailPostOffice.h"
#include "KestLib20/CPatrolTask.h"
#include "KestLib20/CPostOffice.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/CSimplexStringMap.h"
#include "KestLib20/CStrings.h"
#include "KestLib20/CWinntSystem.h"
#include "KestLib20/FilePath.h"
#include "KestLib20/IRlzTaskPool.h"
#include "platform/Process.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int32_t kDefaultTaskPool = 32;

// The task pool's trace goes to the debug log.
int32_t TaskPoolLog(const char *text)
{
    glReportDbg("LOG_TASKPOOL", "%s", text);
    return 0;
}

// The program's settings file: "<program>.CLSID" in the program's directory, else in the
// system directory or "../"; the program's directory when it is nowhere yet.
CString ProgramSettingsFile()
{
    const CString name = CString(CWinntSystem::GetProgramName()) + ".CLSID";
    const CString own = CString(CWinntSystem::GetProgramPath()) + "/" + name;
    if (IsExistingFile(own)) return own;
    CStringArray directories;
    directories.Add(CWinntSystem::GetSystemDirectoryA());
    directories.Add("../");
    CString found = name;
    return SerachFile(directories, found) ? found : own;
}

// A "Config" file name: settings write it relative to the program's directory, with "\".
CString ConfigFileName(const CString &file)
{
    const CString posix = MakePosixPath(file);
    if (posix[0] == '/') return posix;
    return CString(CWinntSystem::GetProgramPath()) + "/" + posix;
}

} // namespace

struct CSystem::_Impl {
    CLocalConfigProvicer config;
    CEnvAccessX environment;
    std::vector<CClassA *> autoObjects; // creation order
    CMailPostOffice mailOffice;
    CPostOffice postOffice;
    CPatrolTaskMgr patrol;
    CPatrolTaskMgr devPatrol;
    CClock clock;
    CRlzTaskPool taskPool;

    IPostOffice **postOfficeSlot = postOffice.GetActivePtr();
    CClock **clockSlot = clock.GetActivePtr();
    CTaskMgr **patrolSlot = patrol.GetActivePtr();
    CTaskMgr **devPatrolSlot = devPatrol.GetActivePtr();
};

IMPLEMENT_KEST_CLASS(CSystem, CKestnut)

CSystem::CSystem() : m_pImpl(std::make_unique<_Impl>())
{
    glSetDebugFlag(1);
    SetInstanceName("System");
    SetSettingInfo("/etc/tvx/System");
    m_pImpl->config.Add_CLSID("/etc/tvx", ProgramSettingsFile());
    m_pImpl->environment.Mount("/etc/env");
}

CSystem::~CSystem()
{
    DeleteAutoObject();
    glSetDebugFlag(0);
}

int32_t CSystem::OnInitInstance()
{
    CResAccess system(GetSettingInfo());

    CStringArray entries;
    system["Config"].GetAsStringArray(entries);
    for (const CString &entry : entries) {
        CSimplexStringMap properties;
        properties.SetAsXmlProp(system[entry].GetAsString(""));
        CString file, path;
        properties.Lookup("File", file);
        properties.Lookup("Path", path);
        if (file.IsEmpty()) continue;
        m_pImpl->config.Add_CLSID(path, ConfigFileName(file));
    }

    // Loading a library registers its classes; libraries stay loaded for the process's life.
    CStringArray libraries;
    system["DLL"].GetAsStringArray(libraries);
    for (const CString &library : libraries) {
        if (plat::LoadLibrary(library)) continue;
        const CString named = system[library].GetAsString("");
        if (!named.IsEmpty()) plat::LoadLibrary(named);
    }

    glSetDebugFlag(system["Debug"].GetAsBool(true) ? 1 : 0);
    return 1;
}

int CSystem::OpenDevice()
{
    m_pImpl->clock.GetCounter()->GetRefreshTask().Submit(m_pImpl->devPatrolSlot);
    const int64_t size = CResAccess(GetSettingInfo())["TaskPool"].GetAsInteger(kDefaultTaskPool);
    IRlzTaskPool *pool = m_pImpl->taskPool.Get();
    pool->InitApartment(static_cast<int32_t>(size / 4),
                        static_cast<int32_t>(std::clamp<int64_t>(size * 2, 0, INT32_MAX)));
    pool->Start();
    pool->SetOption("log", TaskPoolLog);
    return 1;
}

int CSystem::CloseDevice()
{
    CPatrolTask &refresh = m_pImpl->clock.GetCounter()->GetRefreshTask();
    refresh.Abort();
    refresh.Cancel();
    m_pImpl->devPatrol.Stop();
    *m_pImpl->devPatrolSlot = nullptr;
    m_pImpl->patrol.Stop();
    *m_pImpl->patrolSlot = nullptr;
    m_pImpl->taskPool->ShutDown();
    m_pImpl->postOffice.StopService();
    return 1;
}

int CSystem::CreateAutoObject()
{
    std::vector<CClassA *> &objects = m_pImpl->autoObjects;
    if (!objects.empty()) return 0;
    CStrings names;
    CResAccess(GetSettingInfo())["Object"].GetAsStringArray(names);
    names.Pack();
    for (const CString &name : names)
        if (CClassA *object = glCreateComponent(name, "/etc/tvx/" + name, CClassA::GetClassID(), 0))
            objects.push_back(object);
    for (CClassA *object : objects) object->ActiveInstance();
    return static_cast<int>(objects.size());
}

int CSystem::DeleteAutoObject()
{
    CPtrArray objects;
    for (CClassA *object : m_pImpl->autoObjects) objects.Add(object);
    if (!objects.IsEmpty()) glDeleteObjects(objects);
    m_pImpl->autoObjects.clear();
    return 1;
}

int CSystem::DeactiveAllInstance()
{
    CKestCore_ClassA *registry = CClassACore::GetCore();
    if (!registry) return 1;
    const std::vector<CClassA *> live = registry->GetLiveObjects();
    for (auto it = live.rbegin(); it != live.rend(); ++it)
        if (registry->exIsValidAddress(*it)) (*it)->DeactiveInstance(1);
    return 1;
}

IPostOffice **CSystem::GetPostOfficeSlot()
{
    return m_pImpl->postOfficeSlot;
}

CClock **CSystem::GetClockSlot()
{
    return m_pImpl->clockSlot;
}

CTaskMgr **CSystem::GetPatrolTaskMgrSlot()
{
    return m_pImpl->patrolSlot;
}

CTaskMgr **CSystem::GetDevPatrolTaskMgrSlot()
{
    return m_pImpl->devPatrolSlot;
}

IRlzTaskPool *CSystem::GetTaskPool()
{
    return m_pImpl->taskPool.Get();
}
