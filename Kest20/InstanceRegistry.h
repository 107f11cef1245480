// The instance registry's entry points: components created by instance name from the class
// named in their setting, live instances found by name, objects deleted in reverse order, and
// settings found by instance name. Each opens the registry first and gives 0 or null once the
// registry has been shut down.
#pragma once

#include "Kest20/ClassA.h"
#include "Kest20/Kest20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

// The live object named `name` (trimmed; without case) below `base`, or a new one of the class
// that the key "class" of its setting names (a path without a leading "/" is taken below
// "/etc/tvx/"; an empty one is "/etc/tvx/" followed by the name). The class must lie below
// `base`, and `base` below CClassA. With `activate`, the object is activated (and initialised)
// and returned whatever that gives. Creating one name is atomic: concurrent calls get one
// object.
KEST20_API CClassA *glCreateComponent(const char *name, const char *setting, iRtc *base,
                                      int activate);
// The first live instance named `name` (without case) of `base` or a class below it,
// breadth-first; null when none.
KEST20_API CClassA *glGetInstanceByName(iRtc *base, const char *name);
// Deactivates (with kill) the live objects of the list from last to first, then deletes them
// from last to first; entries that are not live framework objects are skipped. Returns 1.
KEST20_API int glDeleteObjects(const CPtrArray &objects);
// Looks for a setting of `name` whose key "class" names a class below `base`: under each root
// of `roots` (filled with the sub-entries of "/etc" when empty), else the setting path of a
// live instance of that name. 1 with the path in `setting`, else 0.
KEST20_API int glFindObjectInResource(CString &setting, const char *name, iRtc *base,
                                      CStringArray &roots);
