// Recursive locks by device id (without case), so that finding, creating and opening one
// device is done by one thread at a time while other devices open in parallel. An id's lock
// exists while somebody holds or waits for it.
#pragma once

#include "platform/Sync.h"

#include <map>
#include <mutex>
#include <string>

class CDevOpenLocks {
    struct Entry {
        plat::RecursiveLock lock;
        int users = 0;
    };
    using Entries = std::map<std::string, Entry>;

public:
    class Hold {
    public:
        Hold(CDevOpenLocks &owner, const char *id);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        CDevOpenLocks &m_owner;
        Entries::iterator m_entry;
    };

private:
    std::mutex m_lock; // over the map only, never held while waiting for an id
    Entries m_entries;
};
