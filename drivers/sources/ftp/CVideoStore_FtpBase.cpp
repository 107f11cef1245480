#include "drivers/sources/ftp/CVideoStore_FtpBase.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "drivers/model/TickInterval.h"
#include "platform/Gbk.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace {

constexpr const char *kDescription = "视频存贮(基于Ftp协议的视频服务器)";
constexpr int32_t kDefaultPort = 21;
constexpr int64_t kMsPerFrame = 40;
constexpr uint32_t kLongCopyMs = 180000;
constexpr int64_t kLearnAboveMs = 5000;
constexpr uint32_t kProgressStepMs = 1000;
constexpr uint32_t kCopyOk = 0;
constexpr uint32_t kCopyFailed = 2;
constexpr int64_t kFramesPerByteRate = 200; // 25 frames a second, 8 bits a byte
constexpr int64_t kCacheValidFrames = 25 * 60;

// A cache record of the clip, its name cut between characters to the record's field.
CVideoClipCache::tagCLIP ClipRecord(const char *name, int32_t frames)
{
    CVideoClipCache::tagCLIP clip;
    const size_t length = plat::GbkCutLength(name, CVideoClipCache::kNameLength);
    std::memcpy(clip.szName, name, length);
    clip.szName[length] = 0;
    clip.nSize = frames;
    return clip;
}

// The live store of that name as a kind of T, opened on demand; null when there is none.
template <class T> T *OpenStore(const char *name)
{
    return dynamic_cast<T *>(CDeviceA::OpenDev(name, T::GetClassID()));
}

} // namespace

IMPLEMENT_KEST_CLASS(CVideoStore_FtpBase, CVideoStoreA)

CVideoStore_FtpBase::CVideoStore_FtpBase(const char *typeId) : CVideoStoreA(typeId)
{
    m_strDescription = kDescription;
    m_ClipCache.SetValidSpan(static_cast<int32_t>(kCacheValidFrames));
    m_MainClient.port = kDefaultPort;
    m_MainClient.SetHooks(this, &CVideoStore_FtpBase::OnRecv, &CVideoStore_FtpBase::OnInvalid,
                          &CVideoStore_FtpBase::OnSend);
}

CVideoStore_FtpBase::~CVideoStore_FtpBase()
{
    m_MainClient.SetHooks({}, {}, {});
    DevClose();
}

