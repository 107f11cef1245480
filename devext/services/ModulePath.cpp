#include "devext/services/ModulePath.h"

#include "KestLib20/FilePath.h"
#include "platform/Collections.h"
#include "platform/Process.h"

#include <cerrno>
#include <sys/stat.h>

namespace {

// Shorter remainders are a root ("/", "C:") and never made.
constexpr int kShortestDirectory = 3;

bool IsAbsolute(const CString &path)
{
    return path[0] == '\\' || path[0] == '/' || (path.GetLength() > 1 && path[1] == ':');
}

} // namespace

void MakeModulePath(CString &path)
{
    path.Trim();
    if (path.IsEmpty() || IsAbsolute(path)) return;
    path = CString(plat::GetProgramDirectory()) + "/" + path;
}

int MakeDirectories(const char *path, CString *fullPath)
{
    CString resolved(path);
    MakeModulePath(resolved);
    if (resolved.IsEmpty()) return 0;
    if (fullPath) *fullPath = resolved;

    CStringArray missing;
    CString rest = MakePosixPath(resolved);
    for (int cut = rest.ReverseFind('/'); cut >= 0; cut = rest.ReverseFind('/')) {
        rest = rest.Left(cut);
        if (rest.GetLength() < kShortestDirectory) break;
        struct stat st {};
        if (stat(rest, &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return 0;
            break;
        }
        missing.Add(rest);
    }
    for (int i = missing.GetUpperBound(); i >= 0; --i)
        if (mkdir(missing[i], 0777) != 0 && errno != EEXIST) return 0;
    return 1;
}
