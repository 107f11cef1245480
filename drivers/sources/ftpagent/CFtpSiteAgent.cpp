#include "drivers/sources/ftpagent/CFtpSiteAgent.h"

#include "drivers/sources/ftp/CFtpClient.h"
#include "drivers/sources/ftpagent/CVideoStore_FtpAgent.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <atomic>

namespace {

constexpr int32_t kFailed = -1;
constexpr int32_t kDefaultPort = 21;
// A copy waits for its end as long as the store polls it; the store removes the job (which
// stops the copy) when it gives up.
constexpr uint32_t kCopyTimeOutMs = CVideoStore_FtpAgent::kMaxPolls * CVideoStore_FtpAgent::kPollMs;

// A client of the site, logged on in its directory; false when the URL does not parse or the
// log-on failed.
bool Connect(const CString &site, CFtpClient &client)
{
    tagURL url;
    if (!url.LoadFromString(site) || url.host.IsEmpty()) return false;
    if (url.port < 1) url.port = kDefaultPort;
    static_cast<tagURL &>(client) = url;
    if (!client.Login()) return false;
    if (!url.path.IsEmpty()) client.Cwd(url.path);
    return true;
}

} // namespace

// The state of one copy, shared with its thread so that a task given up may run on.
struct CFtpSiteAgent::Task {
    enum State { kUnprepared, kRunning, kEnd, kError };
    std::atomic<int> state{kUnprepared};
    plat::Event cancel{true, false}; // set when the job is removed: the copy stops
    plat::Thread thread;
};

CFtpSiteAgent::~CFtpSiteAgent()
{
    std::map<int32_t, std::shared_ptr<Task>> tasks;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        tasks.swap(m_tasks);
    }
    for (auto &[id, task] : tasks) task->cancel.Set();
    for (auto &[id, task] : tasks) task->thread.StopWithin(kTaskStopMs, 0);
}

bool CFtpSiteAgent::ListSite(const CString &site, std::vector<tagFtpEntry> &files)
{
    files.clear();
    CFtpClient client;
    CArray<tagFtpEntry> entries;
    if (!Connect(site, client) || !client.ListDir(nullptr, entries)) return false;
    for (const tagFtpEntry &entry : entries)
        if (entry.type == tagFtpEntry::kFile) files.push_back(entry);
    std::lock_guard<std::mutex> lk(m_lock);
    m_listings[site] = {plat::GetTickCount(), files};
    return true;
}

void CFtpSiteAgent::Forget(const CString &site)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_listings.erase(site);
}

bool CFtpSiteAgent::FindListed(const CString &site, const CString &file, tagFtpEntry &found)
{
    std::lock_guard<std::mutex> lk(m_lock);
    const auto listing = m_listings.find(site);
    if (listing == m_listings.end() || plat::TickElapsed(listing->second.taken) >= kListingAgeMs)
        return false;
    for (const tagFtpEntry &entry : listing->second.files) {
        if (entry.name == file) {
            found = entry;
            return true;
        }
    }
    return false;
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
    std::vector<tagFtpEntry> files;
    if (!ListSite(site, files)) return kFailed;
    for (const tagFtpEntry &entry : files) {
        names += entry.name;
        names += ";";
    }
    return 0;
}

int32_t CFtpSiteAgent::EraseFile(const CString &site, const CString &file)
{
    Forget(site);
    CFtpClient client;
    return Connect(site, client) && client.Dele(file) ? 0 : kFailed;
}

int32_t CFtpSiteAgent::RenameFile(const CString &site, const CString &from, const CString &to)
{
    Forget(site);
    CFtpClient client;
    return Connect(site, client) && client.Rename(from, to) ? 0 : kFailed;
}

int32_t CFtpSiteAgent::GetFileInfo(const CString &site, const CString &file, double &size,
                                   int64_t &time, int32_t &attributes)
{
    size = 0;
    time = 0;
    attributes = 0;
    // A store asks for every clip of a listing it has just had: the listing answers, and
    // only a file it lacks (or an old listing) costs a new one.
    tagFtpEntry entry;
    if (!FindListed(site, file, entry)) {
        std::vector<tagFtpEntry> files;
        if (!ListSite(site, files) || !FindListed(site, file, entry)) return kFailed;
    }
    size = static_cast<double>(entry.size);
    return 0;
}

int32_t CFtpSiteAgent::AddCopyTask(const CString &from, const CString &to, const CString &file,
                                   int32_t &id)
{
    Forget(to);
    auto task = std::make_shared<Task>();
    task->thread = plat::Thread::Start([task, from, to, file]() -> uint32_t {
        CFtpClient source, dest;
        if (!Connect(from, source) || !Connect(to, dest)) {
            task->state = Task::kError;
            return 0;
        }
        task->state = Task::kRunning;
        const int done = source.CopyTo(file, dest, kCopyTimeOutMs, &task->cancel);
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
    task->cancel.Set();
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
