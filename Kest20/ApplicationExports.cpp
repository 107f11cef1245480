// The flat functions of start and stop, and the getters of the application's services.
#include "Kest20/KestApplication.h"

#include "Kest20/CProcessExitThread.h"
#include "Kest20/CSystem.h"
#include "Kest20/InstanceRegistry.h"
#include "Kest20/KestCore.h"
#include "Kest20/KestLog.h"
#include "KestLib20/StringAnalysis.h"
#include "platform/Process.h"

namespace {

constexpr uint32_t kCloseBound = 3000;

struct CKestApplicationExit {
    static void Close() { CloseApplication(0); }
    static void OnHang(uint32_t ms)
    {
        CString text;
        text.Format("CloseApplication has not ended within %u ms: the process ends", ms);
        plat::OutputDebugString(text + "\n");
        glReportLog("LOG_ERROR", text, "");
    }
};

// How many names of the comma-separated list `accept` takes.
template <class Accept> int CountAccepted(const char *list, Accept accept)
{
    CStringArray names;
    StringAnalysis_Array(list, ',', names);
    int count = 0;
    for (const CString &name : names) count += accept(name) ? 1 : 0;
    return count;
}

} // namespace

int StartApplication(const char *classes)
{
    CKestApp *app = CKestApp::Kest();
    return app ? app->_Start(classes) : 0;
}

int CloseApplication(int32_t onThread)
{
    if (onThread) {
        CProcessExitThread<CKestApplicationExit, kCloseBound>::Run();
        return 1;
    }
    if (CKestApp *app = CKestApp::Kest()) app->_Close();
    glCoreShutDown();
    return 1;
}

int glUsingLibrary(const char *libraries)
{
    return CountAccepted(libraries,
                         [](const CString &name) { return plat::LoadLibrary(name) != nullptr; });
}

int glAutoCreateObject(const char *names)
{
    return CountAccepted(names, [](const CString &name) {
        return glCreateComponent(name, nullptr, CClassA::GetClassID(), 1) != nullptr;
    });
}

tagLastError *glGetLastError()
{
    thread_local tagLastError lastError{};
    return &lastError;
}

CTaskMgr **glGetPatrolTaskMgr()
{
    static CTaskMgr **slot = ApplicationSlot(&CSystem::GetPatrolTaskMgrSlot);
    return slot;
}

CTaskMgr **glGetDevPatrolTaskMgr()
{
    static CTaskMgr **slot = ApplicationSlot(&CSystem::GetDevPatrolTaskMgrSlot);
    return slot;
}

IRlzTaskPool *glGetRlzTaskPool()
{
    CKestApp *app = CKestApp::Kest();
    return app ? app->GetTaskPool() : nullptr;
}
