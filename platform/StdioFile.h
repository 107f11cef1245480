// CStdioFile: a buffered file read and written as lines of text, with the class-library open
// flags. Text mode writes every "\n" as "\r\n"; ReadString strips the line end, so CR LF and
// LF files read alike. Read and Write move raw bytes in either mode.
#pragma once

#include "platform/PlatformApi.h"
#include "platform/String.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

class PLAT_API CStdioFile {
public:
    // Access, sharing and type bits may be or'ed together; no share bit shares everything.
    enum OpenFlags : unsigned int {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition : unsigned int { begin = 0, current = 1, end = 2 };

    CStdioFile() = default;
    ~CStdioFile();
    CStdioFile(const CStdioFile &) = delete;
    CStdioFile &operator=(const CStdioFile &) = delete;

    // A backslash in the name is a directory separator. Sharing is advisory (flock), so it
    // binds our own processes only: an open that denies writing (shareDenyWrite,
    // shareExclusive) refuses later writers and is refused while another one holds the file.
    // Returns false, with errno and the last error set, when the file cannot be opened or
    // another open's sharing refuses it (EWOULDBLOCK).
    bool Open(const char *fileName, unsigned int flags);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }
    CString GetFilePath() const { return m_path; }

    // False at the end of the file (line is then empty).
    bool ReadString(CString &line);
    bool WriteString(const char *text);

    uint32_t Read(void *buffer, uint32_t count);
    bool Write(const void *buffer, uint32_t count);
    // A read or write has failed since the open (a short read at the end is no failure).
    bool Failed() const { return m_file && ferror(m_file); }

    // Return the new position, or UINT64_MAX when the seek is refused.
    uint64_t Seek(int64_t offset, unsigned int from);
    uint64_t SeekToEnd() { return Seek(0, end); }
    void SeekToBegin() { Seek(0, begin); }
    uint64_t GetPosition() const;
    uint64_t GetLength();
    bool Flush();

private:
    enum class LastOp { none, read, write };
    struct FreeLine {
        void operator()(char *p) const { std::free(p); }
    };

    // A stdio stream must be repositioned between reading and writing.
    void SwitchTo(LastOp op);

    FILE *m_file = nullptr;
    CString m_path;
    bool m_textMode = true;
    bool m_lastWasCr = false; // so "\r" and "\n" written by separate calls are not doubled
    LastOp m_lastOp = LastOp::none;
    std::unique_ptr<char, FreeLine> m_line; // getline's buffer, kept between lines
    size_t m_lineCapacity = 0;
};
