#include "drivers/sources/ftp/FtpStoreCommon.h"

#include "Kest20/CClock.h"
#include "Kest20/ComponentA.h"
#include "Kest20/KestLog.h"
#include "platform/Gbk.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace ftpstore {

namespace {

constexpr int64_t kMsPerFrame = 40;
constexpr int64_t kFramesPerByteRate = 200; // 25 frames a second, 8 bits a byte
constexpr uint32_t kLongCopyMs = 180000;
constexpr uint32_t kTimeOutSlackMs = 2000;
constexpr int64_t kLearnAboveMs = 5000;
constexpr uint32_t kCopyOk = 0;
constexpr uint32_t kCopyFailed = 2;

} // namespace

void Debug(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    glReportDbgX(kLogType, format, args);
    va_end(args);
}

void SetLogHooks(CFtpClient &client, CComponentA *owner)
{
    auto hook = [owner](const char *format) {
        return [owner, format](const CString &line) {
            Debug(format, owner->GetInstanceName(), line.GetString());
        };
    };
    client.SetHooks(hook("(%8s) Recv    :%s"), hook("(%8s) Invalid :%s"),
                    hook("(%8s) Send    :%s"));
}

int LogOn(CFtpClient &client)
{
    return client.IsConnected() || client.Login() ? 1 : 0;
}

void NoteIgnoredPath(const char *device, const tagURL &url)
{
    if (url.path.IsEmpty() || url.path == "/") return;
    CString text;
    text.Format("DEV=%s Server path \"%s\" ignored: clips are in the log-in directory", device,
                url.path.GetString());
    glReportLog("LOG_DEV", text, nullptr);
}

CVideoClipCache::tagCLIP ClipRecord(const char *name, int32_t frames)
{
    CVideoClipCache::tagCLIP clip;
    const size_t length = plat::GbkCutLength(name, CVideoClipCache::kNameLength);
    std::memcpy(clip.szName, name, length);
    clip.szName[length] = 0;
    clip.nSize = frames;
    return clip;
}

int32_t BytesToFrames(int64_t bytes, int32_t bitRate)
{
    return bitRate > 0 ? static_cast<int32_t>(bytes * kFramesPerByteRate / bitRate) : 0;
}

void MarkLoaded(CVideoClipCache &cache)
{
    int64_t now = 0;
    glGetTimeEx(&now);
    cache.SetLastLoadTime(now);
}

int CachedIds(CVideoClipCache &cache, CStringArray &ids)
{
    ids.RemoveAll();
    CVideoClipCache::tagCLIP clip;
    for (int i = 0; cache.GetAt(i, clip); ++i) ids.Add(clip.szName);
    return ids.GetSize();
}

int CachedFrames(CVideoClipCache &cache, const char *clip)
{
    CVideoClipCache::tagCLIP record;
    return cache.GetAt(CString(clip), record) ? record.nSize : 0;
}

void AddClipBytes(CVideoClipCache &cache, const char *name, int64_t bytes, int32_t bitRate)
{
    CVideoClipCache::tagCLIP clip = ClipRecord(name, BytesToFrames(bytes, bitRate));
    cache.AddClip(clip);
}

void RenameCached(CVideoClipCache &cache, const char *from, const char *to)
{
    const int32_t frames = CachedFrames(cache, from);
    cache.RemoveClip(from);
    CVideoClipCache::tagCLIP clip = ClipRecord(to, frames);
    cache.AddClip(clip);
}

int ClipLoader::LoadIfDue(const char *name, CVideoClipCache &cache,
                          const std::function<bool()> &connect, int noConnection,
                          const std::function<int()> &load)
{
    std::unique_lock<std::mutex> loading(m_lock, std::try_to_lock);
    if (!loading.owns_lock() || cache.IsLoading()) return 0;
    if (cache.IsValid()) return 1;
    if (!connect()) return noConnection;
    Debug("(%8s) Command : ################# Begin List ############################", name);
    cache.SetLoading(1);
    const int result = load();
    cache.SetLoading(0);
    Debug("(%8s) Command : ################# End List( %s ) #######################", name,
          result ? "OK" : "Failed");
    return result;
}

uint32_t FarCopy::ExpectedMs(int64_t durationMs, double speed)
{
    // Clamped as a real number first, so that a slow speed never wraps the 32-bit time.
    const double expected =
        speed > 0 ? static_cast<double>(durationMs) / speed : static_cast<double>(kMaxCopyMs);
    return static_cast<uint32_t>(
        std::clamp(expected, static_cast<double>(kMinCopyMs), static_cast<double>(kMaxCopyMs)));
}

uint32_t FarCopy::TimeOutMs(uint32_t expectedMs)
{
    return expectedMs < kLongCopyMs ? (expectedMs + kTimeOutSlackMs) * 5 : expectedMs * 2;
}

int FarCopy::Run(const char *clip, const char *destStore, int64_t durationMs, const CString &tag,
                 CVideoStoreA::tagCopyCallBack callback, const std::function<int(uint32_t)> &copy)
{
    if (durationMs <= 0) return 0;
    const uint32_t expected = ExpectedMs(durationMs, m_speed.load());
    const uint32_t timeOut = TimeOutMs(expected);

    const uint32_t started = plat::GetTickCount();
    plat::Thread worker = plat::Thread::Start([copy, tag, timeOut] {
        Debug("(%s) Command :################# Begin Copy ############################",
              tag.GetString());
        const int ok = copy(timeOut);
        // Every store's end line has the one tag, whatever its begin line named.
        Debug("(  S_TO_S) Command :################# End Copy(%s) ############################",
              ok ? "OK" : "Failed");
        return ok ? kCopyOk : kCopyFailed;
    });
    if (!worker.Valid()) return 0;
    callback.Report(0, 100);
    // The report rises linearly over the expected time and stays at 100 when the copy takes
    // longer; the wait ends as soon as the worker does.
    uint32_t remaining = expected;
    for (;;) {
        callback.Report(static_cast<int32_t>(int64_t{expected - remaining} * 100 / expected), 100);
        if (worker.Join(kProgressStepMs)) break;
        remaining -= std::min(remaining, kProgressStepMs);
    }
    const uint32_t elapsed = plat::TickElapsed(started);
    const bool ok = worker.ExitCode() == kCopyOk;
    worker.Close();
    if (!ok) return 0;
    callback.Report(100, 100);
    if (durationMs > kLearnAboveMs)
        m_speed = static_cast<double>(durationMs) / std::max<uint32_t>(elapsed, 1);

    if (auto *dest = OpenStore<CVideoStoreA>(destStore)) {
        CVideoClipCache::tagCLIP record =
            ClipRecord(clip, static_cast<int32_t>(durationMs / kMsPerFrame));
        dest->GetClipCache().AddClip(record);
    }
    return 1;
}

} // namespace ftpstore
