#include "KestLib20/CNamedLocks.h"

#include "platform/Gbk.h"

CNamedLocks::Hold::Hold(CNamedLocks &owner, const char *name) : m_owner(owner)
{
    std::string key = name ? name : "";
    plat::GbkToUpper(key);
    const std::thread::id me = std::this_thread::get_id();
    {
        std::lock_guard<std::mutex> lk(m_owner.m_lock);
        m_entry = m_owner.m_entries.try_emplace(std::move(key)).first;
        Entry &entry = m_entry->second;
        if (entry.owner != me && m_owner.WaitsForMeLocked(entry)) {
            if (entry.users == 0) m_owner.m_entries.erase(m_entry);
            return;
        }
        ++entry.users;
        m_owner.m_waits[me] = &entry;
    }
    m_entry->second.lock.Lock();
    std::lock_guard<std::mutex> lk(m_owner.m_lock);
    m_owner.m_waits.erase(me);
    m_entry->second.owner = me;
    ++m_entry->second.depth;
    m_bHeld = true;
}

CNamedLocks::Hold::~Hold()
{
    if (!m_bHeld) return;
    std::lock_guard<std::mutex> lk(m_owner.m_lock);
    Entry &entry = m_entry->second;
    if (--entry.depth == 0) entry.owner = std::thread::id();
    entry.lock.Unlock();
    if (--entry.users == 0) m_owner.m_entries.erase(m_entry);
}

bool CNamedLocks::WaitsForMeLocked(const Entry &entry) const
{
    const std::thread::id me = std::this_thread::get_id();
    // Each thread waits for one name at most, so the chain ends or comes round within as many
    // steps as there are waiting threads.
    const Entry *next = &entry;
    for (size_t step = 0; next && step <= m_waits.size(); ++step) {
        const std::thread::id holder = next->owner;
        if (holder == std::thread::id()) return false;
        if (holder == me) return true;
        const auto waiting = m_waits.find(holder);
        next = waiting == m_waits.end() ? nullptr : waiting->second;
    }
    return false;
}
