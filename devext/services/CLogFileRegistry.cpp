#include "devext/services/CLogFileRegistry.h"

#include "Kest20/FrameworkTime.h"
#include "devext/services/PatternList.h"
#include "platform/Thread.h"

#include <algorithm>
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

CLogFileRegistry::CLogFileRegistry() : m_pTable(std::make_shared<Table>()) {}

CLogFileRegistry::~CLogFileRegistry()
{
    m_pTable->stop.Set();
    {
        std::lock_guard<std::mutex> lk(m_threadLock);
        m_thread.StopWithin(kStopBoundMs, 0);
    }
    RemoveAll();
}

int32_t CLogFileRegistry::Register(const char *pattern, const char *base)
{
    // The writers share the table's lock, and with it the table.
    auto writer = std::make_shared<CRegistryLogFileWriter>(
        std::shared_ptr<CDataLock>(m_pTable, &m_pTable->lock));
    writer->Open(base, pattern);
    int32_t id = 0;
    {
        std::lock_guard guard(m_pTable->lock);
        id = m_pTable->nextId++;
        m_pTable->entries.push_back(Entry{id, CString(pattern), std::move(writer)});
    }
    StartFlushing();
    return id;
}

void CLogFileRegistry::StartFlushing()
{
    std::lock_guard<std::mutex> lk(m_threadLock);
    if (m_thread.Valid()) return;
    m_thread = plat::Thread::Start([table = m_pTable] {
        FlushLoop(*table);
        return 0u;
    });
}

void CLogFileRegistry::FlushLoop(Table &table)
{
    for (uint32_t wait = CLogFileWriter::kFlushIntervalMs;;) {
        if (table.stop.Wait(wait) == plat::WAIT_OBJECT_0) return;
        // Lines that came while nothing was due wait at most the interval from the last
        // flush; with none waiting the thread looks again after one interval, which is before
        // a line that comes meanwhile falls due.
        wait = CLogFileWriter::kFlushIntervalMs;
        for (const auto &writer : table.AllWriters()) {
            uint32_t due = writer->FlushDueIn();
            if (due == 0) {
                writer->Flush(0);
                due = writer->FlushDueIn();
            }
            wait = std::min(wait, due);
        }
    }
}

void CLogFileRegistry::Unregister(int32_t id)
{
    std::shared_ptr<CLogFileWriter> writer;
    {
        std::lock_guard guard(m_pTable->lock);
        auto &entries = m_pTable->entries;
        for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
            if (entry->id == id) {
                writer = std::move(entry->writer);
                entries.erase(entry);
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
        std::lock_guard guard(m_pTable->lock);
        entries.swap(m_pTable->entries);
    }
    for (Entry &entry : entries) entry.writer->Flush(1);
}

CLogFileRegistry::Writers CLogFileRegistry::Match(const char *type)
{
    Writers writers;
    std::lock_guard guard(m_pTable->lock);
    for (const Entry &entry : m_pTable->entries)
        if (MatchPatternList(entry.pattern, type, ';')) writers.push_back(entry.writer);
    return writers;
}

CLogFileRegistry::Writers CLogFileRegistry::Table::AllWriters()
{
    Writers writers;
    std::lock_guard guard(lock);
    for (const Entry &entry : entries) writers.push_back(entry.writer);
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
    for (const auto &writer : m_pTable->AllWriters()) writer->Flush(1);
}
