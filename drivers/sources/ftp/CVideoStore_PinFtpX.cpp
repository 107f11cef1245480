#include "drivers/sources/ftp/CVideoStore_PinFtpX.h"

#include "KestLib20/CResAccess.h"
#include "KestLib20/StringConvert.h"
#include "drivers/sources/ftp/FtpKeyFiles.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int32_t kDefaultPort = 21;
constexpr int64_t kMsPerFrame = 40;
constexpr int32_t kCacheValidFrames = 25 * 60;

// A site from its key list; false when the key is missing or empty.
bool ReadSite(CResAccess &setting, int number, tagFtpSite &site)
{
    CString key;
    key.Format("ftp.%d", number);
    CStringArray items;
    if (setting[key].GetAsStringArray(items) == 0) return false;
    CString server;
    for (int i = 0; i < items.GetSize(); ++i) {
        const int equals = items[i].Find('=');
        if (equals < 0) continue;
        CString name = items[i].Left(equals), value = items[i].Mid(equals + 1);
        name.Trim();
        value.Trim();
        if (name.CompareNoCase("Server") == 0)
            server = value;
        else if (name.CompareNoCase("Max") == 0)
            site.max = std::atoi(value);
        else if (name.CompareNoCase("Dest") == 0)
            site.dest = value;
        else if (name.CompareNoCase("UsingRMD") == 0)
            site.usingRMD = StrToBool(value, site.usingRMD != 0) ? 1 : 0;
    }
    if (server.IsEmpty()) return false;
    site.url.LoadFromString(server);
    if (site.url.port < 1) site.url.port = kDefaultPort;
    site.dest.MakeUpper();
    return true;
}

// Gives a pooled client back to its store when it goes.
class PooledLease {
public:
    PooledLease(CVideoStore_PinFtpX &store) : m_store(store) {}
    ~PooledLease() { m_store.ReleaseClient(client); }
    PooledLease(const PooledLease &) = delete;
    PooledLease &operator=(const PooledLease &) = delete;
    CPooledFtpClient *client = nullptr;

private:
    CVideoStore_PinFtpX &m_store;
};

} // namespace

IMPLEMENT_KEST_CLASS(CVideoStore_PinFtpX, CVideoStoreA)

CVideoStore_PinFtpX::CVideoStore_PinFtpX() : CVideoStoreA("LVSTORE_BVS_FTP2")
{
    m_ClipCache.SetValidSpan(kCacheValidFrames);
    DefaultKeyFiles(m_KeyFiles);
    for (int i = 0; i < m_KeyFiles.GetSize(); ++i) m_KeySet.insert(m_KeyFiles[i].GetString());
    ftpstore::SetLogHooks(m_MainClient, this);
}

CVideoStore_PinFtpX::~CVideoStore_PinFtpX()
{
    m_MainClient.SetHooks({}, {}, {});
    DevClose();
    std::lock_guard<CDataLock> lk(m_siteLock);
    for (tagFtpSite &site : m_Sites)
        for (auto &client : site.inUse) client->SetHooks({}, {}, {});
}

