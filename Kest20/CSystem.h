// The framework's system object and the application object. The system object owns the
// process-wide services between StartApplication and CloseApplication: the settings files
// mounted at "/etc/tvx" and by "Config", the environment at "/etc/env", the text-mail and
// packet post offices, the patrol task manager and the device patrol task manager, the clock
// and the task pool; it also creates the components listed under its key "Object". The
// application object adds the objects of the start list. Its setting is "/etc/tvx/System".
#pragma once

#include "Kest20/ClassA.h"
#include "Kest20/Kest20Api.h"

#include <memory>
#include <vector>

class CClock;
class CTaskMgr;
class IPostOffice;
class IRlzTaskPool;

class KEST20_API CSystem : public CKestnut {
    DECLARE_KEST_CLASS(CSystem)

    // Deletes the auto objects left, turns the debug log off and takes the services down in
    // reverse order of construction.
    ~CSystem() override;
    CSystem(const CSystem &) = delete;
    CSystem &operator=(const CSystem &) = delete;

    // Reads "Config" (more settings files), "DLL" (libraries to load) and "Debug"; 1.
    int32_t OnInitInstance() override;
    // Submits the clock's refresh task to the device patrol task manager and starts the task
    // pool sized by "TaskPool"; 1.
    int OpenDevice();
    // Stops what OpenDevice started, both patrol task managers (their slots then hold null)
    // and the packet post office's service; 1.
    int CloseDevice();
    // Creates and activates the components that "Object" lists; their number. 0, creating
    // nothing, while the auto objects of an earlier call are there.
    int CreateAutoObject();
    // Deactivates (with kill) and deletes the auto objects, the last first; 1.
    int DeleteAutoObject();
    // Deactivates, with kill, every framework object still live, the newest first; 1.
    int DeactiveAllInstance();

    // The published slots of the services (each holds null once its service has gone).
    IPostOffice **GetPostOfficeSlot();
    CClock **GetClockSlot();
    CTaskMgr **GetPatrolTaskMgrSlot();
    CTaskMgr **GetDevPatrolTaskMgrSlot();
    IRlzTaskPool *GetTaskPool();

protected:
    // Builds the services, turns the debug log on, mounts the program's settings file at
    // "/etc/tvx" (found or not) and the environment at "/etc/env". Not public: a second
    // system object, made by class name, would take the process's settings and services
    // over, so the class record has no factory.
    CSystem();

private:
    struct _Impl;
    std::unique_ptr<_Impl> m_pImpl;
};

// The process's application object: the system object plus the start list.
class KEST20_API CKestApp : public CSystem {
    DECLARE_KEST_CLASS(CKestApp)

    // The process's application object, built on first use and destroyed when Kest20
    // unloads; null from then on.
    static CKestApp *Kest();

    // Initialises and activates this object, opens the services, creates the classes named
    // in `classes` (comma-separated; each tried as written, then with a leading "C"; unknown
    // names, CKestnut itself and classes already started are skipped), initialises them,
    // activates them in order and creates the auto objects. The number of started objects.
    int _Start(const char *classes);
    // Closes in reverse: auto objects, start list, every live object, services; 1. Objects
    // left in the start list without a close stay as they are when the application goes.
    int _Close();

private:
    CKestApp();

    std::vector<CClassA *> m_started; // the start list, in creation order
};

// The published slot of one of the application's services; null once the application has
// gone. The getters of the services take it once and keep it.
template <class T> T **ApplicationSlot(T **(CSystem::*slot)())
{
    CKestApp *app = CKestApp::Kest();
    return app ? (app->*slot)() : nullptr;
}
