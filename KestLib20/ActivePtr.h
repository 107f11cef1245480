// Pointer-sized slots that live as long as the process: a holder of a slot sees the object
// it points at disappear (the slot is cleared) instead of holding a dangling pointer.
#pragma once

#include "KestLib20/CDataLock.h"

#include <cstdint>

class CActivePtrAlloc {
public:
    static constexpr int kSlotsPerBlock = 997;

    explicit CActivePtrAlloc(bool keepAtExit) : m_bKeepAtExit(keepAtExit) {}
    ~CActivePtrAlloc();

    // A zero-filled slot, valid until FreeList.
    void **Alloc();
    // Frees every block.
    void FreeList();

private:
    struct Block {
        Block *next;
        int32_t capacity;
        int32_t used;
        void *slots[kSlotsPerBlock];
    };
    static_assert(sizeof(Block) == 2 * sizeof(void *) + kSlotsPerBlock * sizeof(void *),
                  "a block is its link, two counts and 997 slots");

    Block *m_pNewest = nullptr;
    CDataLock m_lock;
    bool m_bKeepAtExit;
};

// A slot from one of two process-wide allocators: kind nonzero from the one whose blocks stay
// allocated at exit (so slots stay readable while modules unload), kind 0 from the one whose
// blocks are freed at exit.
void **glAllocActivePtr(int kind);
