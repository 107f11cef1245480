#include "drivers/tasks/CVideoKeyTaskTMU.h"

#include "drivers/tasks/BroTaskDevices.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"
#include "drivers/tasks/CVideoKeyTaskTPU.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CFileTime.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/CSimplexStringMap.h"
#include "platform/Gbk.h"

#include <array>
#include <cstdarg>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace videotask {

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

} // namespace videotask

namespace {

constexpr const char *kSettingPath = "/etc/tvx/KeyTask";
constexpr const char *kLogTitle = "Log_Title";
constexpr const char *kMainName = "Main";
constexpr int64_t kUnitsPerMs = 10000;
constexpr int64_t kUnitsPerSecond = 10000000;
// A group is handed out when its start lies less than this many whole seconds ahead.
constexpr int64_t kHandOutSeconds = 5;

// The functions with a type id of their own and a last handed-out time, in functype order.
struct tagKeyFunc {
    int32_t functype;
    const char *name;   // the Func of a configuration entry
    const char *typeId; // the auxiliaries' device type id
};
constexpr std::array<tagKeyFunc, 3> kKeyFuncs = {{
    {KEYTASK_FUNC_LOGO, "LOGO", "LVAUX_LOGO"},
    {KEYTASK_FUNC_TITLE, "TITLE", "LVAUX_TITLE"},
    {KEYTASK_FUNC_TIME, "TIME", "LVAUX_TIME"},
}};
constexpr const char *kKeyerTypeId = "LVAUX_KEYER";

// The index of a function in kKeyFuncs; -1 for a plain keyer task.
int FuncIndex(int32_t functype)
{
    for (size_t i = 0; i < kKeyFuncs.size(); ++i)
        if (kKeyFuncs[i].functype == functype) return static_cast<int>(i);
    return -1;
}

// One entry of "/etc/tvx/KeyTask".
struct tagKeyEntry {
    CString func;
    CString dev;
    int32_t key = 0;
};

videotask::Registry<IVideoKeyTaskTMU> &TMURegistry()
{
    static videotask::Registry<IVideoKeyTaskTMU> registry;
    return registry;
}

CString TimeText(int64_t time)
{
    char text[CFileTime::kDateTimeTextSize];
    return CFileTime(time).GetAsString(text);
}

void LogTitle(const char *format, ...) __attribute__((format(printf, 1, 2)));
void LogTitle(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    glReportLog(kLogTitle, text, "");
}

// Every auxiliary whose device type id is exactly `typeId`.
CStringArray AuxIdsOfType(CVideoDevMgr &devMgr, const char *typeId)
{
    CStringArray byPrefix, exact;
    devMgr.GetVideoAuxIDList(byPrefix, 2, typeId);
    for (const CString &id : byPrefix) {
        tagVideoAux entry;
        if (devMgr.GetVideoAux(id, entry) && entry.strTypeID == typeId) exact.Add(id);
    }
    return exact;
}

class CVideoKeyTaskTMU_Impl final : public IVideoKeyTaskTMU,
                                    public std::enable_shared_from_this<CVideoKeyTaskTMU_Impl> {
public:
    static IVideoKeyTaskTMU *Create()
    {
        auto unit = std::make_shared<CVideoKeyTaskTMU_Impl>();
        unit->m_self = unit;
        SetVideoKeyTaskTMU(kMainName, unit.get());
        unit->m_pTPU->SetTMU(unit.get());
        return unit.get();
    }

    CVideoKeyTaskTMU_Impl() : m_pTPU(CreateVideoKeyTaskTPU()) {}
    ~CVideoKeyTaskTMU_Impl() { m_pTPU->Release(); }

    uint32_t AddRef() override { return ++m_nRef; }
    uint32_t Release() override
    {
        const uint32_t left = --m_nRef;
        if (left == 0) {
            TMURegistry().Remove(this);
            // Out of service: the process unit is unbound and shut down (never started again),
            // and stays with the unit's memory while a holder may still reach it.
            m_pTPU->SetTMU(nullptr);
            m_pTPU->ShutDown();
            auto last = std::move(m_self); // a worker given up keeps its own share
        }
        return left;
    }

    IVideoKeyTaskTPU *GetTPU() override { return m_pTPU; }

    int32_t AddTask(const tagVideoKeyTask &task) override
    {
        tagVideoKeyTask added = task;
        added.Status = KEYTASK_BEGIN;
        added.Parameter = 0;
        bool done = false;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            if (AssignDevice(added)) {
                m_tasks->Add(added);
                FillFromConfig();
                Sort();
                done = true;
            }
        }
        WakeTPU();
        return done ? 1 : 0;
    }

