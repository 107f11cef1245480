#include "drivers/sources/ftpagent/CFtpSiteAgent.h"

#include "drivers/sources/ftp/CFtpClient.h"
#include "drivers/sources/ftp/FtpStoreCommon.h"
#include "platform/Thread.h"

#include <atomic>

namespace {

constexpr int32_t kFailed = -1;
constexpr int32_t kDefaultPort = 21;

// A client of the site, logged on in its directory; false when the URL does not parse or the
// log-on failed.
bool Connect(const CString &site, CFtpClient &client)
{
    tagURL url;
    if (!url.LoadFromString(site) || url.host.IsEmpty()) return false;
    if (url.port < 1) url.port = kDefaultPort;
    static_cast<tagURL &>(client) = url;
    return ftpstore::LogOn(client) != 0;
}

// The file entry of the site's directory; false when it cannot be listed or lacks the file.
bool FindFile(CFtpClient &client, const CString &file, tagFtpEntry &found)
{
    CArray<tagFtpEntry> entries;
    if (!client.ListDir(nullptr, entries)) return false;
    for (const tagFtpEntry &entry : entries) {
        if (entry.type == tagFtpEntry::kFile && entry.name == file) {
            found = entry;
            return true;
        }
    }
    return false;
}

} // namespace

// The state of one copy, shared with its thread so that a task given up may run on.
struct CFtpSiteAgent::Task {
    enum State { kUnprepared, kRunning, kEnd, kError };
    std::atomic<int> state{kUnprepared};
    plat::Thread thread;
};

CFtpSiteAgent::~CFtpSiteAgent()
{
    std::map<int32_t, std::shared_ptr<Task>> tasks;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        tasks.swap(m_tasks);
    }
    for (auto &[id, task] : tasks) task->thread.StopWithin(kTaskStopMs, 0);
}

int32_t CFtpSiteAgent::AgentOpen(const CString &, int32_t, const CString &)
{
    return 0;
}

int32_t CFtpSiteAgent::AgentConnect(const CString &)
{
    return 0;
}

int32_t CFtpSiteAgent::AgentIsReady(int32_t &ready)
{
    ready = 1;
    return 0;
}

int32_t CFtpSiteAgent::ListFiles(const CString &site, const CString &, CString &names)
{
    names.Empty();
    CFtpClient client;
    CArray<tagFtpEntry> entries;
    if (!Connect(site, client) || !client.ListDir(nullptr, entries)) return kFailed;
    for (const tagFtpEntry &entry : entries) {
        if (entry.type != tagFtpEntry::kFile) continue;
        names += entry.name;
        names += ";";
    }
    return 0;
}

int32_t CFtpSiteAgent::EraseFile(const CString &site, const CString &file)
{
    CFtpClient client;
    return Connect(site, client) && client.Dele(file) ? 0 : kFailed;
}

int32_t CFtpSiteAgent::RenameFile(const CString &site, const CString &from, const CString &to)
{
    CFtpClient client;
    return Connect(site, client) && client.Rename(from, to) ? 0 : kFailed;
}

int32_t CFtpSiteAgent::GetFileInfo(const CString &site, const CString &file, double &size,
                                   int64_t &time, int32_t &attributes)
{
    size = 0;
    time = 0;
    attributes = 0;
    CFtpClient client;
    tagFtpEntry entry;
    if (!Connect(site, client) || !FindFile(client, file, entry)) return kFailed;
    size = static_cast<double>(entry.size);
    return 0;
}

int32_t CFtpSiteAgent::AddCopyTask(const CString &from, const CString &to, const CString &file,
                                   int32_t &id)
{
    auto task = std::make_shared<Task>();
    task->thread = plat::Thread::Start([task, from, to, file]() -> uint32_t {
        CFtpClient source, dest;
        if (!Connect(from, source) || !Connect(to, dest)) {
            task->state = Task::kError;
            return 0;
        }
        task->state = Task::kRunning;
        const int done = source.CopyTo(file, dest, kCopyTimeOutMs);
        task->state = done ? Task::kEnd : Task::kError;
        return 0;
    });
    if (!task->thread.Valid()) return kFailed;
    std::lock_guard<std::mutex> lk(m_lock);
    id = ++m_lastTask;
    m_tasks[id] = task;
    return 0;
}

std::shared_ptr<CFtpSiteAgent::Task> CFtpSiteAgent::FindTask(int32_t id)
{
    std::lock_guard<std::mutex> lk(m_lock);
    const auto it = m_tasks.find(id);
    return it == m_tasks.end() ? nullptr : it->second;
}

int32_t CFtpSiteAgent::RemoveTask(int32_t id, int32_t &result)
{
    std::shared_ptr<Task> task;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        const auto it = m_tasks.find(id);
        if (it == m_tasks.end()) return kFailed;
        task = std::move(it->second);
        m_tasks.erase(it);
    }
    result = task->state.load();
    task->thread.StopWithin(kTaskStopMs, 0);
    return 0;
}

int32_t CFtpSiteAgent::GetTaskProperty(int32_t id, const CString &property, CString &value)
{
    static constexpr const char *kStates[] = {"UNPREPARED", "RUNNING", "END", "ERROR"};
    const std::shared_ptr<Task> task = FindTask(id);
    if (!task || property.CompareNoCase("status") != 0) return kFailed;
    value = kStates[task->state.load()];
    return 0;
}

int32_t CFtpSiteAgent::IsAlive(int32_t &alive)
{
    alive = 1;
    return 0;
}

namespace {

[[maybe_unused]] const bool g_registered = [] {
    ftpagent::RegisterFactory(ftpagent::kAgentClassId,
                              [] { return std::make_shared<CFtpSiteAgent>(); });
    return true;
}();

} // namespace
