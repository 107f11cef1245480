// The reply queues of a net-message server. A queue holds copies of whole messages (each
// with one NUL behind it) for a waiting requester; whoever takes a message out owns it and
// frees it with free(). Ids 256 to 1023 are fixed ids chosen by the caller; 1024 and up are
// handed out by one process-wide counter.
#pragma once

#include "platform/Sync.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class CNetMsgQueue {
public:
    static constexpr int kWaitRounds = 10;
    static constexpr uint32_t kWaitStep = 500;

    CNetMsgQueue() = default;
    ~CNetMsgQueue() { RemoveAllMsg(); }
    CNetMsgQueue(const CNetMsgQueue &) = delete;
    CNetMsgQueue &operator=(const CNetMsgQueue &) = delete;

    // A fixed id (256 to 1023) renews or makes that queue; any other id makes a temporary
    // queue with the next id of the counter. The queue expires `lifetime` ms from now (never
    // for 0). The queue's id.
    int32_t CreateQueue(int32_t lifetime, int32_t id);
    // Removes the queue and frees its messages.
    void DeleteQueue(int32_t id);
    // Appends a copy of the `length` bytes of `message` to the queue of that id, if any.
    void AddMsg(int32_t id, const char *message, int32_t length);
    // The oldest message of the queue, waiting up to `timeout` ms in steps of at most
    // 500 ms, 10 steps at most; null when none came or there is no such queue.
    char *GetMsg(int32_t id, int32_t timeout);
    // Forgets every queue.
    void RemoveAllMsg();
    // Removes every queue whose expiry has passed.
    void ClearInvalid();

private:
    struct Queue {
        ~Queue();
        int32_t id = 0;
        bool expires = false;
        uint32_t expiry = 0; // tick count
        plat::Event event;   // auto-reset: a message was added
        std::deque<char *> messages;
    };
    using QueuePtr = std::shared_ptr<Queue>;

    QueuePtr FindLocked(int32_t id) const;
    static void SetExpiry(Queue &queue, int32_t lifetime);

    std::mutex m_lock;
    std::vector<QueuePtr> m_queues; // a waiter keeps its queue while it waits
};