int32_t CVideoStore_PinFtpX::OnInitInstance()
{
    if (!CVideoStoreA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    std::vector<tagFtpSite> sites;
    for (int number = 1; number <= kMaxSites; ++number) {
        tagFtpSite site;
        if (!ReadSite(setting, number, site)) break;
        sites.push_back(std::move(site));
    }
    m_nBitRate = setting["BitRate"].GetAsInteger(m_nBitRate);
    for (const tagFtpSite &site : sites) ftpstore::NoteIgnoredPath(GetInstanceName(), site.url);
    std::lock_guard<CDataLock> lk(m_siteLock);
    m_Sites = std::move(sites);
    if (m_Sites.empty()) return 0;
    static_cast<tagURL &>(m_MainClient) = m_Sites.front().url;
    m_bUsingRMD = m_Sites.front().usingRMD;
    return m_Sites.front().url.host.IsEmpty() ? 0 : 1;
}

int CVideoStore_PinFtpX::GetSiteCount()
{
    std::lock_guard<CDataLock> lk(m_siteLock);
    return static_cast<int>(m_Sites.size());
}

CPooledFtpClient *CVideoStore_PinFtpX::AcquireClient(const char *name)
{
    CString wanted(name);
    wanted.MakeUpper();
    std::lock_guard<CDataLock> lk(m_siteLock);
    auto site = std::find_if(m_Sites.begin(), m_Sites.end(), [&](const tagFtpSite &s) {
        return !wanted.IsEmpty() && s.dest.Find(wanted) >= 0;
    });
    if (site == m_Sites.end())
        site = std::find_if(m_Sites.begin(), m_Sites.end(), [](const tagFtpSite &s) {
            return static_cast<int32_t>(s.inUse.size()) < s.max;
        });
    if (site == m_Sites.end()) return nullptr;
    std::unique_ptr<CPooledFtpClient> client;
    if (!site->idle.empty()) {
        client = std::move(site->idle.front());
        site->idle.erase(site->idle.begin());
    } else {
        client = std::make_unique<CPooledFtpClient>();
        static_cast<tagURL &>(*client) = site->url;
        client->m_bUsingRMD = site->usingRMD;
        ftpstore::SetLogHooks(*client, this);
    }
    site->inUse.push_back(std::move(client));
    return site->inUse.back().get();
}

void CVideoStore_PinFtpX::ReleaseClient(CPooledFtpClient *client)
{
    if (!client) return;
    std::lock_guard<CDataLock> lk(m_siteLock);
    for (tagFtpSite &site : m_Sites) {
        const auto lent = std::find_if(site.inUse.begin(), site.inUse.end(),
                                       [client](const auto &c) { return c.get() == client; });
        if (lent == site.inUse.end()) continue;
        site.idle.push_back(std::move(*lent));
        site.inUse.erase(lent);
        return;
    }
}

int CVideoStore_PinFtpX::DevOpen()
{
    ftpstore::LogOn(m_MainClient);
    const int connected = m_MainClient.IsConnected();
    if (connected)
        SetDevStatus(DEVSTATUS_NORMAL);
    else
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED, "Ftp Error ");
    return connected;
}

int CVideoStore_PinFtpX::DevClose()
{
    m_MainClient.Close();
    std::vector<std::unique_ptr<CPooledFtpClient>> idle;
    {
        std::lock_guard<CDataLock> lk(m_siteLock);
        for (tagFtpSite &site : m_Sites) {
            for (auto &client : site.idle) idle.push_back(std::move(client));
            site.idle.clear();
        }
    }
    for (auto &client : idle) client->SetHooks({}, {}, {});
    return 1; // the clients close as they go
}

int CVideoStore_PinFtpX::DevIsOpen()
{
    return m_MainClient.IsConnected();
}

int CVideoStore_PinFtpX::DevTest(const char *)
{
    std::vector<std::unique_ptr<CPooledFtpClient>> lost;
    {
        std::lock_guard<CDataLock> lk(m_siteLock);
        for (tagFtpSite &site : m_Sites) {
            auto keep = std::stable_partition(site.idle.begin(), site.idle.end(),
                                              [](const auto &c) { return c->IsConnected(); });
            std::move(keep, site.idle.end(), std::back_inserter(lost));
            site.idle.erase(keep, site.idle.end());
        }
    }
    for (auto &client : lost) client->SetHooks({}, {}, {});
    return 1;
}

int CVideoStore_PinFtpX::DevIDList(CStringArray &ids, int, int)
{
    DevLoadTotalClip();
    return ftpstore::CachedIds(m_ClipCache, ids);
}