int32_t CVideoStore_FtpBase::OnInitInstance()
{
    if (!CVideoStoreA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    tagURL url;
    const CString server = setting["Server"].GetAsString("");
    if (!url.LoadFromString(server) || url.host.IsEmpty()) return 0;
    static_cast<tagURL &>(m_MainClient) = url;
    const int32_t port = setting["Port"].GetAsInteger(kDefaultPort);
    m_MainClient.port = port < 1 ? kDefaultPort : port;
    m_nBitRate = setting["BitRate"].GetAsInteger(m_nBitRate);
    m_bNoop = setting["Noop"].GetAsInteger(m_bNoop) ? 1 : 0;
    m_nClientLimit = setting["Client"].GetAsInteger(m_nClientLimit);
    if (url.scheme.CompareNoCase("FTP") != 0) {
        SetDevStatus(2);
        return 0;
    }
    SetDevStatus(0);
    return 1;
}

void CVideoStore_FtpBase::Debug(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    glReportDbgX(kLogType, format, args);
    va_end(args);
}

void CVideoStore_FtpBase::OnRecv(const CString &line)
{
    Debug("(%8s) Recv    :%s", GetInstanceName(), line.GetString());
}

void CVideoStore_FtpBase::OnInvalid(const CString &line)
{
    Debug("(%8s) Invalid :%s", GetInstanceName(), line.GetString());
}

void CVideoStore_FtpBase::OnSend(const CString &line)
{
    Debug("(%8s) Send    :%s", GetInstanceName(), line.GetString());
}

int CVideoStore_FtpBase::LogOn(CFtpClient &client)
{
    if (client.IsConnected()) return 1;
    if (!client.Login()) return 0;
    // Every clip name is relative to the start directory.
    if (!client.path.IsEmpty()) client.Cwd(client.path);
    return 1;
}

CFtpClient *CVideoStore_FtpBase::AcquireClient()
{
    std::unique_lock<std::mutex> lk(m_clientLock);
    if (static_cast<int32_t>(m_LentClients.size()) >= m_nClientLimit) return nullptr;
    if (std::find(m_LentClients.begin(), m_LentClients.end(), &m_MainClient) ==
        m_LentClients.end()) {
        m_LentClients.push_back(&m_MainClient);
        lk.unlock();
        LogOn(m_MainClient);
        return &m_MainClient;
    }
    // The slot is taken while the extra client logs on outside the lock.
    auto extra = std::make_unique<CFtpClient>();
    CFtpClient *client = extra.get();
    static_cast<tagURL &>(*client) = static_cast<const tagURL &>(m_MainClient);
    m_LentClients.push_back(client);
    m_ExtraClients.push_back(std::move(extra));
    lk.unlock();
    if (LogOn(*client)) return client;
    ReleaseClient(client);
    return nullptr;
}

void CVideoStore_FtpBase::ReleaseClient(CFtpClient *client)
{
    if (!client) return;
    std::unique_ptr<CFtpClient> extra;
    {
        std::lock_guard<std::mutex> lk(m_clientLock);
        const auto lent = std::find(m_LentClients.begin(), m_LentClients.end(), client);
        if (lent != m_LentClients.end()) m_LentClients.erase(lent);
        const auto owned = std::find_if(m_ExtraClients.begin(), m_ExtraClients.end(),
                                        [client](const auto &c) { return c.get() == client; });
        if (owned != m_ExtraClients.end()) {
            extra = std::move(*owned);
            m_ExtraClients.erase(owned);
        }
    }
    if (extra) extra->Close();
}

int CVideoStore_FtpBase::DevOpen()
{
    LogOn(m_MainClient);
    const bool connected = m_MainClient.IsConnected();
    if (connected)
        SetDevStatus(0);
    else
        SetDevStatus(3, "Ftp Error ");
    {
        std::lock_guard<CDataLock> lk(m_pendingLock);
        m_PendingCmds.RemoveAll();
    }
    return connected ? 1 : 0;
}

int CVideoStore_FtpBase::DevClose()
{
    // Extra clients are only alive while lent; they are closed and freed as they come back.
    m_MainClient.Close();
    return 1;
}

int CVideoStore_FtpBase::DevIsOpen()
{
    return m_MainClient.IsConnected();
}

int CVideoStore_FtpBase::DevTest(const char *)
{
    if (!m_MainClient.IsConnected()) {
        SetDevStatus(4);
        return 0;
    }
    SetDevStatus(0);
    if (m_MainClient.IsBusy()) return 1;
    if (m_bNoop && IsTickIntervalElapsed(m_dwLastNoop, kNoopIntervalMs) && !m_MainClient.Noop())
        m_MainClient.Close();
    return m_MainClient.IsConnected();
}

int CVideoStore_FtpBase::DevIDList(CStringArray &ids, int, int)
{
    ids.RemoveAll();
    DevLoadTotalClip();
    CVideoClipCache::tagCLIP clip;
    for (int i = 0; m_ClipCache.GetAt(i, clip); ++i) ids.Add(clip.szName);
    return ids.GetSize();
}

int CVideoStore_FtpBase::DevDelete(const char *clip, int)
{
    const CString command = CString("D ") + clip;
    AddPendingCommand(command);
    return RunPendingCommands(command);
}

int CVideoStore_FtpBase::DevRename(const char *clip, const char *newName)
{
    LentClient client(*this);
    return client ? client->Rename(clip, newName) : 0;
}

int CVideoStore_FtpBase::DevCopy(const char *, const char *)
{
    return 0;
}

int CVideoStore_FtpBase::DevGetClipSize(const char *clip)
{
    DevLoadTotalClip();
    CVideoClipCache::tagCLIP record;
    return m_ClipCache.GetAt(CString(clip), record) ? record.nSize : 0;
}

int CVideoStore_FtpBase::DevLoadTotalClip()
{
    std::unique_lock<std::mutex> loading(m_loadLock, std::try_to_lock);
    if (!loading.owns_lock() || m_ClipCache.IsLoading()) return 0;
    if (m_ClipCache.IsValid()) return 1;
    {
        LentClient client(*this);
        if (!client) return 1;
    }
    Debug("(%8s) Command : ################# Begin List ############################",
          GetInstanceName());
    m_ClipCache.SetLoading(1);
    const int result = LoadClipList();
    m_ClipCache.SetLoading(0);
    Debug("(%8s) Command : ################# End List( %s ) #######################",
          GetInstanceName(), result ? "OK" : "Failed");
    return result;
}

int32_t CVideoStore_FtpBase::BytesToFrames(int64_t bytes) const
{
    if (m_nBitRate <= 0) return 0;
    return static_cast<int32_t>(bytes * kFramesPerByteRate / m_nBitRate);
}

void CVideoStore_FtpBase::AddClipBytes(const char *name, int64_t bytes)
{
    CVideoClipCache::tagCLIP clip = ClipRecord(name, BytesToFrames(bytes));
    m_ClipCache.AddClip(clip);
}

void CVideoStore_FtpBase::MarkLoaded()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    m_ClipCache.SetLastLoadTime(now);
}

int CVideoStore_FtpBase::LoadClipList()
{
    LentClient client(*this);
    if (!client) return 0;
    CArray<tagFtpEntry> entries;
    if (!client->ListDir(nullptr, entries)) return 0;
    m_ClipCache.RemoveAll();
    for (int i = 0; i < entries.GetSize(); ++i)
        if (entries[i].type == tagFtpEntry::kFile) AddClipBytes(entries[i].name, entries[i].size);
    const int count = m_ClipCache.GetSize();
    if (count > 0) MarkLoaded();
    return count;
}

