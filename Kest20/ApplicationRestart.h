// A program that restarts itself: the running process starts its program again with the
// switch "/ApplicationRestart:<its process id>", and the new process ends the old one.
#pragma once

#include "Kest20/Kest20Api.h"

#include <cstdint>

// 1 when an argument of the command line (after the program's own path) holds
// "/ApplicationRestart". `parentId`, when given, receives the number after a ":" that follows
// the switch, else 0.
KEST20_API int GetApplicationRestartFlag(int32_t *parentId);
KEST20_API int IsApplicationRestart();
// Ends the process named by the restart switch, 3000 ms from now, as long as it is this
// process's parent: 1 when it was ended. Failures go to the debug output only.
KEST20_API int KillParentApplication();
// Starts this program again, from its own directory, with the restart switch and this
// process's id: 1 when the new process started.
KEST20_API int RestartThisApplication();
