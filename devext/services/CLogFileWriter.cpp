#include "devext/services/CLogFileWriter.h"

#include "Kest20/FrameworkTime.h"
#include "KestLib20/FilePath.h"
#include "devext/services/CStrings.h"
#include "devext/services/ModulePath.h"
#include "devext/services/ProcessInfo.h"
#include "platform/Process.h"
#include "platform/TimeSource.h"

#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>

namespace {

constexpr uint32_t kPurgeHours = 2; // more whole hours than this between purges
constexpr int64_t kUnitsPerDay = 10000000LL * 3600 * 24;
constexpr const char *kLongTimeFormat = "%A, %B %d, %Y  %H:%M:%S";

// Local time of a UTC file time in the header's long form.
CString LongLocalTime(const CFileTime &time)
{
    tm local{};
    time.Get(local);
    char text[128] = {};
    std::strftime(text, sizeof text, kLongTimeFormat, &local);
    return text;
}

CString EnvOr(const char *name, const char *fallback)
{
    std::string value;
    if (plat::GetEnv(name, &value) && !value.empty()) return CString(value);
    if (fallback && plat::GetEnv(fallback, &value)) return CString(value);
    return CString();
}

CString ComputerName()
{
    CString name = EnvOr("COMPUTERNAME", nullptr);
    std::string host;
    if (name.IsEmpty() && plat::GetHostName(&host)) name = CString(host);
    return name;
}

class CWriterLock {
public:
    explicit CWriterLock(CLogFileWriter &writer) : m_writer(writer) { m_writer.Lock(); }
    ~CWriterLock() { m_writer.Unlock(); }
    CWriterLock(const CWriterLock &) = delete;
    CWriterLock &operator=(const CWriterLock &) = delete;

private:
    CLogFileWriter &m_writer;
};

} // namespace

CLogFileWriter::~CLogFileWriter()
{
    Flush(1);
}

void CLogFileWriter::Open(const char *base, const char *type)
{
    CWriterLock guard(*this);
    m_strBase = base;
    m_strType = type;
    // No title (every type) is plain too: only a wildcard or a list writes the type.
    m_bPlainTitle = m_strType.FindOneOf("*;? ") < 0;
    MakeModulePath(m_strBase);
}

CString CLogFileWriter::FileNameAt(int64_t fileTime) const
{
    plat::SYSTEMTIME local{};
    CFileTime(fileTime).Get(local);
    CString name;
    name.Format("%s.%02d_%02d_%02d.%02d.txt", m_strBase.GetString(), local.wYear % 100,
                local.wMonth, local.wDay, local.wHour / 2 * 2);
    return name;
}

void CLogFileWriter::AddLine(const CString &line)
{
    {
        CWriterLock guard(*this);
        if (!m_strBase.IsEmpty()) m_pending.Add(line);
    }
    Flush(0);
}

void CLogFileWriter::AddLines(const CStringArray &lines)
{
    {
        CWriterLock guard(*this);
        if (!m_strBase.IsEmpty()) m_pending.Append(lines);
    }
    Flush(0);
}

uint32_t CLogFileWriter::FlushDueIn()
{
    const uint32_t now = plat::GetTickCount();
    CWriterLock guard(*this);
    if (m_pending.IsEmpty()) return kNothingPending;
    const uint32_t since = now - m_dwLastFlush;
    if (since > kFlushIntervalMs || m_pending.GetSize() > kFlushLines) return 0;
    return kFlushIntervalMs + 1 - since;
}

void CLogFileWriter::Flush(int force)
{
    const uint32_t now = plat::GetTickCount();
    {
        CWriterLock guard(*this);
        const bool due =
            now - m_dwLastFlush > kFlushIntervalMs || m_pending.GetSize() > kFlushLines;
        if (!due && !force) return;
    }
    // Lines taken by one flush are in the file before another takes the next.
    std::lock_guard<std::mutex> flushing(m_flushLock);

    const CFileTime time = GetFrameworkTime();
    devext::CStrings lines;
    CString name;
    bool repeatInfo = false;
    {
        CWriterLock guard(*this);
        name = FileNameAt(time.GetTime());
        if (!m_strBase.IsEmpty()) lines = m_pending;
        m_pending.RemoveAll();
        m_dwLastFlush = now;
        if (!lines.IsEmpty()) {
            repeatInfo = m_dwLines > kInfoEvery;
            if (repeatInfo) m_dwLines = 0;
            m_dwLines += static_cast<uint32_t>(lines.GetSize());
        }
    }

    if (!lines.IsEmpty()) {
        if (!IsExistingFile(name)) {
            WriteHeader(name);
            WriteProcessInfo(name);
        }
        if (repeatInfo) WriteProcessInfo(name);
        lines.AppendToFile(name);
    }
    Purge();
}

void CLogFileWriter::WriteHeader(const char *path)
{
    const CString program(plat::GetProgramFileName());
    CString fileTime;
    if (const int64_t written = processinfo::GetFileWriteTime(program)) {
        plat::SYSTEMTIME local{};
        CFileTime(written).Get(local);
        fileTime.Format("%04d-%02d-%02d %02d:%02d:%02d", local.wYear, local.wMonth, local.wDay,
                        local.wHour, local.wMinute, local.wSecond);
    }
    CString type;
    {
        CWriterLock guard(*this);
        type = m_strType;
    }
    devext::CStrings header;
    header.Add("--------This is Kest Log File-----------");
    header.Add("FileName     : " + program);
    header.Add("FileTime     : " + fileTime);
    header.Add("Computer     : " + ComputerName());
    header.Add("User         : " + EnvOr("USERNAME", "USER"));
    header.Add("Type         : " + type);
    header.Add("Created Time : " + LongLocalTime(GetFrameworkTime()));
    header.Add("----------------------------------------");
    header.Add("");
    header.SaveToFile(path);
}

void CLogFileWriter::WriteProcessInfo(const char *path)
{
    int64_t kernelMs = 0;
    int64_t userMs = 0;
    processinfo::GetCpuTimes(kernelMs, userMs);
    CString info;
    info.Format("......Process:ID(%04X) Kernel/User(%dms/%dms) CreateTime(%s)",
                plat::GetCurrentProcessId(), static_cast<int>(kernelMs), static_cast<int>(userMs),
                LongLocalTime(CFileTime(processinfo::GetCreationTime())).GetString());
    devext::CStrings block;
    block.Add("..");
    block.Add(info);
    block.Add("..");
    block.AppendToFile(path);
}

void CLogFileWriter::Purge()
{
    const uint32_t now = plat::GetTickCount();
    CString base;
    {
        CWriterLock guard(*this);
        if ((now - m_dwLastPurge) / 1000 / 3600 <= kPurgeHours) return;
        m_dwLastPurge = now;
        base = m_strBase;
    }
    if (base.IsEmpty()) return;

    const std::filesystem::path full(MakePosixPath(base).GetString());
    const std::string prefix = full.filename().string();
    const int64_t utcNow = plat::GetSystemTimeAsFileTime();
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(full.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0 || !entry.is_regular_file(error)) continue;
        const int64_t written = processinfo::GetFileWriteTime(entry.path().c_str());
        if (!written) continue;
        const int64_t days = (utcNow - written) / kUnitsPerDay;
        if (days >= kKeepDays || days < 0) std::filesystem::remove(entry.path(), error);
    }
}
