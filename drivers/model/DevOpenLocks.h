// Recursive locks by device id (without case), so that finding, creating and opening one
// device is done by one thread at a time while other devices open in parallel. An id's lock
// exists while somebody holds or waits for it. Two threads that would wait for each other
// (each opening a device whose activation opens the other's) are told instead: the hold that
// would close the circle is not taken.
#pragma once

#include "platform/Sync.h"

#include <map>
#include <mutex>
#include <string>
#include <thread>

class CDevOpenLocks {
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
        Hold(CDevOpenLocks &owner, const char *id);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

        // False when taking the lock would have waited for a thread that waits for this one.
        bool Held() const { return m_bHeld; }

    private:
        CDevOpenLocks &m_owner;
        Entries::iterator m_entry;
        bool m_bHeld = false;
    };

private:
    // Whether the holder of `entry`, or a thread it waits for in turn, waits for this thread.
    // m_lock is held.
    bool WaitsForMeLocked(const Entry &entry) const;

    std::mutex m_lock; // over the map and the waits, never held while waiting for an id
    Entries m_entries;
    std::map<std::thread::id, const Entry *> m_waits; // the id each waiting thread waits for
};
