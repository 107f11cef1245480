#include "drivers/sources/vdcp/VdcpStoreLoader.h"

#include "Kest20/CClock.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <cstring>

VdcpStoreLoader::VdcpStoreLoader(CVideoClipCache &cache) : m_Cache(cache) {}

VdcpStoreLoader::~VdcpStoreLoader()
{
    Stop();
}

bool VdcpStoreLoader::Running() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_Thread.IsRunning();
}

bool VdcpStoreLoader::Start(Read read)
{
    std::lock_guard<std::mutex> lk(m_lock);
    if (m_Thread.IsRunning()) return false;
    auto guard = std::make_shared<Guard>();
    guard->pCache = &m_Cache;
    m_Cache.SetLoading(1);
    m_Thread = plat::Thread::Start([guard, read = std::move(read)]() -> uint32_t {
        CStringArray ids;
        if (!read(ids, guard->stopping)) ids.RemoveAll();
        Apply(*guard, ids);
        return 0;
    });
    if (!m_Thread.Valid()) {
        m_Cache.SetLoading(0);
        return false;
    }
    m_pGuard = guard;
    return true;
}

void VdcpStoreLoader::Apply(Guard &guard, const CStringArray &ids)
{
    std::lock_guard<std::mutex> lk(guard.lock);
    CVideoClipCache *cache = guard.pCache;
    if (!cache) return;
    // A load that brought nothing leaves the cache as it was, out of date, so the next
    // request loads again; the mark must not claim a load that no longer runs.
    if (!ids.IsEmpty()) {
        CStringArray sorted = ids;
        std::sort(sorted.GetData(), sorted.GetData() + sorted.GetSize(),
                  [](const CString &a, const CString &b) { return a < b; });
        cache->RefreshCache(sorted);
        for (int i = 0; i < sorted.GetSize(); ++i) {
            CVideoClipCache::tagCLIP clip;
            const size_t length =
                plat::GbkCutLength(sorted[i].GetString(), CVideoClipCache::kNameLength);
            std::memcpy(clip.szName, sorted[i].GetString(), length);
            cache->AddClip(clip);
        }
        int64_t now = 0;
        glGetTimeEx(&now);
        cache->SetLastLoadTime(now);
    }
    cache->SetLoading(0);
}

void VdcpStoreLoader::Stop(const std::function<void()> &wake)
{
    std::shared_ptr<Guard> guard;
    plat::Thread thread;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        guard = std::move(m_pGuard);
        thread = std::move(m_Thread);
        m_Thread = plat::Thread();
    }
    if (guard) {
        guard->stopping = true;
        std::lock_guard<std::mutex> lk(guard->lock);
        if (guard->pCache && thread.IsRunning()) guard->pCache->SetLoading(0);
        guard->pCache = nullptr;
    }
    if (wake) wake();
    if (!guard) return;
    thread.StopWithin(kStopWaitMs, 0);
}

int VdcpFarCopySteps(const CVideoStoreA::tagCopyCallBack &callback, const plat::Waitable &closing)
{
    constexpr int kSteps = 20;
    constexpr uint32_t kStepMs = 1000;
    for (int step = 0; step < kSteps; ++step) {
        callback.Report(step * 100 / kSteps, 100);
        if (closing.Wait(kStepMs) == plat::WAIT_OBJECT_0) return 0;
    }
    return 1;
}
