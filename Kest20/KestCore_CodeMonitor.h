// The log core (framework core 6): the table of log process units and the log thread that
// serves pattern subscriptions. Exact subscriptions are served on the reporting thread.
#pragma once

#include "Kest20/KestCore.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CCallGate.h"
#include "KestLib20/CDataLock.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class CMsgThrd;
struct LogMsg;

// One log process unit, an entry of the core's table.
struct tagLPU {
    char name[128]; // upper-cased type or pattern
    LOGPROC function;
    void *parameter;
    int32_t mode; // LOG_MODE_EXACT or LOG_MODE_PATTERN
};

// The table and the log thread. Shared by the core object, the callers in flight and the log
// thread, so that a shutdown racing a report never frees what the report still uses.
class CCodeMonitor {
public:
    static std::shared_ptr<CCodeMonitor> Create();
    ~CCodeMonitor();
    CCodeMonitor(const CCodeMonitor &) = delete;
    CCodeMonitor &operator=(const CCodeMonitor &) = delete;

    // A freed index is taken first, else the table grows. The handle; 0 once shut.
    int RegisterLPU(const char *name, LOGPROC function, void *parameter, int32_t mode);
    // 1; waits for calls into the unit on other threads (see CCallGate).
    int UnregisterLPU(int handle);
    // Serves the first exact unit of the type, then queues the message for the log thread.
    // 1, or 0 once shut.
    int Report(const char *type, const char *text, const char *info);
    // Drops the queue, stops the log thread with its bound and empties the table: 1.
    int Close();
    // Closes for good: nothing is registered, reported or delivered any more.
    void Shut();

private:
    CCodeMonitor() = default;

    struct Unit {
        tagLPU lpu;
        uintptr_t key; // names the unit's calls at the gate; 0 while the index is free
    };

    // On the log thread: every pattern unit that matches, in index order.
    void OnLogMsgHandler(const LogMsg &msg);

    CDataLock m_lock; // over the table; never held while a unit runs
    std::vector<Unit> m_units;
    std::deque<int> m_free;
    uintptr_t m_nLastKey = 0;
    bool m_bShut = false;
    // Units in pattern mode: with none, a message is not queued for the log thread at all.
    int m_nPatternUnits = 0;
    CCallGate m_gate;
    std::unique_ptr<CMsgThrd> m_pThread;
};

// The core object that the core manager opens once and deletes at shutdown.
class CKestCore_CodeMonitor {
public:
    CKestCore_CodeMonitor();
    // Shuts the log core.
    ~CKestCore_CodeMonitor();
    CKestCore_CodeMonitor(const CKestCore_CodeMonitor &) = delete;
    CKestCore_CodeMonitor &operator=(const CKestCore_CodeMonitor &) = delete;

    // The log core, opened on first use; null once the core has been shut down.
    static std::shared_ptr<CCodeMonitor> Open();

private:
    std::shared_ptr<CCodeMonitor> m_pMonitor;
};

using CodeMonitorCore = CKestCore<CKestCore_CodeMonitor, 6>;
