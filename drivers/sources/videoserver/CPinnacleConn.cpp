#include "drivers/sources/videoserver/CPinnacleConn.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "drivers/model/TickInterval.h"
#include "drivers/sources/videoserver/HpvsLibrary.h"
#include "platform/TimeSource.h"

#include <cstdarg>
#include <cstring>

namespace {

constexpr const char *kLogType = "LOG_TASK";
constexpr int32_t kMediaKind = 3;
constexpr int32_t kStatusKind = 1;
constexpr uint32_t kIdleWrap = 0x10000000;

void LogTask(const char *format, ...) __attribute__((format(printf, 1, 2)));
void LogTask(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    glReportLog(kLogType, text, nullptr);
}

// The names of one chunk of a listing.
void Append(CStringArray &names, const char (*chunk)[HPVS_CLIP_NAME], int32_t count)
{
    for (int32_t i = 0; i < count && i < CPinnacleConn::kListChunk; ++i)
        names.Add(CString(chunk[i], static_cast<int>(strnlen(chunk[i], HPVS_CLIP_NAME))));
}

} // namespace

CPinnacleConn::CPinnacleConn()
{
    hpvs::ConnectionCreated();
    CResAccess setting("/etc/tvx/Ovra_Device");
    m_bNeedTest = setting["PinConnNeedTest"].GetAsBool(false);
    m_nTimeOut = setting["PinConnTimeOut"].GetAsInteger(0);
    m_dwLastActivity = plat::GetTickCount();
}

CPinnacleConn::~CPinnacleConn()
{
    m_evStop.Set();
    Close();
    hpvs::ConnectionDestroyed();
}

bool CPinnacleConn::Done(int32_t result)
{
    m_dwLastActivity = plat::GetTickCount();
    if (result != 0) CloseLocked();
    return result == 0;
}

int CPinnacleConn::Open(bool reopen)
{
    hpvs::Start();
    std::lock_guard<std::recursive_mutex> lk(m_lock);
    if (reopen) CloseLocked();
    if (m_nHandle) return 1;
    if (!IsTickIntervalElapsed(m_dwLastOpen, kOpenIntervalMs)) return 0;
    if (const auto create = hpvs::Library().createConn) {
        if (create(m_strConnection, 0, &m_nHandle, &m_Status) != 0) m_nHandle = 0;
        m_dwLastActivity = plat::GetTickCount();
    }
    if (m_nHandle)
        LogTask("$$$ *%s* CPinnacleConn::Open  打开连接成功", m_strConnection.GetString());
    else
        LogTask("$$$ *%s* CPinnacleConn::Open  打开连接失败", m_strConnection.GetString());
    return m_nHandle ? 1 : 0;
}

int CPinnacleConn::CloseLocked()
{
    if (m_nHandle) {
        if (const auto destroy = hpvs::Library().destroyConn) destroy(m_nHandle, &m_Status);
        m_dwLastActivity = plat::GetTickCount();
    }
    m_nHandle = 0;
    return 1;
}

int CPinnacleConn::Close()
{
    std::lock_guard<std::recursive_mutex> lk(m_lock);
    return CloseLocked();
}

int CPinnacleConn::IsOpen() const
{
    std::lock_guard<std::recursive_mutex> lk(m_lock);
    return m_nHandle ? 1 : 0;
}

int CPinnacleConn::Test()
{
    std::lock_guard<std::recursive_mutex> lk(m_lock);
    if (!m_bNeedTest || !m_nHandle) return 1;
    uint32_t idle = plat::GetTickCount() - m_dwLastActivity;
    if (idle >= kIdleWrap) idle = 0;
    if (idle < kQuietMs) return 1;
    if (idle > kIdleCloseMs) {
        CloseLocked();
        return 0;
    }
    const auto list = hpvs::Library().listNodes;
    hpvs_node_t nodes[kListChunk];
    int32_t count = 0, more = 0, next = 0;
    const int32_t result = list ? list(kListChunk, nodes, &count, &more, &next, &m_Status) : -1;
    return Done(result) ? 1 : 0;
}

int CPinnacleConn::ListMedia(CStringArray &names)
{
    names.RemoveAll();
    if (!Open(false)) return 0;
    std::lock_guard<std::recursive_mutex> lk(m_lock);
    const hpvs::Entries &lib = hpvs::Library();
    if (!lib.listMedia || !m_nHandle) return 0;
    char chunk[kListChunk][HPVS_CLIP_NAME] = {};
    int32_t count = 0, more = 0, next = 0;
    if (!Done(lib.listMedia(m_strNode, kMediaKind, kListChunk, chunk, m_nHandle, &count, &more,
                            &next, &m_Status)))
        return 0;
    Append(names, chunk, count);
    while (more) {
        more = 0;
        count = 0;
        const int32_t result =
            lib.nextMedia ? lib.nextMedia(next, kListChunk, chunk, &count, &more, &m_Status) : -1;
        if (!Done(result)) break;
        Append(names, chunk, count);
    }
    return names.GetSize();
}

