#include "KestLib20/CRlzTaskPoolWin32.h"

#include "KestLib20/ActiveSlot.h"
#include "KestLib20/CDataLock.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <list>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

namespace {

constexpr size_t kLogBuckets = 17;
constexpr uint32_t kRunLogKeep = 30000;
constexpr uint32_t kIssueCycle = 250;
constexpr uint32_t kApartmentWait = 3000;
constexpr uint32_t kTemporaryIdle = 5000;
constexpr uint32_t kShutDownBound = 2000;
constexpr uint32_t kSlowTask = 2000;
constexpr size_t kMaxFactories = 512;
constexpr int kTasksPerFactory = 128;
constexpr int32_t kStateWords = 4;
constexpr size_t kNameLimit = 31;

std::string Format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *fmt, ...)
{
    char text[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

std::string NameOf(const char *name)
{
    return name ? name : "Null";
}

// Task record.
struct tagTask {
    IRlzTaskFactory *factory = nullptr;
    IRlzTask *task = nullptr;
    int32_t type = IRlzTaskFactory::kNormal;
    uint32_t addedTick = 0;
    int32_t expected = 0;
    std::array<int32_t, kStateWords> state{};
    std::string label;     // "factory.task" for the trace
    std::string name;      // the task's name in the run log
    plat::Event msgEvent;  // auto-reset: a message for this task has come
    bool checking = false; // the issue thread runs its ready test without the lock
    bool orphan = false;   // closed while in use: whoever uses it releases it
};
using TaskList = std::list<std::unique_ptr<tagTask>>;

struct Apartment {
    plat::Thread thread; // kept after the thread has ended, until a new one replaces it
    bool hasThread = false;
    bool busy = false;
    bool temporary = false;
    int32_t number = 0;
};

struct RunLogRecord {
    std::string name;
    IRlzTaskFactory *factory;
    uint32_t lastTick;
    int32_t average;
    int32_t runs;
};

struct Message {
    IRlzTask *task;
    int32_t code;
    void *data;
};

// What a locked section leaves to be done after the lock is released: trace lines, tasks to
// tell they were dropped, tasks to release.
struct Outbox {
    std::vector<std::string> lines;
    std::vector<IRlzTask *> dropped;
    std::vector<IRlzTask *> released;
};

TaskList::iterator FindIn(TaskList &list, const tagTask *rec)
{
    return std::find_if(list.begin(), list.end(), [rec](const auto &r) { return r.get() == rec; });
}

// Gives up a thread that has ended or is about to: a zero bound, so never a wait under a lock.
void Forget(plat::Thread &thread)
{
    thread.StopWithin(0, 0);
    thread.Close();
}

} // namespace

struct CRlzTaskPoolWin32::Core : std::enable_shared_from_this<Core> {
    CDataLock lock;
    std::vector<IRlzTaskFactory *> factories;
    std::vector<std::shared_ptr<Apartment>> apartments;
    int32_t half = 0;
    TaskList running, ready, waiting;
    std::array<std::vector<RunLogRecord>, kLogBuckets> runLog;
    plat::Event wake;                // auto-reset: wakes one idle apartment
    plat::Event issueWake;           // auto-reset: wakes the issue thread
    plat::Event closed{true, false}; // set at shut-down
    plat::Thread issue;
    bool run = true;
    RlzTaskPoolLog log;
    std::deque<Message> msgs;
    IRlzTaskFactory *calling = nullptr; // the factory the issue thread is asking
    plat::Event callDone{true, true};

    int32_t AddTask(IRlzTaskFactory *factory, IRlzTask *task, int32_t type);
    void Flush(Outbox &out);

    int32_t BusyLocked() const;
    tagTask *FindLocked(IRlzTask *task);
    RunLogRecord *FindLogLocked(IRlzTaskFactory *factory, const std::string &name);
    bool SmartCreateThreadLocked(int32_t type, Outbox &out);
    // The type of ready task that most justifies a new apartment: urgent when one is ready.
    int32_t NeediestReadyTypeLocked() const;
    tagTask *GetTaskLocked(Outbox &out);
    void DropMessagesLocked(IRlzTask *task);
    void RestartLocked(TaskList::iterator it, uint32_t now, Outbox &out);
    void CloseLocked(TaskList::iterator it, uint32_t runMs, Outbox &out);
    void CloseListLocked(TaskList &list, Outbox &out, IRlzTaskFactory *only, bool all);

    static void ApartmentThrd(const std::shared_ptr<Core> &core,
                              const std::shared_ptr<Apartment> &ap);
    static void IssueThrd(const std::shared_ptr<Core> &core);
    void ExecuteTask(Apartment &ap, tagTask *rec);
    void CreateTask(uint32_t cycle);
    void CheckWaiting();
    void PurgeRunLog();
};

void CRlzTaskPoolWin32::Core::Flush(Outbox &out)
{
    RlzTaskPoolLog fn;
    if (!out.lines.empty()) {
        std::lock_guard<CDataLock> lk(lock);
        fn = log;
    }
    if (fn)
        for (const std::string &line : out.lines) fn(line.c_str());
    for (IRlzTask *task : out.dropped) {
        task->OnStateChange(IRlzTask::kDropped, 0);
        task->Release();
    }
    for (IRlzTask *task : out.released) task->Release();
    out = Outbox();
}

int32_t CRlzTaskPoolWin32::Core::BusyLocked() const
{
    return static_cast<int32_t>(std::count_if(apartments.begin(), apartments.end(),
                                              [](const auto &ap) { return ap->busy; }));
}

tagTask *CRlzTaskPoolWin32::Core::FindLocked(IRlzTask *task)
{
    for (TaskList *list : {&running, &ready, &waiting})
        for (auto &rec : *list)
            if (rec->task == task && !rec->orphan) return rec.get();
    return nullptr;
}

RunLogRecord *CRlzTaskPoolWin32::Core::FindLogLocked(IRlzTaskFactory *factory,
                                                     const std::string &name)
{
    for (auto &record : runLog[Hash(name.c_str()) % kLogBuckets])
        if (record.factory == factory && record.name == name) return &record;
    return nullptr;
}

int32_t CRlzTaskPoolWin32::Core::AddTask(IRlzTaskFactory *factory, IRlzTask *task, int32_t type)
{
    // Names and the ready test are the caller's objects: asked before the lock is taken.
    auto rec = std::make_unique<tagTask>();
    rec->factory = factory;
    rec->task = task;
    rec->type = type;
    std::string taskName = NameOf(task ? task->GetName() : nullptr);
    rec->label = NameOf(factory ? factory->GetName() : nullptr) + "." + taskName;
    rec->name = taskName.substr(0, kNameLimit);
    const bool isReady = !task || task->IsReady();

    Outbox out;
    int32_t result = 1;
    {
        std::lock_guard<CDataLock> lk(lock);
        if (!run) {
            if (task) out.dropped.push_back(task);
            result = 0;
        } else if (type == IRlzTaskFactory::kMayDrop && BusyLocked() > half) {
            out.lines.push_back(
                Format("warning@AddTask; task(%s) be abolished", rec->label.c_str()));
            if (task) out.dropped.push_back(task);
        } else {
            rec->addedTick = plat::GetTickCount();
            const RunLogRecord *logged = FindLogLocked(factory, rec->name);
            rec->expected = logged ? logged->average + 1 : 0;
            if (!isReady)
                waiting.push_back(std::move(rec));
            else if (type == IRlzTaskFactory::kUrgent)
                ready.push_front(std::move(rec));
            else
                ready.push_back(std::move(rec));
            if (isReady && !SmartCreateThreadLocked(type, out)) wake.Set();
        }
    }
    Flush(out);
    return result;
}

bool CRlzTaskPoolWin32::Core::SmartCreateThreadLocked(int32_t type, Outbox &out)
{
    const bool crowded = BusyLocked() >= half;
    if (!run || (crowded && type != IRlzTaskFactory::kUrgent)) return false;
    int32_t threads = 0;
    std::shared_ptr<Apartment> free;
    for (const auto &ap : apartments) {
        if (ap->hasThread) {
            // An idle apartment takes the task once woken; an apartment that takes one while
            // more are ready starts the next (ApartmentThrd).
            if (!ap->busy) return false;
            ++threads;
        } else if (!free) {
            free = ap;
        }
    }
    if (!free) return false;
    Forget(free->thread);
    auto self = shared_from_this();
    free->thread = plat::Thread::Start([self, free] {
        ApartmentThrd(self, free);
        return 0u;
    });
    if (!free->thread.Valid()) return false;
    free->hasThread = true;
    out.lines.push_back(
        Format("trace@SmartCreateThread; Start a new apartment(total=%d)", threads + 1));
    return true;
}

int32_t CRlzTaskPoolWin32::Core::NeediestReadyTypeLocked() const
{
    const bool urgent = std::any_of(ready.begin(), ready.end(), [](const auto &rec) {
        return rec->type == IRlzTaskFactory::kUrgent;
    });
    return urgent ? IRlzTaskFactory::kUrgent : ready.front()->type;
}

tagTask *CRlzTaskPoolWin32::Core::GetTaskLocked(Outbox &out)
{
    const int32_t busy = BusyLocked();
    if (busy >= static_cast<int32_t>(apartments.size())) {
        out.lines.push_back(Format("warning@GetTask; active threads up to %d", busy));
        return nullptr;
    }
    const bool crowded = busy >= half;
    if (crowded) {
        for (auto it = ready.begin(); it != ready.end();) {
            tagTask &rec = **it;
            if (rec.type != IRlzTaskFactory::kMayDrop) {
                ++it;
                continue;
            }
            out.lines.push_back(Format("warning@GetTask; %s be abolished", rec.label.c_str()));
            if (rec.task) out.dropped.push_back(rec.task);
            DropMessagesLocked(rec.task);
            it = ready.erase(it);
        }
    }
    auto first = [this](int32_t type) {
        return std::find_if(ready.begin(), ready.end(),
                            [type](const auto &rec) { return rec->type == type; });
    };
    auto it = first(IRlzTaskFactory::kUrgent);
    if (it == ready.end()) it = first(IRlzTaskFactory::kUrgentAfter);
    if (it == ready.end() && !crowded) it = first(IRlzTaskFactory::kNormal);
    if (it == ready.end() && !crowded) it = first(IRlzTaskFactory::kMayDrop);
    if (it == ready.end()) {
        if (crowded && !ready.empty())
            out.lines.push_back(Format("warning@GetTask; task(%s) jammed(thrd=%d)",
                                       ready.front()->label.c_str(), busy));
        return nullptr;
    }
    tagTask *rec = it->get();
    running.splice(running.end(), ready, it);
    return rec;
}

void CRlzTaskPoolWin32::Core::DropMessagesLocked(IRlzTask *task)
{
    msgs.erase(std::remove_if(msgs.begin(), msgs.end(),
                              [task](const Message &m) { return m.task == task; }),
               msgs.end());
}

void CRlzTaskPoolWin32::Core::CloseListLocked(TaskList &list, Outbox &out, IRlzTaskFactory *only,
                                              bool all)
{
    for (auto it = list.begin(); it != list.end();) {
        tagTask &rec = **it;
        if (!all && rec.factory != only) {
            ++it;
            continue;
        }
        DropMessagesLocked(rec.task);
        if (rec.checking) {
            // The issue thread is testing it: it releases it when it comes back.
            rec.orphan = true;
            rec.factory = nullptr;
            ++it;
            continue;
        }
        if (rec.task) out.released.push_back(rec.task);
        it = list.erase(it);
    }
}

void CRlzTaskPoolWin32::Core::ApartmentThrd(const std::shared_ptr<Core> &core,
                                            const std::shared_ptr<Apartment> &ap)
{
    Outbox out;
    out.lines.push_back(Format("trace@ApartmentThrd; Apartment(%d) started", ap->number));
    core->Flush(out);
    const uint32_t born = plat::GetTickCount();
    uint32_t idleSince = born;
    for (;;) {
        tagTask *rec = nullptr;
        bool end = false;
        bool wakeNext = false;
        {
            std::lock_guard<CDataLock> lk(core->lock);
            if (core->run) rec = core->GetTaskLocked(out);
            if (rec) {
                ap->busy = true;
                // Tasks still ready would wait for this one to end if no apartment took them:
                // an idle one is woken, else a new one starts when their type allows it.
                if (!core->ready.empty())
                    wakeNext = !core->SmartCreateThreadLocked(core->NeediestReadyTypeLocked(), out);
            } else if (!core->run ||
                       (ap->temporary && plat::TickElapsed(idleSince) > kTemporaryIdle)) {
                // Decided under the lock: a task added from now on starts a new thread.
                end = true;
                ap->hasThread = false;
            }
        }
        if (wakeNext) core->wake.Set();
        core->Flush(out);
        if (end) break;
        if (rec) {
            core->ExecuteTask(*ap, rec);
            idleSince = plat::GetTickCount();
            continue;
        }
        uint32_t wait = kApartmentWait;
        if (ap->temporary)
            wait = std::min(wait, kTemporaryIdle + 1 -
                                      std::min(plat::TickElapsed(idleSince), kTemporaryIdle));
        plat::WaitForAny({&core->wake, &core->closed}, wait);
    }
    out.lines.push_back(Format("trace@ApartmentThrd; Apartment(%d) closed sucessfully(used=%d)",
                               ap->number, static_cast<int32_t>(plat::TickElapsed(born))));
    core->Flush(out);
}

void CRlzTaskPoolWin32::Core::ExecuteTask(Apartment &ap, tagTask *rec)
{
    Outbox out;
    const uint32_t start = plat::GetTickCount();
    int32_t again = 0;
    if (!rec->task) {
        out.lines.push_back("fatal@ExecuteTask; task object invalidate");
    } else {
        try {
            again = rec->task->Run();
        } catch (...) {
            out.lines.push_back(
                Format("fatal@ApartmentThrd; task(%s) throw a exception", rec->label.c_str()));
            again = 0;
        }
    }
    const uint32_t now = plat::GetTickCount();
    {
        std::lock_guard<CDataLock> lk(lock);
        ap.busy = false;
        const uint32_t sinceAdded = now - rec->addedTick;
        if (sinceAdded > kSlowTask)
            out.lines.push_back(Format("trace@ApartmentThrd; task(%s) stopped,Time=%d,expect=%d",
                                       rec->label.c_str(), static_cast<int32_t>(sinceAdded),
                                       rec->expected));
        DropMessagesLocked(rec->task);
        auto it = FindIn(running, rec);
        if (again && !rec->orphan && run)
            RestartLocked(it, now, out);
        else
            CloseLocked(it, now - start, out);
    }
    Flush(out);
}

void CRlzTaskPoolWin32::Core::RestartLocked(TaskList::iterator it, uint32_t now, Outbox &out)
{
    if (it == running.end()) {
        out.lines.push_back("error@RestartTask; task not found");
        return;
    }
    (*it)->addedTick = now;
    ready.splice(ready.end(), running, it);
    wake.Set();
}

void CRlzTaskPoolWin32::Core::CloseLocked(TaskList::iterator it, uint32_t runMs, Outbox &out)
{
    if (it == running.end()) {
        out.lines.push_back("error@CloseTask; task not found");
        return;
    }
    tagTask &rec = **it;
    if (rec.task && !rec.orphan) {
        if (RunLogRecord *logged = FindLogLocked(rec.factory, rec.name)) {
            logged->average = static_cast<int32_t>(
                (static_cast<int64_t>(logged->average) * logged->runs + runMs) /
                (logged->runs + 1));
            ++logged->runs;
            logged->lastTick = plat::GetTickCount();
        } else {
            runLog[Hash(rec.name.c_str()) % kLogBuckets].push_back(
                {rec.name, rec.factory, plat::GetTickCount(), static_cast<int32_t>(runMs), 1});
        }
    }
    if (rec.task) out.released.push_back(rec.task);
    running.erase(it);
}

void CRlzTaskPoolWin32::Core::IssueThrd(const std::shared_ptr<Core> &core)
{
    Outbox out;
    out.lines.push_back("trace@IssueThrd; Issue Thread Started");
    core->Flush(out);
    for (uint32_t cycle = 1;; ++cycle) {
        {
            std::lock_guard<CDataLock> lk(core->lock);
            if (!core->run) break;
        }
        core->CreateTask(cycle);
        if (cycle % 40 == 0) core->PurgeRunLog();
        if (cycle % 4 == 0) core->CheckWaiting();
        plat::WaitForAny({&core->issueWake, &core->closed}, kIssueCycle);
    }
    out.lines.push_back("trace@IssueThrd; Issue Thread Closed successfully");
    core->Flush(out);
}

void CRlzTaskPoolWin32::Core::CreateTask(uint32_t cycle)
{
    Outbox out;
    std::vector<IRlzTaskFactory *> asked;
    {
        std::lock_guard<CDataLock> lk(lock);
        if (BusyLocked() >= static_cast<int32_t>(apartments.size())) {
            out.lines.push_back("warning@IssueThrd; All apartments are running");
        } else {
            if (factories.size() >= kMaxFactories)
                out.lines.push_back("warning@IssueThrd; Factories up to 512");
            const size_t count = std::min(factories.size(), kMaxFactories);
            for (size_t i = cycle % 4; i < count; i += 4) asked.push_back(factories[i]);
        }
    }
    Flush(out);
    for (IRlzTaskFactory *factory : asked) {
        {
            // Unregister waits for this call, so the factory stays valid until it ends.
            std::lock_guard<CDataLock> lk(lock);
            if (!run || std::find(factories.begin(), factories.end(), factory) == factories.end())
                continue;
            calling = factory;
            callDone.Reset();
        }
        for (int n = 0; n < kTasksPerFactory; ++n) {
            IRlzTask *task = nullptr;
            int32_t type = IRlzTaskFactory::kNormal;
            if (!factory->CreateTask(&task, &type)) break;
            AddTask(factory, task, type);
        }
        std::lock_guard<CDataLock> lk(lock);
        calling = nullptr;
        callDone.Set();
    }
}

void CRlzTaskPoolWin32::Core::CheckWaiting()
{
    std::vector<tagTask *> checked;
    {
        std::lock_guard<CDataLock> lk(lock);
        for (auto &rec : waiting) {
            rec->checking = true;
            checked.push_back(rec.get());
        }
    }
    std::vector<bool> nowReady;
    for (tagTask *rec : checked) nowReady.push_back(!rec->task || rec->task->IsReady());

    Outbox out;
    {
        std::lock_guard<CDataLock> lk(lock);
        bool moved = false, started = false;
        for (size_t i = 0; i < checked.size(); ++i) {
            tagTask *rec = checked[i];
            rec->checking = false;
            auto it = FindIn(waiting, rec);
            if (it == waiting.end()) continue;
            if (rec->orphan) {
                if (rec->task) out.released.push_back(rec->task);
                waiting.erase(it);
            } else if (nowReady[i]) {
                ready.splice(ready.end(), waiting, it);
                moved = true;
                if (SmartCreateThreadLocked(rec->type, out)) started = true;
            }
        }
        if (moved && !started) wake.Set();
    }
    Flush(out);
}

void CRlzTaskPoolWin32::Core::PurgeRunLog()
{
    std::lock_guard<CDataLock> lk(lock);
    for (auto &bucket : runLog)
        bucket.erase(std::remove_if(bucket.begin(), bucket.end(),
                                    [](const RunLogRecord &r) {
                                        return plat::TickElapsed(r.lastTick) > kRunLogKeep;
                                    }),
                     bucket.end());
}

CRlzTaskPoolWin32::CRlzTaskPoolWin32() : m_pCore(std::make_shared<Core>()) {}

CRlzTaskPoolWin32::~CRlzTaskPoolWin32()
{
    ShutDown();
    WithdrawSlot<IRlzTaskPool>(m_ppSlot, this);
}

int32_t CRlzTaskPoolWin32::Suicide()
{
    delete this;
    return 1;
}

IRlzTaskPool **CRlzTaskPoolWin32::GetActivePtr()
{
    std::lock_guard<CDataLock> lk(m_pCore->lock);
    return PublishSlot<IRlzTaskPool>(m_ppSlot, this);
}

int32_t CRlzTaskPoolWin32::GetOption(const char *, void *, int32_t)
{
    return 1;
}

int32_t CRlzTaskPoolWin32::SetOption(const char *name, RlzTaskPoolLog value)
{
    if (name && strcasecmp(name, "log") == 0) {
        std::lock_guard<CDataLock> lk(m_pCore->lock);
        m_pCore->log = std::move(value);
    }
    return 1;
}

int32_t CRlzTaskPoolWin32::Register(IRlzTaskFactory *factory)
{
    if (!factory) return 0;
    {
        std::lock_guard<CDataLock> lk(m_pCore->lock);
        auto &list = m_pCore->factories;
        if (std::find(list.begin(), list.end(), factory) == list.end()) list.push_back(factory);
    }
    NotifyEvent();
    return 1;
}

int32_t CRlzTaskPoolWin32::Unregister(IRlzTaskFactory *factory)
{
    if (!factory) return 0;
    Core &core = *m_pCore;
    Outbox out;
    {
        std::unique_lock<CDataLock> lk(core.lock);
        auto &list = core.factories;
        list.erase(std::remove(list.begin(), list.end(), factory), list.end());
        const bool onIssueThread = core.issue.Id() == plat::GetCurrentThreadId();
        while (core.calling == factory && !onIssueThread) {
            lk.unlock();
            core.callDone.Wait(100);
            lk.lock();
        }
        core.CloseListLocked(core.ready, out, factory, false);
        core.CloseListLocked(core.waiting, out, factory, false);
        // Its running tasks end as they are, but nothing touches the factory from now on.
        for (auto &rec : core.running) {
            if (rec->factory != factory) continue;
            rec->factory = nullptr;
            rec->orphan = true;
        }
        for (auto &bucket : core.runLog)
            bucket.erase(
                std::remove_if(bucket.begin(), bucket.end(),
                               [factory](const RunLogRecord &r) { return r.factory == factory; }),
                bucket.end());
    }
    core.Flush(out);
    return 1;
}

int32_t CRlzTaskPoolWin32::InitApartment(int32_t fixed, int32_t extra)
{
    fixed = std::max(fixed, 0);
    extra = std::max(extra, 0);
    std::lock_guard<CDataLock> lk(m_pCore->lock);
    auto &apartments = m_pCore->apartments;
    // Records in use by their threads are not replaced.
    for (const auto &ap : apartments)
        if (ap->hasThread) return 0;
    apartments.clear();
    for (int32_t n = 1; n <= fixed + extra; ++n) {
        auto ap = std::make_shared<Apartment>();
        ap->number = n;
        ap->temporary = n > fixed;
        apartments.push_back(std::move(ap));
    }
    m_pCore->half = (fixed + extra) / 2;
    return 1;
}

int32_t CRlzTaskPoolWin32::IsActive()
{
    std::lock_guard<CDataLock> lk(m_pCore->lock);
    return m_pCore->run && m_pCore->issue.IsRunning() ? 1 : 0;
}

int32_t CRlzTaskPoolWin32::Start()
{
    std::lock_guard<CDataLock> lk(m_pCore->lock);
    if (!m_pCore->run) return 0;
    if (m_pCore->issue.IsRunning()) return 1;
    Forget(m_pCore->issue);
    auto core = m_pCore;
    m_pCore->issue = plat::Thread::Start([core] {
        Core::IssueThrd(core);
        return 0u;
    });
    return m_pCore->issue.Valid() ? 1 : 0;
}

int32_t CRlzTaskPoolWin32::ShutDown()
{
    Core &core = *m_pCore;
    std::vector<plat::Thread> threads;
    std::vector<int32_t> numbers;
    {
        std::lock_guard<CDataLock> lk(core.lock);
        if (!core.run) return 1;
        core.run = false;
        for (const auto &ap : core.apartments) {
            if (!ap->thread.Valid()) continue;
            threads.push_back(ap->thread);
            numbers.push_back(ap->number);
        }
        if (core.issue.Valid()) {
            threads.push_back(core.issue);
            numbers.push_back(0);
        }
    }
    core.closed.Set();
    std::vector<const plat::Waitable *> handles;
    for (const plat::Thread &t : threads) handles.push_back(&t);
    if (!handles.empty())
        plat::WaitForMultiple(handles.data(), handles.size(), true, kShutDownBound);

    Outbox out;
    for (size_t i = 0; i < threads.size(); ++i) {
        // One still running ends by itself: its task stays its own and is released when it
        // returns.
        if (threads[i].StopWithin(0, 0)) continue;
        if (numbers[i])
            out.lines.push_back(
                Format("error@ShutDown; Terminate Apartment Thread(%d)", numbers[i]));
    }
    {
        std::lock_guard<CDataLock> lk(core.lock);
        core.CloseListLocked(core.ready, out, nullptr, true);
        core.CloseListLocked(core.waiting, out, nullptr, true);
    }
    core.Flush(out);
    return 1;
}

int32_t CRlzTaskPoolWin32::NotifyEvent()
{
    m_pCore->wake.Set();
    m_pCore->issueWake.Set();
    return 1;
}

int32_t CRlzTaskPoolWin32::AddTask(IRlzTask *task)
{
    return m_pCore->AddTask(nullptr, task, IRlzTaskFactory::kNormal);
}

int32_t CRlzTaskPoolWin32::AddTask(IRlzTaskFactory *factory, IRlzTask *task, int32_t type)
{
    return m_pCore->AddTask(factory, task, type);
}

int32_t CRlzTaskPoolWin32::FindTaskLog(IRlzTaskFactory *factory, const char *name, int32_t *average)
{
    std::lock_guard<CDataLock> lk(m_pCore->lock);
    const RunLogRecord *logged =
        m_pCore->FindLogLocked(factory, NameOf(name).substr(0, kNameLimit));
    if (!logged) return 0;
    if (average) *average = logged->average;
    return 1;
}

int32_t CRlzTaskPoolWin32::IsRunning(IRlzTaskFactory *factory, const char *name, int32_t within)
{
    const std::string key = NameOf(name).substr(0, kNameLimit);
    std::lock_guard<CDataLock> lk(m_pCore->lock);
    for (const auto &rec : m_pCore->running)
        if (rec->factory == factory && rec->name == key && !rec->orphan) return 1;
    const RunLogRecord *logged = m_pCore->FindLogLocked(factory, key);
    return logged && within > 0 &&
                   plat::TickElapsed(logged->lastTick) <= static_cast<uint32_t>(within)
               ? 1
               : 0;
}

int32_t CRlzTaskPoolWin32::SendTaskMsg(IRlzTask *task, int32_t code, void *data)
{
    Outbox out;
    int32_t result = 0;
    {
        std::lock_guard<CDataLock> lk(m_pCore->lock);
        if (tagTask *rec = m_pCore->FindLocked(task)) {
            m_pCore->msgs.push_back({task, code, data});
            rec->msgEvent.Set();
            m_pCore->wake.Set();
            result = 1;
        } else {
            out.lines.push_back("warning@SendMsg; task not found");
        }
    }
    m_pCore->Flush(out);
    return result;
}

int32_t CRlzTaskPoolWin32::GetTaskMsg(IRlzTask *task, int32_t &code, void **data, int32_t timeout)
{
    Core &core = *m_pCore;
    const uint32_t start = plat::GetTickCount();
    std::unique_lock<CDataLock> lk(core.lock);
    for (;;) {
        if (!core.run) throw CRlzTaskPoolClosed();
        auto it = std::find_if(core.msgs.begin(), core.msgs.end(),
                               [task](const Message &m) { return m.task == task; });
        if (it != core.msgs.end()) {
            code = it->code;
            if (data) *data = it->data;
            core.msgs.erase(it);
            return 1;
        }
        tagTask *rec = core.FindLocked(task);
        if (!rec) return 0;
        uint32_t wait = plat::INFINITE;
        if (timeout >= 0) {
            uint32_t elapsed = plat::TickElapsed(start);
            if (elapsed >= static_cast<uint32_t>(timeout)) return 0;
            wait = static_cast<uint32_t>(timeout) - elapsed;
        }
        // Each task has its own event, so a wait here takes no wake-up meant for an apartment.
        plat::Event arrived = rec->msgEvent;
        lk.unlock();
        plat::WaitForAny({&arrived, &core.closed}, wait);
        lk.lock();
    }
}

int32_t CRlzTaskPoolWin32::SetTaskState(IRlzTask *task, int32_t index, int32_t value)
{
    if (index < 0 || index >= kStateWords) return 0;
    std::lock_guard<CDataLock> lk(m_pCore->lock);
    tagTask *rec = m_pCore->FindLocked(task);
    if (!rec) return 0;
    rec->state[index] = value;
    return 1;
}

int32_t CRlzTaskPoolWin32::GetTaskState(IRlzTask *task, int32_t index)
{
    if (index < 0 || index >= kStateWords) return 0;
    std::lock_guard<CDataLock> lk(m_pCore->lock);
    tagTask *rec = m_pCore->FindLocked(task);
    return rec ? rec->state[index] : 0;
}

uint32_t CRlzTaskPoolWin32::Hash(const char *name)
{
    uint32_t hash = 0;
    for (const char *p = name; p && *p; ++p) hash = hash * 31 + static_cast<unsigned char>(*p);
    return hash;
}

CRlzTaskPool::CRlzTaskPool() : m_pPool(new CRlzTaskPoolWin32) {}

CRlzTaskPool::~CRlzTaskPool()
{
    m_pPool->Suicide();
}
