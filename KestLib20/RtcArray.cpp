#include "KestLib20/RtcArray.h"

#include <cstddef>

bool CRtcArray::InRange(int32_t index) const
{
    return index >= 0 && static_cast<size_t>(index) < m_records.size();
}

int32_t CRtcArray::RemoveAt(int32_t index, int32_t count)
{
    if (index < 0) index = 0;
    const int32_t size = GetSize();
    if (index >= size) return 0;
    const int32_t left = size - index;
    if (count < 0 || count > left) count = left;
    m_records.erase(m_records.begin() + index, m_records.begin() + index + count);
    return count;
}

int32_t CRtcArray::GetSize()
{
    return static_cast<int32_t>(m_records.size());
}

int32_t CRtcArray::SetSize(int32_t size)
{
    if (size < 0) return 0;
    m_records.resize(static_cast<size_t>(size), nullptr);
    return 1;
}

iRtc *CRtcArray::GetAt(int32_t index)
{
    return InRange(index) ? m_records[static_cast<size_t>(index)] : nullptr;
}

int32_t CRtcArray::SetAt(int32_t index, iRtc *record)
{
    if (!InRange(index)) return 0;
    m_records[static_cast<size_t>(index)] = record;
    return 1;
}
