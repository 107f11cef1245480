// What the key task and switcher task units share: the handles that host programs hold their
// objects by, their process-wide registries of management units by name, and the framework
// time now.
#pragma once

#include "drivers/tasks/CVideoTaskPtr.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace videotask {

// Management units registered by name, in order of registration. The registry holds no
// reference: a unit removes its name before it goes.
template <class Unit> class Registry {
public:
    // A null or empty name: the first registered unit; else the unit of exactly that name.
    Unit *Get(const char *name)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (!name || !*name) return m_units.empty() ? nullptr : m_units.front().second;
        for (const auto &[key, unit] : m_units)
            if (key == name) return unit;
        return nullptr;
    }
    // Registers under the name, replacing an earlier unit of that name; a null unit removes
    // the name. 1.
    int32_t Set(const char *name, Unit *unit)
    {
        const std::string key = name ? name : "";
        std::lock_guard<std::mutex> lk(m_lock);
        auto at = std::find_if(m_units.begin(), m_units.end(),
                               [&](const auto &entry) { return entry.first == key; });
        if (!unit) {
            if (at != m_units.end()) m_units.erase(at);
        } else if (at != m_units.end()) {
            at->second = unit;
        } else {
            m_units.emplace_back(key, unit);
        }
        return 1;
    }
    // Removes the name only while it still names `unit`: a unit that was replaced under its
    // name leaves its successor registered.
    void Remove(const char *name, Unit *unit)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        std::erase_if(m_units, [&](const auto &entry) {
            return entry.first == name && entry.second == unit;
        });
    }

private:
    std::mutex m_lock;
    std::vector<std::pair<std::string, Unit *>> m_units;
};

// The framework time now, 100 ns units.
int64_t Now();

} // namespace videotask
