#include "KestLib20/CConfigFileAccess.h"

#include "KestLib20/CConfigFile.h"
#include "KestLib20/CStrings.h"
#include "KestLib20/FilePath.h"
#include "platform/TimeSource.h"

#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Exclusive advisory lock on the directory of a settings file, which every writer of this
// system takes around its read-change-save, so writers in other processes take turns with
// ours. The directory is locked, not the file, because a save replaces the file.
class CWriterLock {
public:
    explicit CWriterLock(const CString &fileName)
    {
        std::string dir(MakePosixPath(fileName));
        const size_t slash = dir.rfind('/');
        dir = slash == std::string::npos ? "." : slash == 0 ? "/" : dir.substr(0, slash);
        m_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) return;
        const uint32_t start = plat::GetTickCount();
        while (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (plat::TickElapsed(start) >= CConfigFileAccess::kWriteLockWait) return;
            plat::Sleep(10);
        }
        m_bLocked = true;
    }
    ~CWriterLock()
    {
        if (m_fd >= 0) close(m_fd); // releases the lock
    }
    CWriterLock(const CWriterLock &) = delete;
    CWriterLock &operator=(const CWriterLock &) = delete;

    bool Locked() const { return m_bLocked; }

private:
    int m_fd = -1;
    bool m_bLocked = false;
};

} // namespace

CConfigFileAccess::CConfigFileAccess(const char *fileName) : m_strFileName(fileName) {}

void CConfigFileAccess::SetFileName(const char *fileName)
{
    std::lock_guard<CDataLock> guard(*this);
    m_strFileName = fileName;
    m_bLoaded = false;
}

CString CConfigFileAccess::GetFileName()
{
    std::lock_guard<CDataLock> guard(*this);
    return m_strFileName;
}

void CConfigFileAccess::RefreshFile()
{
    std::lock_guard<CDataLock> guard(*this);
    if (m_bLoaded && plat::TickElapsed(m_dwLoadTick) <= m_dwInterval) return;
    m_reader.LoadFromFile(m_strFileName);
    m_dwLoadTick = plat::GetTickCount();
    m_bLoaded = true;
}

int CConfigFileAccess::Read(const char *section, const char *key, CString &value)
{
    std::lock_guard<CDataLock> guard(*this);
    RefreshFile();
    return m_reader.GetAt(section, key, value);
}

int CConfigFileAccess::GetSectionList(CStringArray &list)
{
    std::lock_guard<CDataLock> guard(*this);
    RefreshFile();
    return m_reader.GetSectionList(list);
}

int CConfigFileAccess::GetKeyList(const char *section, const char *pattern, CStringArray &keys)
{
    std::lock_guard<CDataLock> guard(*this);
    RefreshFile();
    return m_reader.GetKeyValueList(section, pattern, keys, nullptr);
}

template <typename Change> int CConfigFileAccess::Modify(Change change)
{
    std::lock_guard<CDataLock> guard(*this);
    if (m_strFileName.IsEmpty()) return 0;
    CWriterLock writers(m_strFileName);
    if (!writers.Locked()) return 0;
    CStrings lines;
    // A file that exists but cannot be read must not be replaced by the change alone.
    if (!lines.LoadFromFile(m_strFileName) && FileExists()) return 0;
    CConfigFile file;
    file.LoadFromStrings(lines);
    if (!change(file)) return 0;
    const int saved = file.SaveToFile(m_strFileName);
    m_bLoaded = false;
    return saved;
}

int CConfigFileAccess::Write(const char *section, const char *key, const char *value)
{
    return Modify([&](CConfigFile &file) { return file.Write(section, key, value); });
}

int CConfigFileAccess::DeleteSection(const char *section)
{
    return Modify([&](CConfigFile &file) { return file.DeleteSection(section); });
}

int CConfigFileAccess::DeleteItem(const char *section, const char *key)
{
    return Modify([&](CConfigFile &file) { return file.DeleteItem(section, key); });
}

bool CConfigFileAccess::FileExists()
{
    std::lock_guard<CDataLock> guard(*this);
    return IsExistingFile(m_strFileName);
}
