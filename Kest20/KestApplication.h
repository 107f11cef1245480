// Starting and closing the framework, and the flat functions through which the other modules
// reach the application's services.
#pragma once

#include "Kest20/Kest20Api.h"

#include <cstdint>

class CTaskMgr;
class IRlzTaskPool;

// Starts the framework (CKestApp::_Start): the number of objects created from `classes`, a
// comma-separated list of class names.
KEST20_API int StartApplication(const char *classes);
// 0 closes on the calling thread (CKestApp::_Close, then glCoreShutDown). Anything else runs
// that close on a thread of its own and waits for it 3000 ms; when it has not ended by then,
// the hang is logged and the process ends at once with exit code 0. Returns 1.
KEST20_API int CloseApplication(int32_t onThread);

// Loads each library of the comma-separated list; how many loaded.
KEST20_API int glUsingLibrary(const char *libraries);
// Creates (or finds) and activates each component of the comma-separated list of instance
// names; how many were created or found.
KEST20_API int glAutoCreateObject(const char *names);

// The calling thread's last error: a code, then a text.
struct tagLastError {
    int32_t code;
    char text[64];
};
KEST20_API tagLastError *glGetLastError();

// The slots of the two patrol task managers (holding null once the application has closed;
// null when there is no application any more). Tasks are submitted with these slots.
KEST20_API CTaskMgr **glGetPatrolTaskMgr();
KEST20_API CTaskMgr **glGetDevPatrolTaskMgr();
// The application's task pool; null once the application has gone.
KEST20_API IRlzTaskPool *glGetRlzTaskPool();
