// The objects of one kind that devices find by lookup (the protocol objects and the port
// objects by their port numbers, the emulators by theirs), in the order they were made. A
// lookup hands out a held reference, and an object that leaves the list waits until every
// reference that another thread took is released: the close or the destruction of one user
// never frees what another user is inside. A reference is taken for one operation (an
// exchange, a take, a cue and its wait), and the object's own close, made before the wait,
// cuts that operation short. A reference the leaving thread took itself is not waited for.
#pragma once

#include "platform/Sync.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CSerialHeldList {
public:
    CSerialHeldList() = default;
    CSerialHeldList(const CSerialHeldList &) = delete;
    CSerialHeldList &operator=(const CSerialHeldList &) = delete;

    // Lists the object last.
    void Add(void *object);
    // A reference to the first listed object that `match` accepts, oldest or newest first;
    // null when none does. `match` runs under the list's lock, so no object it looks at can
    // leave meanwhile.
    std::shared_ptr<void> Find(const std::function<bool(void *object)> &match, bool newestFirst);
    // A reference to `object` while it is listed, else null.
    std::shared_ptr<void> Hold(void *object);
    // Unlists `object` (no lookup finds it from now on), runs `close` (which ends what the
    // holders are doing on it), then waits until no other thread holds it. Nothing for an
    // object not listed.
    void Withdraw(void *object, const std::function<void()> &close);

    // The reference typed as the object it refers to.
    template <class T> static std::shared_ptr<T> As(std::shared_ptr<void> held)
    {
        T *object = static_cast<T *>(held.get());
        return held ? std::shared_ptr<T>(std::move(held), object) : nullptr;
    }

private:
    // The references to one object, each with the thread that took it; jointly owned by the
    // references, so a release after the object has left still finds it.
    class Gate {
    public:
        static std::shared_ptr<void> Take(const std::shared_ptr<Gate> &gate, void *object);
        // Until no reference taken on another thread is held.
        void WaitReleased();

    private:
        struct Reference {
            uint64_t id;
            uint32_t thread;
        };
        void Release(uint64_t id);

        std::mutex m_lock;
        std::vector<Reference> m_held;
        uint64_t m_nNext = 0;
        std::vector<plat::Event> m_waiters;
    };
    struct Entry {
        void *object;
        std::shared_ptr<Gate> gate;
    };

    std::mutex m_lock;
    std::vector<Entry> m_entries;
};
