// What every FTP clip store does alike: the debug log lines, the client hooks that write
// them, clip records and lengths for the cache, a logged clip list load, and the far copy that
// runs a store's server-to-server copy on a worker thread while the caller sees the progress
// and the store learns its copy speed.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoClipCache.h"
#include "drivers/model/CVideoStoreA.h"
#include "drivers/sources/ftp/CFtpClient.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

class CComponentA;

namespace ftpstore {

inline constexpr const char *kLogType = "LOG_FTPDEBUG";

// One "LOG_FTPDEBUG" line (written while the system's debug flag is on).
void Debug(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Hooks that log every line received, discarded and sent with the owner's instance name.
void SetLogHooks(CFtpClient &client, CComponentA *owner);

// Logs the client on (nothing when it is connected); 1 when connected. Clips live in the
// log-in directory.
int LogOn(CFtpClient &client);
// A store's Server URL names a path: it is not used, which one "LOG_DEV" line says.
void NoteIgnoredPath(const char *device, const tagURL &url);

// A cache record of the clip, its name cut between characters to the record's field.
CVideoClipCache::tagCLIP ClipRecord(const char *name, int32_t frames);
// Frames at 25 a second of `bytes` at `bitRate` bits a second; 0 for no bit rate.
int32_t BytesToFrames(int64_t bytes, int32_t bitRate);
// Records the load time (framework time) in the cache.
void MarkLoaded(CVideoClipCache &cache);
// The cached clip names in cache order (their count), and the cached length of a clip (0
// when it is not in the cache).
int CachedIds(CVideoClipCache &cache, CStringArray &ids);
int CachedFrames(CVideoClipCache &cache, const char *clip);

// Adds the clip with the length of `bytes` at `bitRate` to the cache.
void AddClipBytes(CVideoClipCache &cache, const char *name, int64_t bytes, int32_t bitRate);
// A clip the server renamed: its record goes to the new name with its length (0 when the
// cache did not hold it).
void RenameCached(CVideoClipCache &cache, const char *from, const char *to);

// A store's clip list loads: one at a time, and only while the cache is out of date.
class ClipLoader {
public:
    // 0 while another load runs, 1 while the cache is valid, `noConnection` when `connect`
    // fails; else `load` between the "Begin List" and "End List" lines (the cache marked
    // loading meanwhile) and its result.
    int LoadIfDue(const char *name, CVideoClipCache &cache, const std::function<bool()> &connect,
                  int noConnection, const std::function<int()> &load);

private:
    std::mutex m_lock;
};

// The live store of that name as a kind of T, opened on demand; null when there is none.
template <class T> T *OpenStore(const char *name)
{
    return dynamic_cast<T *>(CDeviceA::OpenDev(name, T::GetClassID()));
}

class KSOVRA20_API FarCopy {
public:
    static constexpr double kInitialSpeed = 0.01;
    static constexpr uint32_t kMinCopyMs = 500;
    static constexpr uint32_t kMaxCopyMs = 3600000;
    static constexpr uint32_t kProgressStepMs = 1000;

    // The expected copy time of a clip of `durationMs` at the speed (clip time per copy
    // time), clamped to [kMinCopyMs, kMaxCopyMs], and the time-out of its copy.
    static uint32_t ExpectedMs(int64_t durationMs, double speed);
    static uint32_t TimeOutMs(uint32_t expectedMs);

    // Copies a clip of `durationMs` by `copy` (given the time-out) on a worker thread,
    // reporting progress once a second; on success reports 100, learns the speed of a copy
    // longer than 5 s and adds the clip to the cache of the store `destStore`. `tag` names
    // the copy in its "Begin Copy" line; the "End Copy" line is tagged "  S_TO_S". 1 on
    // success.
    int Run(const char *clip, const char *destStore, int64_t durationMs, const CString &tag,
            CVideoStoreA::tagCopyCallBack callback, const std::function<int(uint32_t)> &copy);

    double Speed() const { return m_speed.load(); }

private:
    std::atomic<double> m_speed{kInitialSpeed};
};

} // namespace ftpstore
