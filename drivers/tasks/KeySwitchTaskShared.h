// What the key task and switcher task units share: the handles that host programs hold their
// objects by, their process-wide registries of management units by name, and the framework
// time now.
#pragma once

#include "drivers/tasks/CVideoTaskPtr.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace videotask {

// Management units registered by name, in order of registration. The registry holds no
// reference: a unit removes its names before it goes.
template <class Unit> class Registry {
public:
    // A null or empty name: the first registered unit; else the unit of exactly that name.
    Unit *Get(const char *name)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return Find(name);
    }
    // As Get, with a reference held for the caller: `hold(unit)`, taken while the unit is
    // registered, so that its last handle going meanwhile frees nothing the caller still uses.
    template <class HoldFn> std::shared_ptr<Unit> Hold(const char *name, HoldFn hold)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        Unit *unit = Find(name);
        return unit ? hold(unit) : nullptr;
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
    // Removes every name that still names `unit`: a unit that was replaced under a name leaves
    // its successor registered.
    void Remove(Unit *unit)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        std::erase_if(m_units, [&](const auto &entry) { return entry.second == unit; });
    }

private:
    Unit *Find(const char *name) const
    {
        if (!name || !*name) return m_units.empty() ? nullptr : m_units.front().second;
        for (const auto &[key, unit] : m_units)
            if (key == name) return unit;
        return nullptr;
    }

    std::mutex m_lock;
    std::vector<std::pair<std::string, Unit *>> m_units;
};

// A reference to a registered unit for a caller that looks it up (see Registry::Hold): for a
// unit made here (`Own`, shared from itself until its last reference goes) a share that keeps
// it in memory, not in service; for a unit of another making one of its own references.
template <class Own, class Unit> std::shared_ptr<Unit> HoldUnit(Unit *unit)
{
    if (auto *own = dynamic_cast<Own *>(unit)) return own->weak_from_this().lock();
    unit->AddRef();
    return std::shared_ptr<Unit>(unit, [](Unit *held) { held->Release(); });
}

// The framework time now, 100 ns units.
int64_t Now();

} // namespace videotask
