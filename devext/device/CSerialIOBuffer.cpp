#include "devext/device/CSerialIO.h"

#include <algorithm>

void CSerialIO::CBuffer::RemoveAll()
{
    CByteArray::RemoveAll();
    m_nAppendCount = 0;
}

void CSerialIO::CBuffer::Append(const void *data, int length)
{
    if (!data || length <= 0) return;
    ++m_nAppendCount;
    const auto *bytes = static_cast<const uint8_t *>(data);
    const int first = GetSize();
    SetSize(first + length);
    std::copy(bytes, bytes + length, GetData() + first);
}

void CSerialIO::CBuffer::Delete(int count)
{
    if (count <= 0) return;
    if (count >= GetSize())
        CByteArray::RemoveAll();
    else
        RemoveAt(0, count);
}

int CSerialIO::CBuffer::Find(unsigned char byte) const
{
    const uint8_t *begin = GetData();
    const uint8_t *end = begin + GetSize();
    const uint8_t *found = std::find(begin, end, byte);
    return found == end ? -1 : static_cast<int>(found - begin);
}

int CSerialIO::CBuffer::DeleteUntil(const unsigned char *set, int n)
{
    const uint8_t *begin = GetData();
    const uint8_t *end = begin + GetSize();
    const uint8_t *found = end;
    if (set && n > 0) found = std::find_first_of(begin, end, set, set + n);
    const int count = static_cast<int>(found - begin);
    Delete(count);
    return count;
}
