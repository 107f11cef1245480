// Title subscriptions of the text log files: each entry is a list of type patterns and the
// file writer that takes the messages of those types. One lock guards the entries and,
// through the writers it makes, their pending lines.
#pragma once

#include "KestLib20/CDataLock.h"
#include "devext/Devext20Api.h"
#include "devext/services/CLogFileWriter.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>
#include <memory>
#include <vector>

class DEVEXT20_API CLogFileRegistry {
public:
    using Writers = std::vector<std::shared_ptr<CLogFileWriter>>;

    CLogFileRegistry() = default;
    // RemoveAll.
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

    Writers AllWriters();

    std::shared_ptr<CDataLock> m_pLock = std::make_shared<CDataLock>(); // shared with the writers
    int32_t m_nNextId = 1;
    std::vector<Entry> m_entries;
};
