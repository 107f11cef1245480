// Recursive locks by name (without case), so that finding, creating and opening what one name
// stands for (an instance, a device) is done by one thread at a time while other names go on
// in parallel. A name's lock exists while somebody holds or waits for it. Two threads that
// would wait for each other (each making something whose activation makes the other's) are
// told instead: the hold that would close the circle is not taken.
#pragma once

#include "platform/Sync.h"

#include <map>
#include <mutex>
#include <string>
#include <thread>

class CNamedLocks {
    struct Entry {
        plat::RecursiveLock lock;
        int users = 0;
        std::thread::id owner; // none while nobody holds it
        int depth = 0;
    };
    using Entries = std::map<std::string, Entry>;

public:
    class Hold {
    public:
        Hold(CNamedLocks &owner, const char *name);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

        // False when taking the lock would have waited for a thread that waits for this one.
        bool Held() const { return m_bHeld; }

    private:
        CNamedLocks &m_owner;
        Entries::iterator m_entry;
        bool m_bHeld = false;
    };

private:
    // Whether the holder of `entry`, or a thread it waits for in turn, waits for this thread.
    // m_lock is held.
    bool WaitsForMeLocked(const Entry &entry) const;

    std::mutex m_lock; // over the map and the waits, never held while waiting for a name
    Entries m_entries;
    std::map<std::thread::id, const Entry *> m_waits; // the name each waiting thread waits for
};
