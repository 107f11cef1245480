#include "devext/device/CPacketStream.h"

#include <algorithm>

CPacketStream::CPacketStream(CPacket &packet) : m_packet(packet)
{
    m_packet.GetPacketData();
    packet = m_packet; // the caller's handle sees a packet made here
}

int CPacketStream::Write(const void *data, int length)
{
    if (length <= 0) return 0;
    const int written = data ? m_packet->Write(data, m_nPosition, length) : 0;
    m_nPosition += written;
    if (written < length) m_nState = STATE_SHORT;
    return written;
}

int CPacketStream::Read(void *buffer, int length)
{
    if (length <= 0) return 0;
    const int read = buffer ? m_packet->Read(buffer, m_nPosition, length) : 0;
    m_nPosition += read;
    if (read < length) m_nState = STATE_SHORT;
    return read;
}

int CPacketStream::Seek(int offset, int origin)
{
    const int64_t end = m_packet->GetDataSize();
    int64_t target = offset;
    if (origin == FROM_POSITION)
        target += m_nPosition;
    else if (origin == FROM_END)
        target = end - offset;
    m_nPosition = static_cast<int>(std::clamp<int64_t>(target, 0, end));
    return m_nPosition;
}

void CPacketStream::SetError()
{
    m_nState = STATE_COUNT;
}

int CPacketStream::Remaining() const
{
    const CPacketData *data = m_packet.Peek();
    return data ? std::max(data->GetDataSize() - m_nPosition, 0) : 0;
}
