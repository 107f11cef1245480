#include "devext/device/CRecvBuffer.h"

#include <algorithm>
#include <cstring>

void CRecvBuffer::Added(int count)
{
    m_nCount += std::clamp(count, 0, Free());
}

void CRecvBuffer::Remove(int count)
{
    const int n = std::clamp(count, 0, m_nCount);
    std::memmove(m_bytes.data(), m_bytes.data() + n, static_cast<size_t>(m_nCount - n));
    m_nCount -= n;
}

void CRecvBuffer::Clear()
{
    m_nCount = 0;
    m_bAfterCR = false;
}

int CRecvBuffer::TakeLine(char *line, int size)
{
    if (m_bAfterCR && m_nCount > 0) {
        m_bAfterCR = false;
        if (m_bytes[0] == '\n') Remove(1);
    }
    const unsigned char *end =
        std::find_if(m_bytes.data(), m_bytes.data() + m_nCount,
                     [](unsigned char c) { return c == '\r' || c == '\n' || c == 0; });
    const int length = static_cast<int>(end - m_bytes.data());
    const bool found = length < m_nCount;
    const int room = size - 1;
    if (found && length <= room) {
        std::memcpy(line, m_bytes.data(), static_cast<size_t>(length));
        line[length] = 0;
        int drop = length + 1;
        if (m_bytes[length] == '\r') {
            if (drop < m_nCount)
                drop += m_bytes[drop] == '\n' ? 1 : 0;
            else
                m_bAfterCR = true;
        }
        Remove(drop);
        return length;
    }
    if (length < room && !IsFull()) return kNeedMore;
    const int piece = std::clamp(std::min(length, room), 0, m_nCount);
    if (size > 0) {
        std::memcpy(line, m_bytes.data(), static_cast<size_t>(piece));
        line[piece] = 0;
    }
    Remove(piece);
    return kPieceFull;
}
