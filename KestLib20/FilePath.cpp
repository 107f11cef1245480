#include "KestLib20/FilePath.h"

#include <sys/stat.h>

CString MakePosixPath(const char *name)
{
    CString path(name);
    path.Replace('\\', '/');
    return path;
}

bool IsExistingFile(const char *name)
{
    struct stat st {};
    return name && stat(MakePosixPath(name), &st) == 0 && !S_ISDIR(st.st_mode);
}

int SerachFile(const CStringArray &directories, CString &name)
{
    if (name.IsEmpty()) return 0;
    if (IsExistingFile(name)) return 1;
    const CString relative = MakePosixPath(name);
    if (relative[0] == '/') return 0;
    for (CString directory : directories) {
        directory = MakePosixPath(directory);
        directory.Trim();
        if (directory.IsEmpty()) continue;
        if (directory[directory.GetLength() - 1] != '/') directory += '/';
        if (IsExistingFile(directory + relative)) {
            name = directory + relative;
            return 1;
        }
    }
    return 0;
}
