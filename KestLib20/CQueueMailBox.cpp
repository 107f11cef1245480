#include "KestLib20/CQueueMailBox.h"

#include <mutex>
#include <vector>

bool CQueueMailBox::Queue::Take(CPacket &packet)
{
    std::lock_guard<CDataLock> lk(lock);
    if (packets.empty()) return false;
    packet = std::move(packets.front());
    packets.pop_front();
    // The event stays set exactly while packets wait: a signal left over from a packet taken
    // without waiting would end the next wait at once with nothing to take.
    if (packets.empty())
        event.Reset();
    else
        event.Set();
    return true;
}

bool CQueueMailBox::Queue::Wait(CPacket &packet, uint32_t timeout)
{
    if (Take(packet)) return true;
    event.Wait(timeout);
    return Take(packet);
}

void CQueueMailBox::Queue::Clear()
{
    std::deque<CPacket> dropped;
    std::lock_guard<CDataLock> lk(lock);
    dropped.swap(packets);
}

CQueueMailBox::CQueueMailBox(IPostOffice *office, int32_t id)
    : CMailBoxA(office, id), m_pQueue(std::make_shared<Queue>())
{
}

CQueueMailBox::~CQueueMailBox()
{
    Unregister();
}

int32_t CQueueMailBox::EnableMailBox()
{
    m_pQueue->Clear();
    m_pQueue->event.Reset();
    return CMailBoxA::EnableMailBox();
}

int32_t CQueueMailBox::DisableMailBox()
{
    m_pQueue->event.Set();
    m_pQueue->Clear();
    return CMailBoxA::DisableMailBox();
}

int32_t CQueueMailBox::OnRecvMail(int32_t, CPacket &packet)
{
    std::lock_guard<CDataLock> lk(m_pQueue->lock);
    if (m_pQueue->packets.size() >= static_cast<size_t>(kQueueLimit)) return 0;
    m_pQueue->packets.push_back(packet);
    // Under the lock, so that a reader emptying the queue meanwhile cannot be followed by a
    // stale signal.
    m_pQueue->event.Set();
    return 1;
}

int32_t CQueueMailBox::GetMail(CPacket &packet)
{
    return m_pQueue->Take(packet) ? 1 : 0;
}

int32_t CQueueMailBox::WaitMail(CPacket &packet, int32_t timeout)
{
    return m_pQueue->Wait(packet, static_cast<uint32_t>(timeout)) ? 1 : 0;
}

int32_t CQueueMailBox::GetMailCount()
{
    std::lock_guard<CDataLock> lk(m_pQueue->lock);
    return static_cast<int32_t>(m_pQueue->packets.size());
}

void CQueueMailBox::ClearQueue()
{
    m_pQueue->Clear();
}

CAutoMailBox::CAutoMailBox(IPostOffice *office, int32_t id)
    : CQueueMailBox(office, id), m_pReaders(std::make_shared<Readers>())
{
}

CAutoMailBox::~CAutoMailBox()
{
    Stop();
    Unregister();
}

int32_t CAutoMailBox::Start()
{
    {
        std::lock_guard<CDataLock> lk(m_pReaders->lock);
        if (m_pReaders->generation && m_thread.IsRunning()) return 1;
    }
    // Enabled here rather than on the thread: the box may go as soon as Start returns.
    EnableMailBox();
    uint32_t generation;
    {
        std::lock_guard<CDataLock> lk(m_pReaders->lock);
        generation = ++m_pReaders->lastGeneration;
        m_pReaders->generation = generation;
    }
    m_thread.StopWithin(0, 0);
    m_thread = plat::Thread::Start([queue = m_pQueue, readers = m_pReaders, generation] {
        Deliver(queue, readers, generation);
        return 0u;
    });
    return m_thread.Valid() ? 1 : 0;
}

int32_t CAutoMailBox::Stop()
{
    {
        std::lock_guard<CDataLock> lk(m_pReaders->lock);
        if (!m_pReaders->generation) return 0;
        m_pReaders->generation = 0;
    }
    // Wakes the thread so that it sees the request at once.
    m_pQueue->event.Set();
    m_thread.StopWithin(kStopBound, 0);
    m_thread.Close();
    return 1;
}

void CAutoMailBox::Deliver(const std::shared_ptr<Queue> &queue,
                           const std::shared_ptr<Readers> &readers, uint32_t generation)
{
    auto running = [&] { return readers->generation == generation; };
    for (;;) {
        {
            std::lock_guard<CDataLock> lk(readers->lock);
            if (!running()) return;
        }
        CPacket packet;
        if (!queue->Wait(packet, kMailWait)) continue;
        for (int i = 0; i < kMaxReaders; ++i) {
            tagMailReader reader;
            {
                std::lock_guard<CDataLock> lk(readers->lock);
                if (!running()) return;
                if (i >= static_cast<int>(readers->list.size())) break;
                reader = readers->list[static_cast<size_t>(i)];
                if (!reader.object || !reader.function) continue;
                readers->gate.Enter(GateKey(reader.object));
            }
            CCallGate::Pass pass(readers->gate, GateKey(reader.object), std::adopt_lock);
            reader.function(reader.object, packet);
        }
    }
}

int32_t CAutoMailBox::AddReader(tagMailReader reader, void *object)
{
    reader.object = object;
    std::lock_guard<CDataLock> lk(m_pReaders->lock);
    for (const tagMailReader &r : m_pReaders->list)
        if (r.object == object && r.function == reader.function) return 0;
    m_pReaders->list.push_back(reader);
    return 1;
}

int32_t CAutoMailBox::RemoveReader(void *object)
{
    size_t removed;
    {
        std::lock_guard<CDataLock> lk(m_pReaders->lock);
        removed = std::erase_if(m_pReaders->list,
                                [object](const tagMailReader &r) { return r.object == object; });
    }
    m_pReaders->gate.WaitIdle(GateKey(object));
    return static_cast<int32_t>(removed);
}

int32_t CAutoMailBox::GetReaderCount()
{
    std::lock_guard<CDataLock> lk(m_pReaders->lock);
    return static_cast<int32_t>(m_pReaders->list.size());
}

int32_t CAutoMailBox::GetReader(int32_t index, tagMailReader &reader)
{
    std::lock_guard<CDataLock> lk(m_pReaders->lock);
    if (index < 0 || index >= static_cast<int32_t>(m_pReaders->list.size())) return 0;
    reader = m_pReaders->list[static_cast<size_t>(index)];
    return 1;
}
