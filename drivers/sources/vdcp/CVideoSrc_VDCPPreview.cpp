// The preview side of the VDCP video source: goto, cue, jog, play, still and stop within the
// window of the previewed clip, and the thread that stops a preview play at its frame.
#include "drivers/sources/vdcp/CVideoSrc_VDCP.h"

#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

constexpr int32_t kFramesPerSecond = 25;

constexpr uint32_t kPreviewPauseMs = 100;
constexpr uint32_t kPreviewSettleMs = 200;
constexpr int32_t kNormalSpeed = 1000;
constexpr uint32_t kSlowPositionAgeMs = 2000;
constexpr uint32_t kFastPositionAgeMs = 500;
constexpr uint32_t kJogPositionAgeMs = 1000;
constexpr int32_t kStalePositionMs = 100;
constexpr int32_t kFreshPositionMs = 10;
constexpr int32_t kStopThreadWithinMs = 2001;
constexpr int32_t kStopEarlyMs = 50;
constexpr uint32_t kStopStepMs = 100;

} // namespace

struct CVideoSrc_VDCPDevice::StopRun {
    plat::Event stop{true, false};
    std::shared_ptr<std::atomic<int32_t>> speed;
};

CVideoSrc_VDCPDevice::tagPreview CVideoSrc_VDCPDevice::Preview()
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_preview;
}

void CVideoSrc_VDCPDevice::Window(int32_t &start, int32_t &end)
{
    const tagPreview preview = Preview();
    start = preview.nStart;
    // An empty window is its first frame.
    end = std::max(start, preview.nStart + preview.nLength - 1);
}

int32_t CVideoSrc_VDCPDevice::ClampToWindow(int32_t frame)
{
    int32_t start = 0, end = 0;
    Window(start, end);
    if (frame == kPreviewFirst) return start;
    if (frame == kPreviewLast) return end;
    return std::clamp(frame, start, end);
}

int CVideoSrc_VDCPDevice::PreviewGoto(int32_t frame)
{
    const int32_t target = ClampToWindow(frame);
    return Send([&](ISerialVDCP &e) { return e.Goto(target); });
}

int CVideoSrc_VDCPDevice::PreviewCue(const char *clip, int32_t som, int32_t dur, int32_t frame)
{
    const std::shared_ptr<ISerialVDCP> engine = Engine();
    if (!engine) return 0;
    return m_kind.bPreviewCuesWithData ? PreviewCueWithData(*engine, clip, som, dur)
                                       : PreviewCueStandard(*engine, clip, som, dur, frame);
}

int CVideoSrc_VDCPDevice::PreviewCueStandard(ISerialVDCP &engine, const char *clip, int32_t som,
                                             int32_t dur, int32_t frame)
{
    int32_t status1 = 0;
    engine.GetStatus(&status1, nullptr, nullptr, 0, nullptr);
    plat::Sleep(kPreviewPauseMs);
    const CString name = clip ? clip : "";
    // The clip is cued, played for a moment and stilled, so that the channel shows it.
    if (!(status1 & VDCP_ST_PLAYING)) {
        if (!engine.PlayCue(clip, kCueWaitMs)) return 0;
        if (!(m_Route.Engine().GetOptions() & kOptionNoPlayBeforeStill)) {
            plat::Sleep(kPreviewPauseMs);
            engine.Play();
        }
        plat::Sleep(kPreviewPauseMs);
        engine.Still();
        plat::Sleep(kPreviewSettleMs);
    } else if (Preview().strName != name) {
        if (!engine.PlayCue(clip, kCueWaitMs)) return 0;
        plat::Sleep(kPreviewPauseMs);
        engine.Play();
        plat::Sleep(kPreviewPauseMs);
        engine.Still();
        plat::Sleep(kPreviewSettleMs);
    }
    timecode_t size = 0;
    engine.GetIdSize(clip, size);
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_preview.strName = name;
        m_preview.nClipSize = size;
        m_preview.nStart = dur < 0 ? 0 : som;
        m_preview.nLength = dur < 0 ? static_cast<int32_t>(size) : dur;
    }
    return PreviewGoto(frame);
}

int CVideoSrc_VDCPDevice::PreviewCueWithData(ISerialVDCP &engine, const char *clip, int32_t som,
                                             int32_t dur)
{
    timecode_t size = 0;
    if (dur < 1) {
        if (!engine.GetIdSize(clip, size) || size == 0) return 0;
        dur = size;
    }
    if (!DevCue(clip, som, dur)) return 0;
    std::lock_guard<std::mutex> lk(m_lock);
    m_preview.strName = clip ? clip : "";
    m_preview.nClipSize = size;
    m_preview.nStart = som;
    m_preview.nLength = dur;
    return 1;
}

int CVideoSrc_VDCPDevice::PreviewJog(int32_t frames)
{
    const std::shared_ptr<ISerialVDCP> engine = Engine();
    if (!engine) return 0;
    int32_t position = 0;
    // Without a position the window cannot be kept: the jog goes as asked, and the server
    // stops at the clip's ends itself.
    if (!engine->GetPosition(&position, kJogPositionAgeMs, nullptr)) return engine->Jog(frames);
    int32_t start = 0, end = 0;
    Window(start, end);
    const int32_t target = static_cast<int32_t>(
        std::clamp<int64_t>(static_cast<int64_t>(position) + frames, start, end));
    if (target == position) return 1;
    return engine->Jog(target - position);
}

int CVideoSrc_VDCPDevice::PreviewPlay(double speed, void *)
{
    const std::shared_ptr<ISerialVDCP> engine = Engine();
    if (!engine) return 0;
    const int ok =
        std::fabs(speed - 1.0) >= 0.01 ? engine->VariablePlay(speed) : engine->Continue();
    m_pSpeed->store(static_cast<int32_t>(std::lround(speed * 1000)));
    return ok;
}

