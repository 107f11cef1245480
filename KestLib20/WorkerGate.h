// Start and end of a worker thread that ends when its owner no longer wants it and starts
// again on demand. Whether the worker goes on is decided under the owner's lock, so a start
// that races the worker's exit either keeps that worker or starts a new one, never neither.
// A stop retires the worker's generation: a worker given up after the stop's bound touches
// nothing more of its owner once its current call has returned.
#pragma once

#include "KestLib20/CDataLock.h"
#include "KestLib20/thread_c.h"

#include <cstdint>
#include <functional>

// The decision state; lives in the state the owner shares with its worker. Every member
// function runs under the owner's lock.
class CWorkerGate {
public:
    // Asks for a worker. True when a new one must be started for generation *gen; false
    // when the live worker goes on.
    bool Request(uint32_t *gen);
    // The worker ends at its next check unless it is asked for again before.
    void Release() { m_bWanted = false; }
    // The worker's generation ends: it ends at its next check whatever comes after.
    void Retire()
    {
        m_bWanted = false;
        ++m_dwGen;
    }
    // The worker's check; false when it must end (it no longer counts as live).
    bool Continue(uint32_t gen);
    // The worker of `gen` no longer counts as live (it ended, or never started).
    void Ended(uint32_t gen)
    {
        if (m_dwLive == gen) m_dwLive = 0;
    }
    // A worker of the current generation runs and has not decided to end.
    bool IsLive() const { return m_dwLive != 0 && m_dwLive == m_dwGen; }
    bool IsWanted() const { return m_bWanted; }

private:
    uint32_t m_dwGen = 0;
    uint32_t m_dwLive = 0;
    bool m_bWanted = false;
};

// Under the owner's lock: starts `body` for generation `gen` on `thread`, replacing a handle
// whose worker has ended or is ending. False (and the generation given back) when no thread
// could be started.
bool StartWorker(CWorkerGate &gate, thread_c &thread, uint32_t gen, std::function<void()> body);

// Not under the lock: waits up to `ms` for the worker held in `thread` unless the caller is
// that worker, then gives it up if it still runs.
void EndWorker(CDataLock &lock, thread_c &thread, uint32_t ms);
