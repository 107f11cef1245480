// Title subscriptions of the text log files: each entry is a list of type patterns and the
// file writer that takes the messages of those types. One lock guards the entries and,
// through the writers it makes, their pending lines. A thread of the registry's own writes
// the lines that wait when no more come: every line is in its file within the flush interval,
// so the last ones before a quiet spell outlive a killed process.
#pragma once

#include "KestLib20/CDataLock.h"
#include "devext/Devext20Api.h"
#include "devext/services/CLogFileWriter.h"
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class DEVEXT20_API CLogFileRegistry {
public:
    using Writers = std::vector<std::shared_ptr<CLogFileWriter>>;

    // How long the destruction waits for the flush thread before giving it up.
    static constexpr uint32_t kStopBoundMs = 2000;

    CLogFileRegistry();
    // Stops the flush thread, then RemoveAll.
    ~CLogFileRegistry();
    CLogFileRegistry(const CLogFileRegistry &) = delete;
    CLogFileRegistry &operator=(const CLogFileRegistry &) = delete;

    // A writer for the ';'-separated type patterns into the series `base`: its id.
    int32_t Register(const char *pattern, const char *base);
    // Removes the entry; its writer is flushed and destroyed once no message is being
    // written through it.
    void Unregister(int32_t id);
    // Every writer flushed and released (destroyed unless a dispatch still holds it).
    void RemoveAll();
    // The writers whose pattern list matches the type, in registration order.
    Writers Match(const char *type);

    // One message: "info : text" for a writer of one plain type, else "info (type): text"
    // with the type right-aligned in 8 characters. An empty type is ignored; an empty info
    // becomes the thread id and the local time to the millisecond.
    void Dispatch(const char *type, const char *text, const char *info);
    // A message of several lines: "info : \/", the lines, and an empty line.
    void DispatchLines(const char *type, const CStringArray &lines, const char *info);
    // Every writer flushed with force.
    void FlushAll();

private:
    struct Entry {
        int32_t id;
        CString pattern;
        std::shared_ptr<CLogFileWriter> writer;
    };
    // The entries and their lock, shared with the writers (the lock) and the flush thread.
    struct Table {
        CDataLock lock;
        int32_t nextId = 1;
        std::vector<Entry> entries;
        plat::Event stop{true, false};

        Writers AllWriters();
    };

    // Writes every writer's lines as they fall due, until the stop.
    static void FlushLoop(Table &table);
    void StartFlushing();

    std::shared_ptr<Table> m_pTable;
    std::mutex m_threadLock; // the start of the flush thread
    plat::Thread m_thread;
};
