#include "devext/services/CLogFileRegistry.h"

#include "Kest20/FrameworkTime.h"
#include "devext/services/PatternList.h"
#include "platform/Thread.h"

#include <mutex>

namespace {

// A writer that shares its registry's lock. The lock is jointly owned, so a writer that a
// dispatch still holds may outlive the registry.
class CRegistryLogFileWriter final : public CLogFileWriter {
public:
    explicit CRegistryLogFileWriter(std::shared_ptr<CDataLock> lock) : m_pLock(std::move(lock)) {}
    ~CRegistryLogFileWriter() override { Flush(1); }

    void Lock() override { m_pLock->Lock(); }
    void Unlock() override { m_pLock->Unlock(); }

private:
    std::shared_ptr<CDataLock> m_pLock;
};

// The thread id and the local time to the millisecond, with `suffix` behind.
CString DefaultInfo(const char *suffix)
{
    plat::SYSTEMTIME local{};
    GetFrameworkTime().Get(local);
    CString info;
    info.Format("P%04u @%02d:%02d:%02d%5d%s", plat::GetCurrentThreadId(), local.wHour,
                local.wMinute, local.wSecond, local.wMilliseconds, suffix);
    return info;
}

} // namespace

CLogFileRegistry::~CLogFileRegistry()
{
    RemoveAll();
}

int32_t CLogFileRegistry::Register(const char *pattern, const char *base)
{
    auto writer = std::make_shared<CRegistryLogFileWriter>(m_pLock);
    writer->Open(base, pattern);
    std::lock_guard guard(*m_pLock);
    const int32_t id = m_nNextId++;
    m_entries.push_back(Entry{id, CString(pattern), std::move(writer)});
    return id;
}

void CLogFileRegistry::Unregister(int32_t id)
{
    std::shared_ptr<CLogFileWriter> writer;
    {
        std::lock_guard guard(*m_pLock);
        for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
            if (entry->id == id) {
                writer = std::move(entry->writer);
                m_entries.erase(entry);
                break;
            }
        }
    }
    // Leaving this scope destroys the writer (a flush) unless a dispatch still holds it.
}

void CLogFileRegistry::RemoveAll()
{
    std::vector<Entry> entries;
    {
        std::lock_guard guard(*m_pLock);
        entries.swap(m_entries);
    }
    for (Entry &entry : entries) entry.writer->Flush(1);
}

CLogFileRegistry::Writers CLogFileRegistry::Match(const char *type)
{
    Writers writers;
    std::lock_guard guard(*m_pLock);
    for (const Entry &entry : m_entries)
        if (MatchPatternList(entry.pattern, type, ';')) writers.push_back(entry.writer);
    return writers;
}

CLogFileRegistry::Writers CLogFileRegistry::AllWriters()
{
    Writers writers;
    std::lock_guard guard(*m_pLock);
    for (const Entry &entry : m_entries) writers.push_back(entry.writer);
    return writers;
}

void CLogFileRegistry::Dispatch(const char *type, const char *text, const char *info)
{
    if (!type || !*type) return;
    const CString stamp = info && *info ? CString(info) : DefaultInfo("");
    for (const auto &writer : Match(type)) {
        CString line;
        if (writer->IsPlainTitle())
            line.Format("%s : %s", stamp.GetString(), text ? text : "");
        else
            line.Format("%s (%8s): %s", stamp.GetString(), type, text ? text : "");
        writer->AddLine(line);
    }
}

void CLogFileRegistry::DispatchLines(const char *type, const CStringArray &lines, const char *info)
{
    if (!type || !*type) return;
    CString suffix;
    suffix.Format(" (%8s)", type);
    const CString stamp = info && *info ? CString(info) : DefaultInfo(suffix);
    CStringArray block;
    block.Add(stamp + " : \\/");
    block.Append(lines);
    block.Add("");
    for (const auto &writer : Match(type)) writer->AddLines(block);
}

void CLogFileRegistry::FlushAll()
{
    for (const auto &writer : AllWriters()) writer->Flush(1);
}
