#include "devext/device/CSerialIOHeld.h"

#include "platform/Thread.h"

#include <algorithm>
#include <optional>

void CSerialHeldList::Add(void *object)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_entries.push_back({object, std::make_shared<Gate>()});
}

std::shared_ptr<void> CSerialHeldList::Find(const std::function<bool(void *object)> &match,
                                            bool newestFirst)
{
    std::lock_guard<std::mutex> lk(m_lock);
    const auto take = [&](Entry &entry) { return Gate::Take(entry.gate, entry.object); };
    if (newestFirst) {
        for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
            if (match(it->object)) return take(*it);
    } else {
        for (Entry &entry : m_entries)
            if (match(entry.object)) return take(entry);
    }
    return nullptr;
}

std::shared_ptr<void> CSerialHeldList::Hold(void *object)
{
    return Find([object](void *listed) { return listed == object; }, true);
}

void CSerialHeldList::Withdraw(void *object, const std::function<void()> &close)
{
    std::shared_ptr<Gate> gate;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                        [object](const Entry &e) { return e.object == object; });
        if (found == m_entries.end()) return;
        gate = std::move(found->gate);
        m_entries.erase(found);
    }
    if (close) close();
    gate->WaitReleased();
}

std::shared_ptr<void> CSerialHeldList::Gate::Take(const std::shared_ptr<Gate> &gate, void *object)
{
    uint64_t id;
    {
        std::lock_guard<std::mutex> lk(gate->m_lock);
        id = ++gate->m_nNext;
        gate->m_held.push_back({id, plat::GetCurrentThreadId()});
    }
    return std::shared_ptr<void>(object, [gate, id](void *) { gate->Release(id); });
}

void CSerialHeldList::Gate::Release(uint64_t id)
{
    std::lock_guard<std::mutex> lk(m_lock);
    std::erase_if(m_held, [id](const Reference &r) { return r.id == id; });
    for (const plat::Event &waiter : m_waiters) waiter.Set();
}

void CSerialHeldList::Gate::WaitReleased()
{
    const uint32_t self = plat::GetCurrentThreadId();
    for (;;) {
        // Each waiter has an event of its own, so no release is lost between the test and the
        // wait. The wait has no bound of its own: it lasts as long as the holder's operation,
        // which the close has cut short, and the object must not go while that operation uses
        // it.
        std::optional<plat::Event> released;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            if (std::none_of(m_held.begin(), m_held.end(),
                             [self](const Reference &r) { return r.thread != self; }))
                return;
            released.emplace();
            m_waiters.push_back(*released);
        }
        released->Wait(plat::INFINITE);
        std::lock_guard<std::mutex> lk(m_lock);
        std::erase_if(m_waiters,
                      [&](const plat::Event &e) { return e.Object() == released->Object(); });
    }
}
