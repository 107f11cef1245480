#include "KestLib20/CAckMailBox.h"

#include <mutex>

CAckMailBox::CAckMailBox(IPostOffice *office, int32_t id) : CMailBoxA(office, id) {}

CAckMailBox::~CAckMailBox()
{
    // Before the members go: once unregistered, no delivery reaches this box.
    Unregister();
}

int32_t CAckMailBox::EnableMailBox()
{
    {
        std::lock_guard<CDataLock> lk(m_lock);
        m_event.Reset();
        m_packets.RemoveAll();
    }
    return CMailBoxA::EnableMailBox();
}

int32_t CAckMailBox::OnRecvMail(int32_t, CPacket &packet)
{
    std::lock_guard<CDataLock> lk(m_lock);
    if (!IsEnabled()) return 0;
    m_packets.Add(packet);
    if (m_packets.GetSize() >= m_nAwaited) DisableMailBox();
    return 1;
}

int32_t CAckMailBox::OnCtrl(int32_t, int32_t)
{
    m_event.Set();
    return 1;
}

void CAckMailBox::SetAckCount(int32_t count)
{
    std::lock_guard<CDataLock> lk(m_lock);
    m_nAwaited = count;
}

int32_t CAckMailBox::GetAckCount()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return m_nAwaited;
}

int32_t CAckMailBox::WaitForMail(int32_t timeout)
{
    m_event.Wait(static_cast<uint32_t>(timeout));
    std::lock_guard<CDataLock> lk(m_lock);
    return m_packets.GetSize();
}

int32_t CAckMailBox::WaitForACK(CPacket &packet, int32_t timeout)
{
    m_event.Wait(static_cast<uint32_t>(timeout));
    std::lock_guard<CDataLock> lk(m_lock);
    if (m_packets.IsEmpty()) return 0;
    packet = m_packets[0];
    m_packets.RemoveAll();
    return 1;
}

int32_t CAckMailBox::WaitForACK(CArray<CPacket> &packets, int32_t timeout)
{
    m_event.Wait(static_cast<uint32_t>(timeout));
    std::lock_guard<CDataLock> lk(m_lock);
    packets.Copy(m_packets);
    m_packets.RemoveAll();
    return packets.GetSize();
}
