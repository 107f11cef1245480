#include "drivers/model/DevOpenLocks.h"

#include "platform/Gbk.h"

CDevOpenLocks::Hold::Hold(CDevOpenLocks &owner, const char *id) : m_owner(owner)
{
    std::string key = id ? id : "";
    plat::GbkToUpper(key);
    {
        std::lock_guard<std::mutex> lk(m_owner.m_lock);
        m_entry = m_owner.m_entries.try_emplace(std::move(key)).first;
        ++m_entry->second.users;
    }
    m_entry->second.lock.Lock();
}

CDevOpenLocks::Hold::~Hold()
{
    m_entry->second.lock.Unlock();
    std::lock_guard<std::mutex> lk(m_owner.m_lock);
    if (--m_entry->second.users == 0) m_owner.m_entries.erase(m_entry);
}
