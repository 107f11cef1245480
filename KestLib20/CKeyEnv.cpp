#include "KestLib20/CKeyEnv.h"

#include "platform/TimeSource.h"

#include <algorithm>

CKeyEnv::CKeyEnv()
{
    for (const char *name : {"VERSION", "GROUP", "HOST_NAME", "IP", "KEST_PORT", "HTTP", "TELNET",
                             "P_NAME", "P_TITLE", "P_VER"})
        m_keys.push_back({name, kDefaultLifetime});
    m_keys[static_cast<size_t>(FindKey("IP"))].lifetime = kAddressLifetime;
    m_keys[static_cast<size_t>(FindKey("HOST_NAME"))].lifetime = kAddressLifetime;
}

int CKeyEnv::FindKey(const char *name) const
{
    for (size_t i = 0; i < m_keys.size(); ++i)
        if (m_keys[i].name.CompareNoCase(name ? name : "") == 0) return static_cast<int>(i);
    return -1;
}

int CKeyEnv::AddKey(const char *name)
{
    const int index = FindKey(name);
    if (index >= 0) return index;
    m_keys.push_back({name, kDefaultLifetime});
    return static_cast<int>(m_keys.size()) - 1;
}

CKeyEnv::Process *CKeyEnv::Find(const NETPID &id)
{
    auto it = std::find_if(m_processes.begin(), m_processes.end(),
                           [&](const Process &p) { return p.id == id; });
    return it == m_processes.end() ? nullptr : &*it;
}

CKeyEnv::Process &CKeyEnv::FindOrAdd(const NETPID &id, uint32_t now, bool *added)
{
    Process *process = Find(id);
    if (added) *added = !process;
    if (process) return *process;
    m_processes.push_back({id, now, {}});
    return m_processes.back();
}

bool CKeyEnv::Remove(const NETPID &id)
{
    return std::erase_if(m_processes, [&](const Process &p) { return p.id == id; }) > 0;
}

bool CKeyEnv::Store(Process &process, int key, const char *text, uint32_t now)
{
    if (key < 0) return false;
    if (process.values.size() <= static_cast<size_t>(key))
        process.values.resize(static_cast<size_t>(key) + 1);
    Value &value = process.values[static_cast<size_t>(key)];
    const bool changed = value.text.CompareNoCase(text ? text : "") != 0;
    value.text = text;
    value.tick = now;
    return changed;
}

CKeyEnv::Found CKeyEnv::Lookup(const NETPID &id, const char *key, const NETPID &self, uint32_t now,
                               CString &text) const
{
    const int index = FindKey(key);
    auto it = std::find_if(m_processes.begin(), m_processes.end(),
                           [&](const Process &p) { return p.id == id; });
    if (index < 0 || it == m_processes.end() || it->values.size() <= static_cast<size_t>(index))
        return Found::None;
    const Value &value = it->values[static_cast<size_t>(index)];
    if (value.text.IsEmpty()) return Found::None;
    text = value.text;
    const bool fresh =
        id == self || plat::TickDiff(now, value.tick) <
                          static_cast<int32_t>(m_keys[static_cast<size_t>(index)].lifetime);
    return fresh ? Found::Fresh : Found::Stale;
}

int CKeyEnv::Purge(uint32_t now, uint32_t silence, const NETPID &self)
{
    return static_cast<int>(std::erase_if(m_processes, [&](const Process &p) {
        return !(p.id == self) && plat::TickDiff(now, p.heard) > static_cast<int32_t>(silence);
    }));
}
