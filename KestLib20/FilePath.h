// File names as the system writes them ("\" as separator, as stored in settings) read as
// Linux paths, and the search for a file along a list of directories.
#pragma once

#include "platform/Collections.h"
#include "platform/String.h"

// The name with every "\" made "/" (a GBK trail byte that happens to be "\" is left alone).
CString MakePosixPath(const char *name);
// Whether the name is an existing file that is not a directory.
bool IsExistingFile(const char *name);

// An existing name gives 1, unchanged. Otherwise, for a relative name, the first directory
// (trimmed, given a trailing "/" when it lacks one; empty ones skipped) in which it exists
// makes name = directory + name and gives 1. Else 0 and the name unchanged.
int SerachFile(const CStringArray &directories, CString &name);
