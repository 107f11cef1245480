#include "drivers/sources/ftp/CVideoStore_FtpBase.h"

#include "KestLib20/CResAccess.h"
#include "drivers/model/TickInterval.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace {

constexpr const char *kDescription = "视频存贮(基于Ftp协议的视频服务器)";
constexpr int32_t kDefaultPort = 21;
constexpr int64_t kMsPerFrame = 40;
constexpr int32_t kCacheValidFrames = 25 * 60;

} // namespace

using ftpstore::OpenStore;

IMPLEMENT_KEST_CLASS(CVideoStore_FtpBase, CVideoStoreA)

CVideoStore_FtpBase::CVideoStore_FtpBase(const char *typeId) : CVideoStoreA(typeId)
{
    m_strDescription = kDescription;
    m_ClipCache.SetValidSpan(kCacheValidFrames);
    m_MainClient.port = kDefaultPort;
    ftpstore::SetLogHooks(m_MainClient, this);
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
    m_bNoop = setting["Noop"].GetAsBool(m_bNoop != 0) ? 1 : 0;
    m_nClientLimit = setting["Client"].GetAsInteger(m_nClientLimit);
    if (url.scheme.CompareNoCase("FTP") != 0) {
        SetDevStatus(DEVSTATUS_BAD_SETTING);
        return 0;
    }
    ftpstore::NoteIgnoredPath(GetInstanceName(), url);
    SetDevStatus(DEVSTATUS_NORMAL);
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
        ftpstore::LogOn(m_MainClient);
        return &m_MainClient;
    }
    // The slot is taken while the extra client logs on outside the lock.
    auto extra = std::make_unique<CFtpClient>();
    CFtpClient *client = extra.get();
    static_cast<tagURL &>(*client) = static_cast<const tagURL &>(m_MainClient);
    m_LentClients.push_back(client);
    m_ExtraClients.push_back(std::move(extra));
    lk.unlock();
    if (ftpstore::LogOn(*client)) return client;
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
    ftpstore::LogOn(m_MainClient);
    const bool connected = m_MainClient.IsConnected();
    if (connected)
        SetDevStatus(DEVSTATUS_NORMAL);
    else
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED, "Ftp Error ");
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
        SetDevStatus(DEVSTATUS_NET_FAILED);
        return 0;
    }
    SetDevStatus(DEVSTATUS_NORMAL);
    if (m_MainClient.IsBusy()) return 1;
    if (m_bNoop && IsTickIntervalElapsed(m_dwLastNoop, kNoopIntervalMs) && !m_MainClient.Noop())
        m_MainClient.Close();
    return m_MainClient.IsConnected();
}

int CVideoStore_FtpBase::DevIDList(CStringArray &ids, int, int)
{
    DevLoadTotalClip();
    return ftpstore::CachedIds(m_ClipCache, ids);
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
    if (!client || !client->Rename(clip, newName)) return 0;
    ftpstore::RenameCached(m_ClipCache, clip, newName);
    return 1;
}

int CVideoStore_FtpBase::DevCopy(const char *, const char *)
{
    return 0;
}

int CVideoStore_FtpBase::DevGetClipSize(const char *clip)
{
    DevLoadTotalClip();
    return ftpstore::CachedFrames(m_ClipCache, clip);
}

int CVideoStore_FtpBase::DevLoadTotalClip()
{
    // Without a free connection the cache stays as it is.
    return m_Loader.LoadIfDue(
        GetInstanceName(), m_ClipCache, [this] { return static_cast<bool>(LentClient(*this)); }, 1,
        [this] { return LoadClipList(); });
}

void CVideoStore_FtpBase::AddClipBytes(const char *name, int64_t bytes)
{
    ftpstore::AddClipBytes(m_ClipCache, name, bytes, m_nBitRate);
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
    if (count > 0) ftpstore::MarkLoaded(m_ClipCache);
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

int CVideoStore_FtpBase::RunDelete(const char *command, const char *argument,
                                   const std::function<int(const char *)> &remove)
{
    if (!command || command[0] != 'D' || !remove(argument)) return 0;
    m_ClipCache.RemoveClip(argument);
    return 1;
}

int CVideoStore_FtpBase::RunPendingCommand(CFtpClient &client, const char *command,
                                           const char *argument)
{
    return RunDelete(command, argument, [&](const char *file) { return client.Dele(file); });
}

int CVideoStore_FtpBase::CopyBetween(CVideoStore_FtpBase *dest, const CopyStep &copy)
{
    if (!dest) return 0;
    LentClient source(*this);
    LentClient target(*dest);
    if (!source || !target) return 0;
    const int result = copy(*source, *target);
    RunPendingFrom(*source, CString());
    dest->RunPendingFrom(*target, CString());
    return result;
}

int CVideoStore_FtpBase::CopyClipTo(const char *clip, const char *destStore, uint32_t timeOutMs)
{
    return CopyBetween(OpenStore<CVideoStore_FtpBase>(destStore),
                       [&](CFtpClient &source, CFtpClient &target) {
                           return source.CopyTo(clip, target, timeOutMs);
                       });
}

int CVideoStore_FtpBase::DevFarCopy(const char *clip, const char *, const char *destStore,
                                    tagCopyCallBack callback)
{
    m_ClipCache.InvalidClip(clip);
    const int64_t duration = static_cast<int64_t>(DevGetClipSize(clip)) * kMsPerFrame;
    return m_FarCopy.Run(clip, destStore, duration, "  S_TO_S", callback,
                         [this, name = CString(clip), dest = CString(destStore)](uint32_t timeOut) {
                             return CopyClipTo(name, dest, timeOut);
                         });
}
