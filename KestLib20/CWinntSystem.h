// Directories of the program and the system. Each text lives in the calling thread's scratch
// ring (glGetThreadSafeBuffer): copy what you keep.
//
// The system directory is $KEST_SYSTEM_DIR, else "/etc/kest"; the "Windows" directory is
// "/etc"; the temporary directory is $TMPDIR, else "/tmp", with a trailing "/".
#pragma once

#include "KestLib20/KestLibApi.h"

class KESTLIB_SHARED_TYPE CWinntSystem {
public:
    static const char *GetSystemDirectoryA();
    static const char *GetWindowsDirectoryA();
    static const char *GetCurrentDirectoryA();
    static const char *GetTempPathA();
    // Full file name of the process's executable.
    static const char *GetProgramFileName();
    // Directory of the executable, without a trailing "/".
    static const char *GetProgramPath();
    // Executable's name without directory and without a trailing ".exe"; null when the file
    // name has no directory part.
    static const char *GetProgramName();
};
