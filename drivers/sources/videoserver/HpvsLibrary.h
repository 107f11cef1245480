// The video-server library as every Pinnacle connection of the process shares it: loaded by
// name on first need with all its entry points, started once with HPVSCONTACT set to the
// contact name, and shut down by the last connection to go. The process-wide state is kept
// under one lock.
#pragma once

#include "platform/String.h"
#include "platform/hpvs/Hpvs.h"

#include <cstdint>

namespace hpvs {

inline constexpr const char *kLibraryName = "hpvslapi.dll";
inline constexpr const char *kDefaultContact = "hpvsserver";

// The entry points; a null one is missing (as all are when the library is not found).
struct Entries {
    decltype(&hpvsInit) init = nullptr;
    decltype(&hpvsShutdown) shutdown = nullptr;
    decltype(&hpvsCreateConn) createConn = nullptr;
    decltype(&hpvsDestroyConn) destroyConn = nullptr;
    decltype(&hpvsListNodes) listNodes = nullptr;
    decltype(&hpvsNextNodes) nextNodes = nullptr;
    decltype(&hpvsListMedia) listMedia = nullptr;
    decltype(&hpvsNextMedia) nextMedia = nullptr;
    decltype(&hpvsDeleteMedia) deleteMedia = nullptr;
    decltype(&hpvsRenameFile) renameFile = nullptr;
    decltype(&hpvsQueryMedia) queryMedia = nullptr;
    decltype(&hpvsCopyMedia) copyMedia = nullptr;
    decltype(&hpvsCmdStatus) cmdStatus = nullptr;
    decltype(&hpvsTerminateCmd) terminateCmd = nullptr;
};

// The library's entry points, loading it on the first call.
const Entries &Library();

// The contact name exported as HPVSCONTACT at the start.
CString Contact();
void SetContact(const CString &contact);

// A connection comes: the contact name goes back to the default. A connection goes: the last
// one shuts a started library down, logging the result.
void ConnectionCreated();
void ConnectionDestroyed();

// Starts the library unless it is started: HPVSCONTACT, then hpvsInit. A missing library or
// entry point counts as started (never tried again); a failed init is tried again next time.
void Start();

} // namespace hpvs
