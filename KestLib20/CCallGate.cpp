#include "KestLib20/CCallGate.h"

#include "platform/Thread.h"

#include <algorithm>

void CCallGate::Enter(uintptr_t key)
{
    std::lock_guard<std::mutex> lk(m_mutex);
    m_calls.push_back({key, plat::GetCurrentThreadId()});
}

void CCallGate::Leave(uintptr_t key)
{
    const uint32_t self = plat::GetCurrentThreadId();
    std::lock_guard<std::mutex> lk(m_mutex);
    auto it = std::find_if(m_calls.begin(), m_calls.end(),
                           [&](const Call &c) { return c.key == key && c.thread == self; });
    if (it != m_calls.end()) m_calls.erase(it);
    for (const plat::Event &waiter : m_waiters) waiter.Set();
}

bool CCallGate::BusyElsewhere(uintptr_t key, uint32_t self) const
{
    return std::any_of(m_calls.begin(), m_calls.end(),
                       [&](const Call &c) { return c.key == key && c.thread != self; });
}

void CCallGate::WaitIdle(uintptr_t key)
{
    const uint32_t self = plat::GetCurrentThreadId();
    for (;;) {
        // Each waiter has an event of its own, so no Leave is lost between the test and the
        // wait. The wait has no bound: it lasts as long as the call it waits for, and the
        // target must not go away while that call uses it.
        plat::Event woken;
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            if (!BusyElsewhere(key, self)) return;
            m_waiters.push_back(woken);
        }
        woken.Wait(plat::INFINITE);
        std::lock_guard<std::mutex> lk(m_mutex);
        std::erase_if(m_waiters,
                      [&](const plat::Event &e) { return e.Object() == woken.Object(); });
    }
}
