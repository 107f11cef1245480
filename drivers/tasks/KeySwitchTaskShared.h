// What the key task and switcher task units share: the handles that host programs hold their
// objects by, the growth of their task arrays, their process-wide registries of management
// units by name, and the framework time now.
#pragma once

#include "platform/Gbk.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// A handle that shares one reference-counted object (AddRef and Release): the handle made
// first holds the new object's reference, copies add one, each handle releases its own.
template <class I> class CVideoTaskPtr {
public:
    CVideoTaskPtr(const CVideoTaskPtr &other) : _Impl(other._Impl) { _Impl->AddRef(); }
    CVideoTaskPtr &operator=(const CVideoTaskPtr &other)
    {
        other._Impl->AddRef();
        _Impl->Release();
        _Impl = other._Impl;
        return *this;
    }
    ~CVideoTaskPtr() { _Impl->Release(); }

    I *operator->() const { return _Impl; }
    I *Get() const { return _Impl; }

protected:
    explicit CVideoTaskPtr(I *created) : _Impl(created) {}

private:
    I *_Impl;
};

namespace videotask {

// Room for `needed` entries, grown the way the platform's arrays grow: by an eighth of the
// array, at least 4 and at most 1024 entries, or to what is needed.
template <class T> void Reserve(std::vector<T> &array, size_t needed)
{
    if (needed <= array.capacity()) return;
    const size_t step = std::clamp<size_t>(array.size() / 8, 4, 1024);
    array.reserve(std::max(array.capacity() + step, needed));
}

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
        std::erase_if(m_units,
                      [&](const auto &entry) { return entry.first == name && entry.second == unit; });
    }

private:
    std::mutex m_lock;
    std::vector<std::pair<std::string, Unit *>> m_units;
};

// The framework time now, 100 ns units.
int64_t Now();

} // namespace videotask
