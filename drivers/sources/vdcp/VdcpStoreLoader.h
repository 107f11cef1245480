// The clip loader of a VDCP store: one thread at a time reads the server's clip ids and puts
// them into the store's clip cache. A thread that does not end within the stop's bound is
// given up; it reaches the cache only through a guard that the stop clears, so it never
// touches a store that has gone.
#pragma once

#include "drivers/model/CVideoStoreA.h"
#include "platform/Collections.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class VdcpStoreLoader {
public:
    static constexpr uint32_t kStopWaitMs = 3000;

    // Runs on the thread: fills `ids` (true) or fails (false); `stopping` turns true when the
    // store stops the loader. It may touch only what it owns jointly.
    using Read = std::function<bool(CStringArray &ids, const std::atomic<bool> &stopping)>;

    explicit VdcpStoreLoader(CVideoClipCache &cache);
    ~VdcpStoreLoader();
    VdcpStoreLoader(const VdcpStoreLoader &) = delete;
    VdcpStoreLoader &operator=(const VdcpStoreLoader &) = delete;

    // Marks the cache as loading and starts `read` on a thread, unless one runs: whether it
    // started. Ids read replace the cache (sizes 0), which then counts as loaded now; the
    // mark is cleared at the end either way.
    bool Start(Read read);
    bool Running() const;
    // Cuts the thread off from the cache, calls `wake` (which ends the thread's exchange),
    // waits up to kStopWaitMs for it and gives it up when it has not ended.
    void Stop(const std::function<void()> &wake = {});

private:
    struct Guard {
        std::mutex lock;
        CVideoClipCache *pCache; // null once stopped
        std::atomic<bool> stopping{false};
    };

    static void Apply(Guard &guard, const CStringArray &ids);

    CVideoClipCache &m_Cache;
    mutable std::mutex m_lock; // guards the two below
    std::shared_ptr<Guard> m_pGuard;
    plat::Thread m_Thread;
};

// The far copy of a VDCP store, which the server does not do: progress 0, 5 .. 95 of 100, one
// step a second. 0 when `closing` is signalled meanwhile, else 1.
int VdcpFarCopySteps(const CVideoStoreA::tagCopyCallBack &callback, const plat::Waitable &closing);
