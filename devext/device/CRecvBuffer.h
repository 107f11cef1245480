// Bytes received from a connection and not consumed yet, with room for a fixed number, and
// the line cutting that line reading does on them without any I/O of its own.
#pragma once

#include "devext/Devext20Api.h"

#include <vector>

class DEVEXT20_API CRecvBuffer {
public:
    // ReadLine's result when the caller's buffer is full before the line's end.
    static constexpr int kPieceFull = -65536;
    // TakeLine's result when no line end is held yet.
    static constexpr int kNeedMore = -1;

    explicit CRecvBuffer(int capacity) : m_bytes(capacity > 0 ? capacity : 1) {}

    int Capacity() const { return static_cast<int>(m_bytes.size()); }
    int Count() const { return m_nCount; }
    int Free() const { return Capacity() - m_nCount; }
    bool IsFull() const { return m_nCount == Capacity(); }
    const unsigned char *Data() const { return m_bytes.data(); }

    // Where new bytes go (Free() of them), and how many went there.
    char *Tail() { return reinterpret_cast<char *>(m_bytes.data()) + m_nCount; }
    void Added(int count);
    void Remove(int count);
    void Clear();

    // Moves the first line held into `line` (`size` bytes with its terminating zero). A line
    // ends at CR, LF or NUL; CR LF is one end, also when the LF comes in a later receive.
    // Returns the line's length, kPieceFull when `size` - 1 bytes were moved without reaching
    // the end (or the buffer is full without one), or kNeedMore (nothing moved).
    int TakeLine(char *line, int size);

private:
    std::vector<unsigned char> m_bytes;
    int m_nCount = 0;
    bool m_bAfterCR = false; // the last line ended at a CR whose LF may still come
};
