// The distributed-system kernel's tables of keys and of processes with their values. A value
// of another process is fresh while its age is below its key's lifetime; this process's own
// values are always fresh. Not locked: the kernel's lock guards it.
#pragma once

#include "KestLib20/NetMsg.h"
#include "platform/String.h"

#include <cstdint>
#include <vector>

class CKeyEnv {
public:
    static constexpr uint32_t kDefaultLifetime = 5000;
    static constexpr uint32_t kAddressLifetime = 300000; // IP and HOST_NAME

    struct Key {
        CString name;
        uint32_t lifetime;
    };
    struct Value {
        CString text;
        uint32_t tick = 0; // when it was set
    };
    struct Process {
        NETPID id;
        uint32_t heard = 0;        // tick when the process was last heard from
        std::vector<Value> values; // by key index
    };
    enum class Found { None, Stale, Fresh };

    CKeyEnv();

    // The key's index, -1 when unknown (names compare without case).
    int FindKey(const char *name) const;
    // The key's index, appending it with the default lifetime when unknown.
    int AddKey(const char *name);
    const std::vector<Key> &Keys() const { return m_keys; }

    Process *Find(const NETPID &id);
    // The process's entry, made (heard now) when missing; `added` tells which.
    Process &FindOrAdd(const NETPID &id, uint32_t now, bool *added = nullptr);
    bool Remove(const NETPID &id);
    const std::vector<Process> &Processes() const { return m_processes; }

    // Stores a value (its tick becomes now); whether the text changed (without case).
    bool Store(Process &process, int key, const char *text, uint32_t now);
    // The value of `key`; an empty text counts as none.
    Found Lookup(const NETPID &id, const char *key, const NETPID &self, uint32_t now,
                 CString &text) const;
    // Drops the processes other than `self` not heard from for more than `silence` ms; how
    // many were dropped.
    int Purge(uint32_t now, uint32_t silence, const NETPID &self);

private:
    std::vector<Key> m_keys;
    std::vector<Process> m_processes; // in the order they were first heard of
};
