#include "Kest20/KestCore_CodeMonitor.h"

#include "Kest20/LogCallRecord.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <cstring>

CCodeMonitor::Table::Table(std::vector<Unit> all) : units(std::move(all))
{
    for (size_t i = 0; i < units.size(); ++i) {
        const Unit &unit = units[i];
        if (!unit.key || !unit.lpu.function) continue;
        if (unit.lpu.mode == LOG_MODE_EXACT) exact.try_emplace(unit.lpu.name, i);
        if (unit.lpu.mode == LOG_MODE_PATTERN && unit.lpu.parameter) patterns.push_back(i);
    }
}

CCodeMonitor::CCodeMonitor()
    : m_pTable(new Table({})), m_thread([this](const LogMsg &msg) { OnLogMsg(msg); })
{
}

void CCodeMonitor::PublishLocked(std::vector<Unit> units)
{
    auto *table = new Table(std::move(units));
    m_bListening.store(!table->patterns.empty(), std::memory_order_release);
    const Table *old = m_pTable.exchange(table);
    CLogCallRecord::Synchronize();
    delete old;
}

int CCodeMonitor::RegisterLPU(const char *name, LOGPROC function, void *parameter, int32_t mode)
{
    Unit unit{};
    if (!name) name = "";
    std::string upper(name, plat::GbkCutLength(name, sizeof(unit.lpu.name) - 1));
    plat::GbkToUpper(upper);
    std::memcpy(unit.lpu.name, upper.c_str(), upper.size() + 1);
    unit.lpu.function = function;
    unit.lpu.parameter = parameter;
    unit.lpu.mode = mode;
    if (mode == LOG_MODE_PATTERN) unit.pattern = CLogTypePattern(unit.lpu.name);

    std::lock_guard<std::mutex> lock(m_writeLock);
    if (m_bShut) return 0;
    unit.key = ++m_nLastKey;
    std::vector<Unit> units = m_pTable.load(std::memory_order_relaxed)->units;
    int index;
    if (m_free.empty()) {
        index = static_cast<int>(units.size());
        units.push_back(std::move(unit));
    } else {
        index = m_free.front();
        m_free.pop_front();
        units[index] = std::move(unit);
    }
    PublishLocked(std::move(units));
    return index;
}

int CCodeMonitor::UnregisterLPU(int handle)
{
    uint64_t key;
    {
        std::lock_guard<std::mutex> lock(m_writeLock);
        if (m_bShut) return 0;
        const Table *table = m_pTable.load(std::memory_order_relaxed);
        if (handle < 0 || handle >= static_cast<int>(table->units.size())) return 1;
        // Already free: listing the index twice would hand one entry to two subscribers.
        key = table->units[handle].key;
        if (!key) return 1;
        std::vector<Unit> units = table->units;
        Unit &unit = units[handle];
        unit.key = 0;
        unit.lpu.name[0] = 0;
        unit.lpu.function = nullptr;
        unit.lpu.parameter = nullptr;
        unit.pattern = CLogTypePattern();
        m_free.push_back(handle);
        PublishLocked(std::move(units));
    }
    CLogCallRecord::WaitIdle(key);
    return 1;
}

int CCodeMonitor::Report(const char *type, const char *text, const char *info)
{
    if (m_bShut.load(std::memory_order_acquire)) return 0;
    if (!type) type = "";
    if (!text) text = "";
    if (!info) info = "";
    CLogCallRecord &record = CLogCallRecord::Mine();
    LOGPROC function = nullptr;
    void *parameter = nullptr;
    const uint64_t key = record.Enter([&]() -> uint64_t {
        const Table *table = m_pTable.load();
        auto found = table->exact.find(std::string_view(type));
        if (found == table->exact.end()) return 0;
        const Unit &unit = table->units[found->second];
        function = unit.lpu.function;
        parameter = unit.lpu.parameter;
        return unit.key;
    });
    if (key) {
        CallLogHandler("Log2", type, text, [&] { return function(parameter, type, text, info); });
        record.Leave();
    }
    // Only for a pattern unit to read; a closed queue (the core shut meanwhile) takes none.
    if (m_bListening.load(std::memory_order_acquire)) return m_thread.Post(type, text, info);
    return m_bShut.load(std::memory_order_acquire) ? 0 : 1;
}

void CCodeMonitor::OnLogMsg(const LogMsg &msg)
{
    thread_local CLogTypeProbe probe;
    probe.Set(msg.type);
    CLogCallRecord &record = CLogCallRecord::Mine();
    size_t next = 0;
    LOGPROC function = nullptr;
    void *parameter = nullptr;
    // Each step looks at the current table, so a unit may register or unregister units
    // (itself included) while the walk goes on.
    auto find = [&]() -> uint64_t {
        const Table *table = m_pTable.load();
        for (auto at = std::lower_bound(table->patterns.begin(), table->patterns.end(), next);
             at != table->patterns.end(); ++at) {
            const Unit &unit = table->units[*at];
            if (!unit.pattern.Matches(probe)) continue;
            function = unit.lpu.function;
            parameter = unit.lpu.parameter;
            next = *at + 1;
            return unit.key;
        }
        return 0;
    };
    for (uint64_t key = record.Enter(find); key; key = record.LeaveAndEnter(find))
        CallLogHandler("Log", msg.type, msg.text,
                       [&] { return function(parameter, msg.type, msg.text, msg.info); });
}

void CCodeMonitor::CloseNow()
{
    m_thread.DropAndStop();
    std::lock_guard<std::mutex> lock(m_writeLock);
    m_free.clear();
    PublishLocked({});
}

int CCodeMonitor::Close()
{
    if (m_bShut.load(std::memory_order_acquire)) return 0;
    CloseNow();
    return 1;
}

void CCodeMonitor::Shut()
{
    {
        std::lock_guard<std::mutex> lock(m_writeLock);
        m_bShut.store(true, std::memory_order_release);
    }
    m_thread.Close();
    CloseNow();
}

namespace {
// Set once the core is first opened; the monitor is never freed.
std::atomic<CCodeMonitor *> g_monitor{nullptr};
} // namespace

CKestCore_CodeMonitor::CKestCore_CodeMonitor()
{
    // The core manager opens the core at most once per process.
    if (!g_monitor.load(std::memory_order_acquire))
        g_monitor.store(new CCodeMonitor, std::memory_order_release);
}

CKestCore_CodeMonitor::~CKestCore_CodeMonitor()
{
    g_monitor.load(std::memory_order_acquire)->Shut();
}

CCodeMonitor *CKestCore_CodeMonitor::Open()
{
    if (CCodeMonitor *monitor = g_monitor.load(std::memory_order_acquire)) return monitor;
    // Not touched after the call: a shutdown may delete the core object at once.
    return CodeMonitorCore::OpenCore() ? g_monitor.load(std::memory_order_acquire) : nullptr;
}
