// One series of text log files: lines are buffered and written in batches into a file that
// changes every two hours ("<base>.yy_mm_dd.hh.txt"), each file starting with a header
// block, a block of process information repeated after every 32 or more lines, and files of
// the series seven days old deleted.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <cstdint>
#include <mutex>

class DEVEXT20_API CLogFileWriter {
public:
    static constexpr uint32_t kFlushIntervalMs = 5000;
    static constexpr int kFlushLines = 32;     // more pending lines than this flush at once
    static constexpr uint32_t kInfoEvery = 32; // more lines written than this repeat the info
    static constexpr int32_t kKeepDays = 7;
    // FlushDueIn with no line pending.
    static constexpr uint32_t kNothingPending = UINT32_MAX;

    CLogFileWriter() = default;
    // Flushes with force.
    virtual ~CLogFileWriter();
    CLogFileWriter(const CLogFileWriter &) = delete;
    CLogFileWriter &operator=(const CLogFileWriter &) = delete;

    // Creates or truncates the file with the header block.
    virtual void WriteHeader(const char *path);
    // Appends the process information block.
    virtual void WriteProcessInfo(const char *path);
    // Buffers the line (dropped while the writer has no base path), then Flush(0).
    virtual void AddLine(const CString &line);
    virtual void AddLines(const CStringArray &lines);
    // Writes the pending lines when forced, when more than 5000 ms have passed since the
    // last flush, or when more than 32 are pending; then Purge. One flush at a time, so that
    // lines reach the file in the order they came.
    virtual void Flush(int force);
    // Guard the pending lines and counters; the base class needs none.
    virtual void Lock() {}
    virtual void Unlock() {}

    // Sets the base path (resolved below the program's directory) and the type; a type with
    // no "*", ";", "?" or blank (an empty one too) makes lines without the type.
    void Open(const char *base, const char *type);
    // At most once in three hours: deletes the files of the series that are at least seven
    // days old or a day or more in the future.
    void Purge();

    // Milliseconds until the pending lines are due to be written (0: now), kNothingPending
    // when none are pending.
    uint32_t FlushDueIn();

    bool IsPlainTitle() const { return m_bPlainTitle; }
    const CString &GetBasePath() const { return m_strBase; }
    // The file that a line written at local time `fileTime` goes to.
    CString FileNameAt(int64_t fileTime) const;

private:
    CString m_strBase;
    CString m_strType;
    CStringArray m_pending;
    uint32_t m_dwLastFlush = 0;
    uint32_t m_dwLastPurge = 0;
    uint32_t m_dwLines = 0; // written since the process information was last repeated
    bool m_bPlainTitle = false;
    std::mutex m_flushLock;
};