int CPinnacleConn::GetMediaSize(const char *clip)
{
    if (!Open(false)) {
        CString text;
        text.Format("GetMediaSize(ClipID:%s),DevOpen Failed!", clip ? clip : "");
        glReportLog("LOG_DEBUG", text, nullptr);
        return 0;
    }
    std::lock_guard<std::recursive_mutex> lk(m_lock);
    const auto query = hpvs::Library().queryMedia;
    hpvs_media_t media{};
    const int32_t result = query ? query(m_strNode, clip, m_nHandle, &media, &m_Status) : -1;
    if (!Done(result)) return 0;
    const hpvs_timecode_t &d = media.duration;
    return d.hours * 90000 + d.minutes * 1500 + d.seconds * 25 + d.frames;
}

int CPinnacleConn::DeleteMedia(const char *clip)
{
    if (!Open(false)) return 0;
    std::lock_guard<std::recursive_mutex> lk(m_lock);
    const auto remove = hpvs::Library().deleteMedia;
    return Done(remove ? remove(m_strNode, clip, m_nHandle, &m_Status) : -1) ? 1 : 0;
}

int CPinnacleConn::RenameFile(const char *from, const char *to)
{
    if (!Open(false)) return 0;
    std::lock_guard<std::recursive_mutex> lk(m_lock);
    const auto rename = hpvs::Library().renameFile;
    return Done(rename ? rename(m_nHandle, from, to, &m_Status) : -1) ? 1 : 0;
}

int CPinnacleConn::CopyMediaFrom(const char *clip, const char *sourceNode, const char *destClip,
                                 CVideoStoreA::tagCopyCallBack callback)
{
    if (!Open(false)) return 0;
    int32_t command = 0;
    {
        std::lock_guard<std::recursive_mutex> lk(m_lock);
        if (!m_nHandle) {
            LogTask("$$$ %s CPinnacleConn::CopyMediaFrom  m_Handle = 0", clip);
            return 0;
        }
        const auto copy = hpvs::Library().copyMedia;
        const int32_t result =
            copy ? copy(sourceNode, clip, m_strNode, destClip, 0, m_nHandle, &command, &m_Status)
                 : -1;
        if (!Done(result)) return 0;
    }
    // The library names the copy as the source clip when it is given no name.
    return PollCopy(command, clip, destClip && *destClip ? destClip : clip, callback);
}

int CPinnacleConn::PollCopy(int32_t command, const char *clip, const char *destClip,
                            CVideoStoreA::tagCopyCallBack callback)
{
    const hpvs::Entries &lib = hpvs::Library();
    double lastPercent = 0;
    int32_t lastWhole = -1;
    int stalls = 0;
    for (;;) {
        hpvs_cmd_t record{};
        int32_t result = -1;
        {
            std::lock_guard<std::recursive_mutex> lk(m_lock);
            if (lib.cmdStatus) result = lib.cmdStatus(command, kStatusKind, &record, &m_Status);
            Done(result);
        }
        if (result == 0 && record.state == HPVS_CMD_DONE) {
            LogTask("$$$ ##Copy Done %s# Ret:%d CPinnacleConn::CopyMediaFrom.", clip, result);
            return GetMediaSize(destClip) > 0 ? 1 : 0;
        }
        if (result != 0) {
            if (lastPercent >= 90) {
                LogTask("$$$  %s CPinnacleConn::CopyMediaFrom  nPercentDone > 90", clip);
                return GetMediaSize(destClip) > 0 ? 1 : 0;
            }
            LogTask("$$$  %s CPinnacleConn::CopyMediaFrom  nPercentDone < 90", clip);
            return 0;
        }
        lastPercent = record.percentDone;
        callback.Report(static_cast<int32_t>(record.percentDone), 100);
        const int32_t whole = static_cast<int32_t>(record.percentDone);
        stalls = whole == lastWhole ? stalls + 1 : 0;
        lastWhole = whole;
        if (stalls >= kMaxStalls) break;
        if (m_evStop.Wait(kPollMs) == plat::WAIT_OBJECT_0) return 0;
    }
    int32_t code = 0;
    {
        std::lock_guard<std::recursive_mutex> lk(m_lock);
        if (lib.terminateCmd) lib.terminateCmd(command, &m_Status);
        code = m_Status.code;
    }
    m_evStop.Wait(kPollMs);
    LogTask("$$$ ## Terminate Copy Process %s# Ret:%d CPinnacleConn::CopyMediaFrom.", clip, code);
    return 0;
}
