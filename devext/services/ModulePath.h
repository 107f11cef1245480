// Paths of administration files: a relative name lies below the program's directory, and the
// directories above a file are made on demand. Names may use "\" or "/" as separator.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/String.h"

// Trims blanks at both ends; a non-empty path that is not absolute ("\" or "/" first, or a
// drive letter and ":") gets the program's directory and a "/" in front.
DEVEXT20_API void MakeModulePath(CString &path);
// 1 when every directory above the file `path` names exists or has been made; 0 for an empty
// path, a part of the path that is a plain file, or a directory that cannot be made.
// `fullPath`, when given, receives the resolved path.
DEVEXT20_API int MakeDirectories(const char *path, CString *fullPath = nullptr);
