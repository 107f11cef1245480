// Mail boxes with a queue. CQueueMailBox keeps up to 65535 packets for a reader that takes
// them (GetMail, WaitMail); CAutoMailBox adds a delivery thread that hands each packet to a
// list of readers.
#pragma once

#include "KestLib20/CCallGate.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/CMailBox.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class CQueueMailBox : public CMailBoxA {
public:
    static constexpr int32_t kQueueLimit = 65535;

    CQueueMailBox(IPostOffice *office, int32_t id);
    ~CQueueMailBox() override;

    // Clears the queue and resets the event, then enables the box.
    int32_t EnableMailBox() override;
    // Wakes a waiting reader and clears the queue, then disables the box.
    int32_t DisableMailBox() override;
    // Queues the packet (1); a full queue drops it (0).
    int32_t OnRecvMail(int32_t boxId, CPacket &packet) override;

    // Takes the oldest packet; 0 when the queue is empty.
    int32_t GetMail(CPacket &packet);
    // GetMail; when empty, waits up to `timeout` ms for a packet and tries once more.
    int32_t WaitMail(CPacket &packet, int32_t timeout);
    int32_t GetMailCount();
    void ClearQueue();

protected:
    // The queue outlives the box while a delivery thread that was given up still holds it.
    struct Queue {
        CDataLock lock;
        std::deque<CPacket> packets;
        plat::Event event; // auto-reset: wakes one waiting reader

        bool Take(CPacket &packet);
        bool Wait(CPacket &packet, uint32_t timeout);
        void Clear();
    };
    const std::shared_ptr<Queue> m_pQueue;
};

// A reader of an automatic mail box: `function` is called with `object` and each packet.
struct tagMailReader {
    using READER = int32_t (*)(void *object, CPacket &packet);

    void *object = nullptr;
    READER function = nullptr;

    template <auto Member, class T> static tagMailReader Of(T *object)
    {
        return {object, [](void *o, CPacket &packet) -> int32_t {
                    return (static_cast<T *>(o)->*Member)(packet);
                }};
    }
};

class CAutoMailBox : public CQueueMailBox {
public:
    static constexpr int kMaxReaders = 128;
    static constexpr uint32_t kMailWait = 1000;
    static constexpr uint32_t kStopBound = 1000;

    CAutoMailBox(IPostOffice *office, int32_t id);
    // Stops the box.
    ~CAutoMailBox() override;

    // Enables the box and starts the delivery thread; whether the thread runs.
    int32_t Start();
    // 0 when not running; else asks the thread to end, waits up to 1000 ms and gives it up
    // when it has not ended (it calls no reader after that); 1.
    int32_t Stop();

    // Adds `reader` for `object`; 0 when that object with that function reads already.
    int32_t AddReader(tagMailReader reader, void *object);
    // Removes every reader of `object`, waiting for a call into it in progress (unless made
    // from inside that call); the number removed.
    int32_t RemoveReader(void *object);
    int32_t GetReaderCount();
    // 0 when the index is out of range.
    int32_t GetReader(int32_t index, tagMailReader &reader);

private:
    struct Readers {
        CDataLock lock;
        std::vector<tagMailReader> list;
        CCallGate gate;          // calls into readers in progress, by object
        uint32_t generation = 0; // the delivery thread that may run; 0 when stopped
        uint32_t lastGeneration = 0;
    };
    static void Deliver(const std::shared_ptr<Queue> &queue,
                        const std::shared_ptr<Readers> &readers, uint32_t generation);

    const std::shared_ptr<Readers> m_pReaders;
    plat::Thread m_thread;
};
