// The log core (framework core 6): the table of log process units and the log thread that
// serves pattern subscriptions. Exact subscriptions are served on the reporting thread.
//
// Reports far outnumber changes of the table, so the table is a snapshot that a change
// replaces whole: a report looks its unit up in the current snapshot and enters the call in
// one step under its own thread's call record (see CLogCallRecord), and reporting threads
// share nothing they write but the log thread's queue.
#pragma once

#include "Kest20/KestCore.h"
#include "Kest20/KestLog.h"
#include "Kest20/LogMsgThrd.h"
#include "Kest20/LogTypePattern.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One log process unit, an entry of the core's table.
struct tagLPU {
    char name[128]; // upper-cased type or pattern
    LOGPROC function;
    void *parameter;
    int32_t mode; // LOG_MODE_EXACT or LOG_MODE_PATTERN
};

// The table and the log thread. Made once per process and never freed, so that a report
// racing the shutdown never meets a core that is gone; once shut it answers 0.
class CCodeMonitor {
public:
    CCodeMonitor();
    CCodeMonitor(const CCodeMonitor &) = delete;
    CCodeMonitor &operator=(const CCodeMonitor &) = delete;

    // A freed index is taken first, else the table grows. The handle; 0 once shut.
    int RegisterLPU(const char *name, LOGPROC function, void *parameter, int32_t mode);
    // 1 (0 once shut); waits for calls into the unit on other threads.
    int UnregisterLPU(int handle);
    // Serves the first exact unit of the type, then queues the message for the log thread
    // while a pattern unit listens. 1, or 0 once shut.
    int Report(const char *type, const char *text, const char *info);
    // Drops the queue, stops the log thread with its bound and empties the table: 1 (0 once
    // shut).
    int Close();
    // Closes for good: nothing is registered, reported or delivered any more.
    void Shut();

private:
    struct Unit {
        tagLPU lpu;
        uint64_t key; // names the unit's calls; 0 while the index is free
        CLogTypePattern pattern;
    };
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const
        {
            return std::hash<std::string_view>{}(name);
        }
    };
    // Never changed once published.
    struct Table {
        std::vector<Unit> units; // index = handle
        // The first unit in index order of each exact name that has a function.
        std::unordered_map<std::string, size_t, NameHash, std::equal_to<>> exact;
        // Pattern units with function and parameter, in index order.
        std::vector<size_t> patterns;

        explicit Table(std::vector<Unit> all);
    };

    // Under m_writeLock: makes `units` the table and frees the one it replaces once no
    // lookup uses it any more.
    void PublishLocked(std::vector<Unit> units);
    void CloseNow();
    // On the log thread: every pattern unit that matches, in index order.
    void OnLogMsg(const LogMsg &msg);

    // Read by every report, written only by changes.
    std::atomic<const Table *> m_pTable;
    std::atomic<bool> m_bListening{false}; // a pattern unit is registered
    std::atomic<bool> m_bShut{false};

    std::mutex m_writeLock; // over changes of the table, the free list and the keys
    std::deque<int> m_free;
    uint64_t m_nLastKey = 0;

    CMsgThrd m_thread;
};

// The core object that the core manager opens once and deletes at shutdown.
class CKestCore_CodeMonitor {
public:
    CKestCore_CodeMonitor();
    // Shuts the log core.
    ~CKestCore_CodeMonitor();
    CKestCore_CodeMonitor(const CKestCore_CodeMonitor &) = delete;
    CKestCore_CodeMonitor &operator=(const CKestCore_CodeMonitor &) = delete;

    // The log core, opened on first use (null while the core manager shuts the cores down
    // before it was ever opened); once shut, it answers 0.
    static CCodeMonitor *Open();
};

using CodeMonitorCore = CKestCore<CKestCore_CodeMonitor, 6>;