    int32_t RemoveBySource(const char *source) override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return RemoveBySourceLocked(source);
    }

    int32_t SubmitTaskList(tagVideoKeyTask *const *tasks, const char *name) override
    {
        int32_t added = 0;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            RemoveBySourceLocked(name);
            for (; tasks && *tasks; ++tasks) {
                tagVideoKeyTask task = **tasks;
                task.Source = name;
                task.Status = KEYTASK_BEGIN;
                task.Parameter = 0;
                if (!AssignDevice(task)) continue;
                m_tasks->Add(task);
                ++added;
            }
            FillFromConfig();
            Sort();
            FilterOutdatedTaskAndKeep1();
        }
        WakeTPU();
        return added;
    }

    int32_t GetTaskAt(int32_t index, tagVideoKeyTask &task) override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_tasks->GetAt(index, task);
    }

    int32_t GetTaskCount() override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_tasks->GetCount();
    }

    int32_t BeginTaskList() override { return ClearStaging(); }
    int32_t EndTaskList() override { return ClearStaging(); }

    int32_t AddToTaskList(const tagVideoKeyTask &task) override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_staging->Add(task);
    }

    int32_t SubmitTaskList(const char *name) override
    {
        // The list is copied first: submitting takes the lock itself.
        CVideoKeyTaskArray staged;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            for (int32_t i = 0; i < m_staging->GetCount(); ++i)
                staged->Add(*m_staging->GetPtrAt(i));
        }
        return SubmitTaskList(staged->GetData(), name);
    }

    int32_t OnTaskStatus(int32_t, int32_t, int32_t) override { return 0; }
    int32_t OnTaskFailed(int32_t, int32_t, const char *) override { return 0; }
    int32_t OnIdle() override { return 1; }

    int32_t GetPgmTask(IVideoKeyTaskArray *out) override
    {
        out->RemoveAll();
        {
            std::lock_guard<std::mutex> lk(m_lock);
            SkipOutdated();
            if (m_tasks->GetCount() == 0) return 0;
            const tagVideoKeyTask first = *m_tasks->GetPtrAt(0);
            if ((first.StartTime - videotask::Now()) / kUnitsPerSecond >= kHandOutSeconds) return 0;
            while (m_tasks->GetCount() > 0) {
                const tagVideoKeyTask &next = *m_tasks->GetPtrAt(0);
                if (next.StartTime != first.StartTime ||
                    std::strcmp(next.DevID.szText, first.DevID.szText) != 0)
                    break;
                out->Add(next);
                m_tasks->RemoveAt(0, 1);
            }
            for (int32_t i = 0; i < out->GetCount(); ++i) {
                const tagVideoKeyTask &task = *out->GetPtrAt(i);
                const int at = FuncIndex(task.functype);
                if (at >= 0 && !task.IsFromGUI()) LastOut(task)[at] = task.StartTime;
            }
        }
        glReportDbg(kLogTitle, "get %d pgmtask", out->GetCount());
        return 1;
    }

