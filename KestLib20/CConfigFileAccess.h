// A program's settings file as the resource tree serves it: reads go to an in-memory reader
// that is loaded on first use, after every write, and again once the reload interval has
// passed; writes change the file itself, one writer at a time across threads and processes.
#pragma once

#include "KestLib20/CConfigReader.h"
#include "KestLib20/CDataLock.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>

class CConfigFileAccess : public CDataLock {
public:
    static constexpr uint32_t kReloadInterval = 10000; // ms
    // How long a writer waits for another process's writer before giving up.
    static constexpr uint32_t kWriteLockWait = 5000; // ms

    explicit CConfigFileAccess(const char *fileName = nullptr);

    void SetFileName(const char *fileName);
    CString GetFileName();

    // Reloads the reader when it was never loaded, a write has happened since, or more than
    // the reload interval has passed since the last load. A file that cannot be read leaves
    // the previous contents in force.
    void RefreshFile();

    int Read(const char *section, const char *key, CString &value);
    // The section names; their number.
    int GetSectionList(CStringArray &list);
    // The keys of the section matching the file-name pattern; their number.
    int GetKeyList(const char *section, const char *pattern, CStringArray &keys);

    // Each loads the whole file, changes it and saves it; 1 when the file was written, 0
    // when it could not be read, changed or written (the file is then as it was).
    int Write(const char *section, const char *key, const char *value);
    int DeleteSection(const char *section);
    int DeleteItem(const char *section, const char *key);

    bool FileExists();

private:
    template <typename Change> int Modify(Change change);

    CConfigReader m_reader;
    CString m_strFileName;
    uint32_t m_dwLoadTick = 0;
    uint32_t m_dwInterval = kReloadInterval;
    bool m_bLoaded = false; // false until the first load and again after every write
};
