#include "Kest20/KestCore_CodeMonitor.h"

#include "Kest20/LogMsgThrd.h"
#include "platform/Gbk.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <string>

std::shared_ptr<CCodeMonitor> CCodeMonitor::Create()
{
    std::shared_ptr<CCodeMonitor> monitor(new CCodeMonitor);
    // The log thread holds the core weakly: the core may end while the thread is given up.
    std::weak_ptr<CCodeMonitor> weak = monitor;
    monitor->m_pThread = std::make_unique<CMsgThrd>([weak](const LogMsg &msg) {
        if (std::shared_ptr<CCodeMonitor> core = weak.lock()) core->OnLogMsgHandler(msg);
    });
    return monitor;
}

CCodeMonitor::~CCodeMonitor() = default;

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

    std::lock_guard<CDataLock> lock(m_lock);
    if (m_bShut) return 0;
    unit.key = ++m_nLastKey;
    if (mode == LOG_MODE_PATTERN) ++m_nPatternUnits;
    if (m_free.empty()) {
        m_units.push_back(unit);
        return static_cast<int>(m_units.size()) - 1;
    }
    int index = m_free.front();
    m_free.pop_front();
    m_units[index] = unit;
    return index;
}

int CCodeMonitor::UnregisterLPU(int handle)
{
    uintptr_t key;
    {
        std::lock_guard<CDataLock> lock(m_lock);
        if (handle < 0 || handle >= static_cast<int>(m_units.size())) return 1;
        Unit &unit = m_units[handle];
        // Already free: listing the index twice would hand one entry to two subscribers.
        if (!unit.key) return 1;
        key = unit.key;
        if (unit.lpu.mode == LOG_MODE_PATTERN) --m_nPatternUnits;
        unit.key = 0;
        unit.lpu.name[0] = 0;
        unit.lpu.function = nullptr;
        unit.lpu.parameter = nullptr;
        m_free.push_back(handle);
    }
    m_gate.WaitIdle(key);
    return 1;
}

int CCodeMonitor::Report(const char *type, const char *text, const char *info)
{
    if (!type) type = "";
    if (!text) text = "";
    if (!info) info = "";
    LOGPROC function = nullptr;
    void *parameter = nullptr;
    std::optional<CCallGate::Pass> call;
    {
        std::lock_guard<CDataLock> lock(m_lock);
        if (m_bShut) return 0;
        for (const Unit &unit : m_units) {
            if (unit.lpu.mode == LOG_MODE_EXACT && unit.lpu.function &&
                std::strcmp(unit.lpu.name, type) == 0) {
                function = unit.lpu.function;
                parameter = unit.lpu.parameter;
                call.emplace(m_gate, unit.key);
                break;
            }
        }
    }
    if (function) {
        CallLogHandler("Log2", type, text, [&] { return function(parameter, type, text, info); });
        call.reset();
    }
    std::lock_guard<CDataLock> lock(m_lock);
    // Queued under the table lock, so that no message is queued once the core is shut, and
    // only for a pattern unit to read.
    if (m_bShut) return 0;
    if (m_nPatternUnits > 0) m_pThread->Post(type, text, info);
    return 1;
}

void CCodeMonitor::OnLogMsgHandler(const LogMsg &msg)
{
    for (size_t i = 0;; ++i) {
        LOGPROC function;
        void *parameter;
        std::optional<CCallGate::Pass> call;
        {
            // Each entry is looked at under the lock on its own, so a unit may register or
            // unregister units (itself included) while the walk goes on.
            std::lock_guard<CDataLock> lock(m_lock);
            if (i >= m_units.size()) return;
            const Unit &unit = m_units[i];
            if (unit.lpu.mode != LOG_MODE_PATTERN || !unit.lpu.function || !unit.lpu.parameter ||
                !glLogRexExpression(msg.type, unit.lpu.name))
                continue;
            function = unit.lpu.function;
            parameter = unit.lpu.parameter;
            call.emplace(m_gate, unit.key);
        }
        CallLogHandler("Log", msg.type, msg.text,
                       [&] { return function(parameter, msg.type, msg.text, msg.info); });
    }
}

int CCodeMonitor::Close()
{
    m_pThread->DropAndStop();
    std::lock_guard<CDataLock> lock(m_lock);
    m_units.clear();
    m_free.clear();
    m_nPatternUnits = 0;
    return 1;
}

void CCodeMonitor::Shut()
{
    {
        std::lock_guard<CDataLock> lock(m_lock);
        m_bShut = true;
    }
    Close();
}

namespace {
// Held while a caller takes the core's work from the core object, and by the core object's
// destructor before it lets go of it, so the object is not deleted under the caller.
// Constant-initialised and trivially destroyed: usable from exit handlers.
std::mutex g_openLock;
} // namespace

CKestCore_CodeMonitor::CKestCore_CodeMonitor() : m_pMonitor(CCodeMonitor::Create()) {}

CKestCore_CodeMonitor::~CKestCore_CodeMonitor()
{
    std::shared_ptr<CCodeMonitor> monitor;
    {
        std::lock_guard<std::mutex> lock(g_openLock);
        monitor = std::move(m_pMonitor);
    }
    monitor->Shut();
}

std::shared_ptr<CCodeMonitor> CKestCore_CodeMonitor::Open()
{
    std::lock_guard<std::mutex> lock(g_openLock);
    CKestCore_CodeMonitor *core = CodeMonitorCore::OpenCore();
    return core ? core->m_pMonitor : nullptr;
}