int CVideoStore_PinFtpX::DevDelete(const char *clip, int)
{
    std::lock_guard<std::mutex> walking(m_walkLock);
    if (!ftpstore::LogOn(m_MainClient)) return 0;
    const int ok = m_bUsingRMD ? m_MainClient.Rmd(clip) : m_MainClient.DeleteTree(clip);
    if (ok) m_ClipCache.RemoveClip(clip);
    return ok;
}

int CVideoStore_PinFtpX::DevRename(const char *clip, const char *newName)
{
    std::lock_guard<std::mutex> walking(m_walkLock);
    if (!ftpstore::LogOn(m_MainClient) || !m_MainClient.Rename(clip, newName)) return 0;
    ftpstore::RenameCached(m_ClipCache, clip, newName);
    return 1;
}

int CVideoStore_PinFtpX::DevCopy(const char *, const char *)
{
    return 0;
}

int CVideoStore_PinFtpX::DevGetClipSize(const char *clip)
{
    DevLoadTotalClip();
    return ftpstore::CachedFrames(m_ClipCache, clip);
}

int CVideoStore_PinFtpX::DevLoadTotalClip()
{
    return m_Loader.LoadIfDue(
        GetInstanceName(), m_ClipCache, [this] { return ftpstore::LogOn(m_MainClient) != 0; }, 0,
        [this] { return LoadClipList(); });
}

int CVideoStore_PinFtpX::LoadClipList()
{
    std::lock_guard<std::mutex> walking(m_walkLock);
    CArray<tagFtpEntry> dirs;
    if (!ftpstore::LogOn(m_MainClient) || !m_MainClient.ListSubDirs(nullptr, dirs)) return 0;
    CStringArray names;
    for (int i = 0; i < dirs.GetSize(); ++i) {
        tagFtpEntry &dir = dirs[i];
        int32_t files = 0;
        if (dir.size == 0) m_MainClient.GetDirSize(dir.name, dir.size, files);
        names.Add(dir.name);
    }
    m_ClipCache.RefreshCache(names);
    for (int i = 0; i < dirs.GetSize(); ++i)
        ftpstore::AddClipBytes(m_ClipCache, dirs[i].name, dirs[i].size, m_nBitRate);
    ftpstore::MarkLoaded(m_ClipCache);
    return 1;
}

bool CVideoStore_PinFtpX::Connect(CPooledFtpClient *&client, const char *name)
{
    for (int attempt = 0; attempt < kConnectTries; ++attempt) {
        if (client && client->IsConnected()) return true;
        plat::Sleep(kConnectPauseMs);
        if (!client) client = AcquireClient(name);
        if (client) ftpstore::LogOn(*client);
    }
    return client && client->IsConnected();
}

int CVideoStore_PinFtpX::CopyClipTo(const char *clip, const char *destStore, uint32_t timeOutMs)
{
    if (!clip || !*clip) return 0;
    auto *dest = ftpstore::OpenStore<CVideoStore_PinFtpX>(destStore);
    if (!dest) return 0;
    PooledLease source(*this), target(*dest);
    if (!Connect(source.client, dest->GetInstanceName()) ||
        !dest->Connect(target.client, GetInstanceName()))
        return 0;
    return CopyKeyedClip(*source.client, *target.client, clip, m_KeyFiles, timeOutMs,
                         target.client->m_bUsingRMD ? KeyedClipRemoval::kRmd
                                                    : KeyedClipRemoval::kDeleteTree);
}

int CVideoStore_PinFtpX::DevFarCopy(const char *clip, const char *, const char *destStore,
                                    tagCopyCallBack callback)
{
    m_ClipCache.InvalidClip(clip);
    const int64_t duration = static_cast<int64_t>(DevGetClipSize(clip)) * kMsPerFrame;
    CString tag;
    tag.Format("  %s_TO_%s", clip, destStore);
    return m_FarCopy.Run(clip, destStore, duration, tag, callback,
                         [this, name = CString(clip), dest = CString(destStore)](uint32_t timeOut) {
                             return CopyClipTo(name, dest, timeOut);
                         });
}