private:
    void WakeTPU()
    {
        m_pTPU->PostMsg(KEYTPU_CMD_CHECK, 0);
        m_pTPU->Start();
    }

    int32_t ClearStaging()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_staging->RemoveAll();
    }

    int32_t RemoveBySourceLocked(const char *source)
    {
        int32_t removed = 0;
        for (int32_t i = m_tasks->GetCount() - 1; i >= 0; --i)
            if (!source || !*source || std::strcmp(m_tasks->GetPtrAt(i)->Source, source) == 0) {
                m_tasks->RemoveAt(i, 1);
                ++removed;
            }
        return removed;
    }

    // A task without a keyer gets the first auxiliary of its function's type id, else the
    // first plain keyer; false when there is none.
    static bool AssignDevice(tagVideoKeyTask &task)
    {
        if (task.DevID.szText[0]) return true;
        CVideoDevMgr *devMgr = TaskDevMgr();
        if (!devMgr) return false;
        CStringArray ids;
        const int at = FuncIndex(task.functype);
        if (at >= 0) ids = AuxIdsOfType(*devMgr, kKeyFuncs[at].typeId);
        if (ids.GetSize() == 0) ids = AuxIdsOfType(*devMgr, kKeyerTypeId);
        if (ids.GetSize() == 0) return false;
        task.DevID = ids[0];
        return true;
    }

    // Under the lock: the entries of "/etc/tvx/KeyTask", read on first need.
    const std::vector<tagKeyEntry> &Config()
    {
        if (m_bConfigRead) return m_config;
        m_bConfigRead = true;
        CResAccess setting(kSettingPath);
        CStringArray names;
        setting["Key"].GetAsStringArray(names);
        for (const CString &name : names) {
            CSimplexStringMap properties;
            properties.SetAsXmlProp(setting[name].GetAsString());
            m_config.push_back({properties["Func"].GetAsString(), properties["Dev"].GetAsString(),
                                properties["Key"].GetAsInteger(0)});
        }
        return m_config;
    }

    void FillFromConfig()
    {
        for (int32_t i = 0; i < m_tasks->GetCount(); ++i) {
            tagVideoKeyTask &task = *m_tasks->GetPtrAt(i);
            if (task.DevID.szText[0] && task.nKey < kKeyTaskConfigKey) continue;
            const int at = FuncIndex(task.functype);
            const char *func = at >= 0 ? kKeyFuncs[at].name : "";
            for (const tagKeyEntry &entry : Config()) {
                if (plat::GbkCompareNoCase(entry.func.GetString(), func) != 0) continue;
                // An entry without a keyer leaves the task's own: a task without one is never
                // served.
                if (!entry.dev.IsEmpty()) task.DevID = entry.dev;
                task.nKey = entry.key;
                break;
            }
        }
    }

    // Start times cut to whole milliseconds, then ordered by start and keyer.
    void Sort()
    {
        tagVideoKeyTask **table = m_tasks->GetData();
        const int32_t count = m_tasks->GetCount();
        for (int32_t i = 0; i < count; ++i)
            table[i]->StartTime -= table[i]->StartTime % kUnitsPerMs;
        auto before = [](const tagVideoKeyTask &a, const tagVideoKeyTask &b) {
            if (a.StartTime != b.StartTime) return a.StartTime < b.StartTime;
            return std::strcmp(a.DevID.szText, b.DevID.szText) < 0;
        };
        for (int32_t i = 0; i < count; ++i)
            for (int32_t j = i + 1; j < count; ++j)
                if (before(*table[j], *table[i])) std::swap(table[i], table[j]);
    }

    // Of the past, not operator-made tasks of each function only the last of each keyer
    // stays, as each keyer has its own last handed-out times: a list that comes late for two
    // channels keeps both channels' captions.
    void FilterOutdatedTaskAndKeep1()
    {
        const int64_t now = videotask::Now();
        for (const tagKeyFunc &func : kKeyFuncs) {
            std::set<std::string> kept; // the keyers whose last past task stays
            for (int32_t i = m_tasks->GetCount() - 1; i >= 0; --i) {
                const tagVideoKeyTask &task = *m_tasks->GetPtrAt(i);
                if (task.functype != func.functype || task.StartTime >= now || task.IsFromGUI())
                    continue;
                if (kept.insert(task.DevID.szText).second) continue;
                glReportDbg(kLogTitle,
                            "_FilterOutdatedTaskAndKeep1 Auto Remove Title task, starttime = "
                            "%s,functype=%d",
                            TimeText(task.StartTime).GetString(), task.functype);
                m_tasks->RemoveAt(i, 1);
            }
        }
    }

    // Under the lock: the start times of the last tasks handed out to the task's keyer, by
    // function. Each keyer has its own: a second channel's caption at the same time goes too.
    std::array<int64_t, kKeyFuncs.size()> &LastOut(const tagVideoKeyTask &task)
    {
        return m_lastOut.try_emplace(task.DevID.szText).first->second;
    }

    // Drops leading tasks that start no later than the last task of their function handed out
    // to their keyer.
    void SkipOutdated()
    {
        while (m_tasks->GetCount() > 0) {
            const tagVideoKeyTask &first = *m_tasks->GetPtrAt(0);
            if (first.IsFromGUI()) return;
            const int at = FuncIndex(first.functype);
            if (at < 0) {
                LogTitle(" meet invalid functype %d", first.functype);
                return;
            }
            if (first.StartTime > LastOut(first)[at]) return;
            LogTitle("GetPgmTask Auto skip Title task, starttime = %s,functype=%d",
                     TimeText(first.StartTime).GetString(), first.functype);
            m_tasks->RemoveAt(0, 1);
        }
    }

    std::atomic<uint32_t> m_nRef{1};
    std::shared_ptr<CVideoKeyTaskTMU_Impl> m_self; // until the last reference goes

    IVideoKeyTaskTPU *const m_pTPU; // one reference, released with the unit's memory

    // Guards everything below.
    std::mutex m_lock;
    CVideoKeyTaskArray m_tasks;
    CVideoKeyTaskArray m_staging;
    // By keyer: the start of the last task handed out, by function (0 for none).
    std::map<std::string, std::array<int64_t, kKeyFuncs.size()>> m_lastOut;
    std::vector<tagKeyEntry> m_config;
    bool m_bConfigRead = false;
};

} // namespace

IVideoKeyTaskTMU *GetVideoKeyTaskTMU(const char *name)
{
    return TMURegistry().Get(name);
}

std::shared_ptr<IVideoKeyTaskTMU> HoldVideoKeyTaskTMU(const char *name)
{
    return TMURegistry().Hold(name, videotask::HoldUnit<CVideoKeyTaskTMU_Impl, IVideoKeyTaskTMU>);
}

int32_t SetVideoKeyTaskTMU(const char *name, IVideoKeyTaskTMU *tmu)
{
    return TMURegistry().Set(name, tmu);
}

std::shared_ptr<IVideoKeyTaskTMU> LeaseKeyTaskTMU(IVideoKeyTaskTMU *tmu)
{
    if (auto *own = dynamic_cast<CVideoKeyTaskTMU_Impl *>(tmu)) return own->shared_from_this();
    return std::shared_ptr<IVideoKeyTaskTMU>(tmu, [](IVideoKeyTaskTMU *) {});
}

CVideoKeyTaskTMU::CVideoKeyTaskTMU() : CVideoTaskPtr(CreateVideoKeyTaskTMU()) {}

IVideoKeyTaskTMU *CreateVideoKeyTaskTMU()
{
    return CVideoKeyTaskTMU_Impl::Create();
}
