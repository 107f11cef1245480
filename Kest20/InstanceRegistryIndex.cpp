#include "Kest20/InstanceRegistryIndex.h"

#include "Kest20/ClassA.h"
#include "platform/Gbk.h"

#include <algorithm>

namespace {

std::string KeyOf(const char *name)
{
    std::string key = name ? name : "";
    plat::GbkToUpper(key);
    return key;
}

} // namespace

void CInstanceIndex::Add(CClassA *object, bool made)
{
    std::string key = KeyOf(object->GetInstanceName());
    if (!m_objects.try_emplace(object, Entry{key, made}).second) return;
    if (made) m_byName[key].push_back(object);
}

void CInstanceIndex::Remove(CClassA *object)
{
    auto found = m_objects.find(object);
    if (found == m_objects.end()) return;
    if (found->second.made) Unlist(object, found->second.key);
    m_objects.erase(found);
}

void CInstanceIndex::Rename(CClassA *object)
{
    auto found = m_objects.find(object);
    if (found == m_objects.end()) return;
    std::string key = KeyOf(object->GetInstanceName());
    if (key == found->second.key) return;
    if (found->second.made) {
        Unlist(object, found->second.key);
        m_byName[key].push_back(object);
    }
    found->second.key = std::move(key);
}

void CInstanceIndex::MarkMade(CClassA *object)
{
    auto found = m_objects.find(object);
    if (found == m_objects.end() || found->second.made) return;
    found->second.made = true;
    m_byName[found->second.key].push_back(object);
}

bool CInstanceIndex::Contains(const void *object) const
{
    return m_objects.count(object) != 0;
}

const std::vector<CClassA *> &CInstanceIndex::Named(const char *name) const
{
    static const std::vector<CClassA *> none;
    auto found = m_byName.find(KeyOf(name));
    return found == m_byName.end() ? none : found->second;
}

void CInstanceIndex::Unlist(CClassA *object, const std::string &key)
{
    auto bucket = m_byName.find(key);
    if (bucket == m_byName.end()) return;
    std::erase(bucket->second, object);
    if (bucket->second.empty()) m_byName.erase(bucket);
}
