// Calls into registered targets (mail boxes, readers, listeners, callbacks) run outside their
// holder's lock. The gate records which thread is inside a call into which target, so that a
// removal can wait until no call into the removed target is in progress, unless the removal is
// made from inside such a call (the caller's own call is not waited for).
#pragma once

#include "platform/Sync.h"

#include <cstdint>
#include <mutex>
#include <vector>

class CCallGate {
public:
    CCallGate() = default;
    CCallGate(const CCallGate &) = delete;
    CCallGate &operator=(const CCallGate &) = delete;

    // Marks a call into `key` by the calling thread. The holder calls it under its lock,
    // where it found the target, so that a removal made after the lock is released sees it.
    void Enter(uintptr_t key);
    void Leave(uintptr_t key);
    // Waits until no thread other than the caller is inside a call into `key`. The holder
    // calls it after removing the target under its lock, so no new call can start.
    void WaitIdle(uintptr_t key);

    // One call into a target: entered on construction, left on destruction.
    class Pass {
    public:
        Pass(CCallGate &gate, uintptr_t key) : m_gate(gate), m_key(key) { gate.Enter(key); }
        // Takes over a call entered earlier (under the holder's lock).
        Pass(CCallGate &gate, uintptr_t key, std::adopt_lock_t) : m_gate(gate), m_key(key) {}
        ~Pass() { m_gate.Leave(m_key); }
        Pass(const Pass &) = delete;
        Pass &operator=(const Pass &) = delete;

    private:
        CCallGate &m_gate;
        uintptr_t m_key;
    };

private:
    struct Call {
        uintptr_t key;
        uint32_t thread;
    };
    bool BusyElsewhere(uintptr_t key, uint32_t self) const;

    std::mutex m_mutex;
    std::vector<Call> m_calls;
    std::vector<plat::Event> m_waiters;
};

template <class T> uintptr_t GateKey(T *target)
{
    return reinterpret_cast<uintptr_t>(target);
}