int CVideoSrc_VDCPDevice::PreviewStill()
{
    if (m_pSpeed->load() != 0) {
        Send([](ISerialVDCP &e) { return e.Still(); });
        m_pSpeed->store(0);
    }
    return 1;
}

int CVideoSrc_VDCPDevice::PreviewStop()
{
    const int ok = Send([](ISerialVDCP &e) { return e.Stop(); });
    // A stopped preview no longer moves: the stop thread must not hold it anywhere.
    m_pSpeed->store(0);
    std::lock_guard<std::mutex> lk(m_lock);
    m_preview.strName.Empty();
    return ok;
}

int32_t CVideoSrc_VDCPDevice::CalcPreviewStopTime(int32_t frame, int32_t *stopFrame)
{
    const int32_t speed = m_pSpeed->load();
    int32_t start = 0, end = 0;
    Window(start, end);
    int32_t bound = 0;
    int64_t distance = 0;
    if (speed > 0) {
        bound = end;
        distance = static_cast<int64_t>(end) - frame;
    } else if (speed < 0) {
        bound = start;
        distance = static_cast<int64_t>(frame) - start;
    }
    if (stopFrame) *stopFrame = bound;
    if (speed == 0) return 0;
    const int64_t ms = distance * 1000000 / kFramesPerSecond / std::abs(speed) - kStopEarlyMs;
    return static_cast<int32_t>(std::clamp<int64_t>(ms, 0, INT32_MAX));
}

int CVideoSrc_VDCPDevice::OnPreviewPlayStop(int32_t frame)
{
    const int32_t speed = m_pSpeed->load();
    if (speed == 0) return 0;
    const tagPreview preview = Preview();
    // The server stops by itself at either end of the clip.
    if (speed < 0 && preview.nStart == 0) return 0;
    if (speed > 0 && preview.nStart + preview.nLength == preview.nClipSize) return 0;
    int32_t stopFrame = 0;
    const int32_t ms = CalcPreviewStopTime(frame, &stopFrame);
    if (ms >= kStopThreadWithinMs) return 0;

    std::lock_guard<std::mutex> lk(m_lock);
    if (m_StopThread.IsRunning()) return 0;
    m_StopThread.Close();
    auto run = std::make_shared<StopRun>();
    run->speed = m_pSpeed;
    std::shared_ptr<CVDCP> engine = m_Route.SharedEngine();
    m_StopThread = plat::Thread::Start([engine, run, stopFrame, ms] {
        PreviewStopThread(engine, run, stopFrame, static_cast<uint32_t>(ms));
        return 0u;
    });
    m_pStopRun = run;
    return 1;
}

void CVideoSrc_VDCPDevice::PreviewStopThread(const std::shared_ptr<CVDCP> &engine,
                                             const std::shared_ptr<StopRun> &run, int32_t stopFrame,
                                             uint32_t ms)
{
    try {
        const uint32_t noted = plat::GetTickCount();
        for (;;) {
            const int32_t elapsed = plat::TickDiff(plat::GetTickCount(), noted);
            if (elapsed < 0 || static_cast<uint32_t>(elapsed) >= ms || run->speed->load() == 0)
                break;
            const uint32_t step = std::min(kStopStepMs, ms - static_cast<uint32_t>(elapsed));
            if (run->stop.Wait(step) == plat::WAIT_OBJECT_0) return;
        }
        if (run->speed->load() == 0) return;
        std::shared_ptr<ISerialVDCP> route;
        int32_t kind = 0;
        if (!engine->GetSharedPort(route, &kind) || !route) return;
        int32_t position = 0;
        if (!(route->GetPosition(&position, 0, nullptr) && position == stopFrame)) {
            route->Still();
            route->Goto(stopFrame);
        }
        run->speed->store(0);
    } catch (...) {
        // The preview goes on as it is; the next position read starts another stop.
    }
}

void CVideoSrc_VDCPDevice::EndStopThread()
{
    plat::Thread thread;
    std::shared_ptr<StopRun> run;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        thread = m_StopThread;
        run = m_pStopRun;
        m_StopThread.Close();
        m_pStopRun.reset();
    }
    if (run) run->stop.Set();
    // Its last exchanges (a position, a still and a jog) end within their reply waits; what
    // it touches is its own to share, so one that is late is given up.
    const uint32_t bound = 6 * (2 * m_Route.Engine().GetReplyWait() + 100);
    thread.StopWithin(bound, 0);
}

int CVideoSrc_VDCPDevice::PreviewGetPosition(int32_t *frames)
{
    const std::shared_ptr<ISerialVDCP> engine = Engine();
    if (!engine) return 0;
    const int32_t speed = m_pSpeed->load();
    const uint32_t age = std::abs(speed) <= kNormalSpeed ? kSlowPositionAgeMs : kFastPositionAgeMs;
    int32_t position = 0, since = 0;
    if (!engine->GetPosition(&position, static_cast<int32_t>(age), &since)) return 0;
    int32_t start = 0, end = 0;
    Window(start, end);
    if (position >= start && position <= end) {
        if (frames) *frames = position;
        if (since < kFreshPositionMs && speed != 0) OnPreviewPlayStop(position);
        return 1;
    }
    // Played past the window: held at the nearer bound.
    const int32_t bound = std::clamp(position, start, end);
    if (frames) *frames = bound;
    if (since > kStalePositionMs) return 0;
    if (position > end && speed != 0) OnPreviewPlayStop(bound);
    int32_t fresh = 0;
    if (engine->GetPosition(&fresh, 0, nullptr) && fresh != bound) {
        engine->Still();
        plat::Sleep(kPreviewPauseMs);
        engine->Goto(bound);
    }
    return 1;
}
