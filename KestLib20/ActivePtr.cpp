#include "KestLib20/ActivePtr.h"

#include <cstdlib>

CActivePtrAlloc::~CActivePtrAlloc()
{
    if (!m_bKeepAtExit) FreeList();
}

void **CActivePtrAlloc::Alloc()
{
    std::lock_guard<CDataLock> lk(m_lock);
    if (!m_pNewest || m_pNewest->used >= m_pNewest->capacity) {
        auto *block = static_cast<Block *>(calloc(1, sizeof(Block)));
        if (!block) return nullptr;
        block->next = m_pNewest;
        block->capacity = kSlotsPerBlock;
        m_pNewest = block;
    }
    return &m_pNewest->slots[m_pNewest->used++];
}

void CActivePtrAlloc::FreeList()
{
    std::lock_guard<CDataLock> lk(m_lock);
    while (m_pNewest) {
        Block *older = m_pNewest->next;
        free(m_pNewest);
        m_pNewest = older;
    }
}

void **glAllocActivePtr(int kind)
{
    // Both are built on the first call. The kept one is never destroyed, so its blocks
    // outlive every exit handler; the other frees its blocks at exit.
    static CActivePtrAlloc freedAtExit(false);
    static CActivePtrAlloc *keptAtExit = new CActivePtrAlloc(true);
    return kind ? keptAtExit->Alloc() : freedAtExit.Alloc();
}
