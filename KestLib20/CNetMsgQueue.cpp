#include "KestLib20/CNetMsgQueue.h"

#include "KestLib20/NetMsg.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<int32_t> g_nextQueueId{kFirstTemporaryQueue};

int32_t NextTemporaryId()
{
    int32_t id = g_nextQueueId.load();
    int32_t next;
    do {
        if (id < kFirstTemporaryQueue) id = kFirstTemporaryQueue;
        next = id == INT32_MAX ? kFirstTemporaryQueue : id + 1;
    } while (!g_nextQueueId.compare_exchange_weak(id, next));
    return id < kFirstTemporaryQueue ? kFirstTemporaryQueue : id;
}

bool IsFixedId(int32_t id)
{
    return id >= kFirstFixedQueue && id < kFirstTemporaryQueue;
}

} // namespace

CNetMsgQueue::Queue::~Queue()
{
    for (char *message : messages) free(message);
}

CNetMsgQueue::QueuePtr CNetMsgQueue::FindLocked(int32_t id) const
{
    auto it = std::find_if(m_queues.begin(), m_queues.end(),
                           [id](const QueuePtr &q) { return q->id == id; });
    return it == m_queues.end() ? nullptr : *it;
}

void CNetMsgQueue::SetExpiry(Queue &queue, int32_t lifetime)
{
    queue.expires = lifetime != 0;
    queue.expiry = plat::GetTickCount() + static_cast<uint32_t>(lifetime);
}

int32_t CNetMsgQueue::CreateQueue(int32_t lifetime, int32_t id)
{
    ClearInvalid();
    std::lock_guard<std::mutex> lk(m_lock);
    if (IsFixedId(id)) {
        if (QueuePtr queue = FindLocked(id)) {
            SetExpiry(*queue, lifetime);
            return id;
        }
    } else {
        id = NextTemporaryId();
    }
    auto queue = std::make_shared<Queue>();
    queue->id = id;
    SetExpiry(*queue, lifetime);
    m_queues.push_back(std::move(queue));
    return id;
}

void CNetMsgQueue::DeleteQueue(int32_t id)
{
    QueuePtr gone;
    std::lock_guard<std::mutex> lk(m_lock);
    auto it = std::find_if(m_queues.begin(), m_queues.end(),
                           [id](const QueuePtr &q) { return q->id == id; });
    if (it == m_queues.end()) return;
    gone = std::move(*it);
    m_queues.erase(it);
}

void CNetMsgQueue::AddMsg(int32_t id, const char *message, int32_t length)
{
    if (length < 0) return;
    QueuePtr queue;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        queue = FindLocked(id);
        if (!queue) return;
        char *copy = static_cast<char *>(malloc(static_cast<size_t>(length) + 1));
        if (!copy) return;
        memcpy(copy, message, static_cast<size_t>(length));
        copy[length] = '\0';
        queue->messages.push_back(copy);
    }
    queue->event.Set();
}

char *CNetMsgQueue::GetMsg(int32_t id, int32_t timeout)
{
    int32_t left = std::max(timeout, 0);
    for (int round = 0; round < kWaitRounds; ++round) {
        QueuePtr queue;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            queue = FindLocked(id);
            if (!queue) return nullptr;
            if (!queue->messages.empty()) {
                char *message = queue->messages.front();
                queue->messages.pop_front();
                return message;
            }
        }
        if (left < 1) return nullptr;
        const uint32_t step = std::min<uint32_t>(kWaitStep, static_cast<uint32_t>(left));
        queue->event.Wait(step);
        left -= static_cast<int32_t>(step);
    }
    return nullptr;
}

void CNetMsgQueue::RemoveAllMsg()
{
    std::vector<QueuePtr> gone;
    std::lock_guard<std::mutex> lk(m_lock);
    gone.swap(m_queues);
}

void CNetMsgQueue::ClearInvalid()
{
    std::vector<QueuePtr> gone;
    const uint32_t now = plat::GetTickCount();
    std::lock_guard<std::mutex> lk(m_lock);
    for (auto it = m_queues.end(); it != m_queues.begin();) {
        --it;
        if ((*it)->expires && plat::TickDiff(now, (*it)->expiry) > 0) {
            gone.push_back(std::move(*it));
            it = m_queues.erase(it);
        }
    }
}