void CVideoStore_FtpBase::AddPendingCommand(const CString &command)
{
    if (command.IsEmpty()) return;
    std::lock_guard<CDataLock> lk(m_pendingLock);
    m_PendingCmds.AddTail(command);
}

int CVideoStore_FtpBase::RunPendingCommands(const CString &watch)
{
    LentClient client(*this);
    if (!client) return 0;
    return RunPendingFrom(*client, watch);
}

int CVideoStore_FtpBase::RunPendingFrom(CFtpClient &client, const CString &watch)
{
    int result = 1;
    bool seen = false;
    for (;;) {
        CString text;
        {
            std::lock_guard<CDataLock> lk(m_pendingLock);
            if (m_PendingCmds.IsEmpty()) break;
            text = m_PendingCmds.RemoveHead();
        }
        CString command = text, argument;
        const int blank = text.Find(' ');
        if (blank >= 0) {
            command = text.Left(blank);
            argument = text.Mid(blank + 1);
        } else {
            command.Trim();
        }
        const int r = RunPendingCommand(client, command, argument);
        if (!seen && !watch.IsEmpty() && text == watch) {
            seen = true;
            result = r;
        }
    }
    return result;
}

int CVideoStore_FtpBase::RunPendingCommand(CFtpClient &client, const char *command,
                                           const char *argument)
{
    if (!command || command[0] != 'D') return 0;
    if (!client.Dele(argument)) return 0;
    m_ClipCache.RemoveClip(argument);
    return 1;
}

int CVideoStore_FtpBase::CopyClipTo(const char *clip, const char *destStore, uint32_t timeOutMs)
{
    auto *dest = OpenStore<CVideoStore_FtpBase>(destStore);
    if (!dest) return 0;
    LentClient source(*this);
    LentClient target(*dest);
    if (!source || !target) return 0;
    const int result = source->CopyTo(clip, *target, timeOutMs);
    RunPendingFrom(*source, CString());
    dest->RunPendingFrom(*target, CString());
    return result;
}

uint32_t CVideoStore_FtpBase::ExpectedCopyMs(int64_t durationMs, double speed)
{
    // Clamped as a real number first, so that a slow speed never wraps the 32-bit time.
    const double expected = speed > 0 ? static_cast<double>(durationMs) / speed : kMaxCopyMs;
    return static_cast<uint32_t>(
        std::clamp(expected, static_cast<double>(kMinCopyMs), static_cast<double>(kMaxCopyMs)));
}

uint32_t CVideoStore_FtpBase::CopyTimeOutMs(uint32_t expectedMs)
{
    return expectedMs < kLongCopyMs ? (expectedMs + 2000) * 5 : expectedMs * 2;
}

uint32_t CVideoStore_FtpBase::CopyWorker(CVideoStore_FtpBase *store, CString clip, CString dest,
                                         uint32_t timeOutMs)
{
    store->Debug("(  S_TO_S) Command :################# Begin Copy ############################");
    const int ok = store->CopyClipTo(clip, dest, timeOutMs);
    store->Debug("(  S_TO_S) Command :################# End Copy(%s) ############################",
                 ok ? "OK" : "Failed");
    return ok ? kCopyOk : kCopyFailed;
}

int CVideoStore_FtpBase::DevFarCopy(const char *clip, const char *, const char *destStore,
                                    tagCopyCallBack callback)
{
    m_ClipCache.InvalidClip(clip);
    const int64_t duration = static_cast<int64_t>(DevGetClipSize(clip)) * kMsPerFrame;
    if (duration <= 0) return 0;
    const uint32_t expected = ExpectedCopyMs(duration, m_dCopySpeed.load());
    const uint32_t timeOut = CopyTimeOutMs(expected);

    const uint32_t started = plat::GetTickCount();
    plat::Thread worker = plat::Thread::Start(
        [this, name = CString(clip), dest = CString(destStore), timeOut] {
            return CopyWorker(this, name, dest, timeOut);
        });
    if (!worker.Valid()) return 0;
    callback.Report(0, 100);
    uint32_t remaining = expected;
    for (;;) {
        callback.Report(static_cast<int32_t>(int64_t(expected - remaining) * 100 / expected), 100);
        if (worker.Join(kProgressStepMs)) break;
        remaining -= std::min(remaining, kProgressStepMs);
    }
    const uint32_t elapsed = plat::TickElapsed(started);
    const bool ok = worker.ExitCode() == kCopyOk;
    worker.Close();
    if (!ok) return 0;
    callback.Report(100, 100);
    if (duration > kLearnAboveMs)
        m_dCopySpeed = static_cast<double>(duration) / std::max<uint32_t>(elapsed, 1);

    if (auto *dest = OpenStore<CVideoStoreA>(destStore)) {
        CVideoClipCache::tagCLIP record =
            ClipRecord(clip, static_cast<int32_t>(duration / kMsPerFrame));
        dest->GetClipCache().AddClip(record);
    }
    return 1;
}
