#include "drivers/sources/ftpagent/CVideoStore_FtpAgent.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "drivers/sources/ftp/FtpStoreCommon.h"
#include "platform/TimeSource.h"

#include <algorithm>

namespace {

void Log(const char *text)
{
    glReportLog(ftpstore::kLogType, text, nullptr);
}

} // namespace

IMPLEMENT_KEST_CLASS(CVideoStore_FtpAgent, CVideoStoreA)
IMPLEMENT_KEST_CLASS(CVideoStore_FtpAgentX, CVideoStore_FtpAgent)

CVideoStore_FtpAgent::CVideoStore_FtpAgent() = default;

CVideoStore_FtpAgent::~CVideoStore_FtpAgent()
{
    m_evStop.Set();
    DisconnectAgent();
}

int32_t CVideoStore_FtpAgent::OnInitInstance()
{
    if (!CVideoStoreA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_nBitRate = setting["BitRate"].GetAsInteger(kDefaultBitRate);
    m_dTransRate = setting["TransRate"].GetAsFloat(kDefaultTransRate);
    m_strAgent = setting["FtpAgent"].GetAsString("");
    m_strSite = setting["FtpSite"].GetAsString("");
    return 1;
}

void CVideoStore_FtpAgent::ConnectAgent()
{
    std::lock_guard<std::mutex> lk(m_agentLock);
    if (m_dwCookie.load()) return;
    std::shared_ptr<IFtpAgent> agent = ftpagent::CreateInstance(ftpagent::kAgentClassId);
    if (!agent) return;
    agent->AgentOpen(m_strAgent, 0, CString());
    agent->AgentConnect(m_strAgent);
    int32_t ready = 0;
    agent->AgentIsReady(ready);
    if (ready) m_dwCookie = ftpagent::RegisterInterfaceInGlobal(std::move(agent));
}

std::shared_ptr<IFtpAgent> CVideoStore_FtpAgent::FetchAgent()
{
    ConnectAgent();
    const uint32_t cookie = m_dwCookie.load();
    std::shared_ptr<IFtpAgent> agent = ftpagent::GetInterfaceFromGlobal(cookie);
    if (!agent && cookie) {
        ftpagent::RevokeInterfaceFromGlobal(cookie);
        uint32_t expected = cookie;
        m_dwCookie.compare_exchange_strong(expected, 0);
    }
    return agent;
}

void CVideoStore_FtpAgent::DisconnectAgent()
{
    std::lock_guard<std::mutex> lk(m_agentLock);
    if (const uint32_t cookie = m_dwCookie.exchange(0)) ftpagent::RevokeInterfaceFromGlobal(cookie);
}

int CVideoStore_FtpAgent::DevOpen()
{
    return 1;
}

int CVideoStore_FtpAgent::DevClose()
{
    DisconnectAgent();
    return 1;
}

int CVideoStore_FtpAgent::DevIsOpen()
{
    return FetchAgent() ? 1 : 0;
}

int CVideoStore_FtpAgent::DevTest(const char *)
{
    Log("Begin FtpAgent Test");
    int32_t alive = 0;
    if (const auto agent = FetchAgent()) agent->IsAlive(alive);
    Log("End FtpAgent Test");
    return alive ? 1 : 0;
}

int CVideoStore_FtpAgent::DevIDList(CStringArray &ids, int, int)
{
    DevOpen();
    DevLoadTotalClip();
    ftpstore::CachedIds(m_ClipCache, ids);
    return 1;
}

int CVideoStore_FtpAgent::DevDelete(const char *clip, int)
{
    const auto agent = FetchAgent();
    if (!agent) return 0;
    Log("Begin EraseFile");
    const int32_t result = agent->EraseFile(m_strSite, clip);
    Log("End Erase File");
    return result == 0 ? 1 : 0;
}

int CVideoStore_FtpAgent::DevRename(const char *clip, const char *newName)
{
    const auto agent = FetchAgent();
    return agent && agent->RenameFile(m_strSite, clip, newName) == 0 ? 1 : 0;
}

int CVideoStore_FtpAgent::DevCopy(const char *, const char *)
{
    return 1;
}

int CVideoStore_FtpAgent::DevGetClipSize(const char *clip)
{
    DevLoadTotalClip();
    return ftpstore::CachedFrames(m_ClipCache, clip);
}

int CVideoStore_FtpAgent::DevLoadTotalClip()
{
    if (m_ClipCache.IsValid()) return 1;
    const auto agent = FetchAgent();
    CString names;
    if (!agent || agent->ListFiles(m_strSite, CString(), names) != 0) return 0;
    m_ClipCache.RemoveAll();
    for (int first = 0; first < names.GetLength();) {
        int end = names.Find(';', first);
        if (end < 0) end = names.GetLength();
        if (end == first) break; // an empty piece ends the list
        const CString name = names.Mid(first, end - first);
        first = end + 1;
        double size = 0;
        int64_t time = 0;
        int32_t attributes = 0;
        agent->GetFileInfo(m_strSite, name, size, time, attributes);
        const int32_t frames = m_nBitRate > 0 ? static_cast<int32_t>(size * 200 / m_nBitRate) : 0;
        CVideoClipCache::tagCLIP clip = ftpstore::ClipRecord(name, frames);
        m_ClipCache.AddClip(clip);
    }
    return 1;
}

int CVideoStore_FtpAgent::ResolveSites(const char *, const char *destStore, CString &source,
                                       CString &dest)
{
    source = m_strSite;
    auto *store = ftpstore::OpenStore<CVideoStore_FtpAgent>(destStore);
    if (!store) return 0;
    dest = store->GetSiteName();
    return 1;
}

int CVideoStore_FtpAgent::DevFarCopy(const char *clip, const char *, const char *destStore,
                                     tagCopyCallBack callback)
{
    if (!m_ClipCache.IsExists(clip)) {
        Log("Begin Load Clip From FtpServer");
        DevLoadTotalClip();
        Log("End of Load Clip From FtpServer");
    }
    const int64_t frames = ftpstore::CachedFrames(m_ClipCache, clip);
    int64_t expected = int64_t{m_nBitRate / 8} * (frames / 25);
    if (expected < 1) expected = kUnknownSize;

    const auto agent = FetchAgent();
    if (!agent) return 0;
    CString source, dest;
    if (!ResolveSites(clip, destStore, source, dest)) return 0;

    Log("Begin Add Copy Task to FtpAgent");
    int32_t task = 0;
    const bool added = agent->AddCopyTask(source, dest, clip, task) == 0;
    ftpstore::Debug("End of Add Copy Task (%s)", added ? "OK" : "failed");
    if (!added) return 0;

    callback.Report(0, 100);
    const uint32_t start = plat::GetTickCount();
    bool ended = false;
    for (int poll = 0; poll < kMaxPolls; ++poll) {
        if (plat::TickDiff(plat::GetTickCount(), start) < 0) break;
        int32_t alive = 0;
        if (agent->IsAlive(alive) != 0 || !alive) break;
        CString state;
        if (agent->GetTaskProperty(task, "status", state) != 0) break;
        if (state == "END") {
            ended = true;
            break;
        }
        if (state == "ABORT" || state == "ERROR") break;
        if (state == "UNPREPARED" &&
            plat::TickDiff(plat::GetTickCount(), start) >= static_cast<int32_t>(kUnpreparedMs))
            break;
        if (m_evStop.Wait(kPollMs) == plat::WAIT_OBJECT_0) break;
        const int64_t elapsed = std::max<int32_t>(0, plat::TickDiff(plat::GetTickCount(), start));
        const double progress = static_cast<double>(elapsed / 10) * m_dTransRate / expected;
        callback.Report(static_cast<int32_t>(std::clamp(progress, 0.0, 99.0)), 100);
    }
    callback.Report(100, 100);
    int32_t removed = 0;
    agent->RemoveTask(task, removed);
    return ended ? 1 : 0;
}

int32_t CVideoStore_FtpAgentX::OnInitInstance()
{
    if (!CVideoStore_FtpAgent::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_SitePairs.RemoveAll();
    for (int i = 1; i <= kSiteKeys; ++i) {
        CString key;
        key.Format("FTP.%d", i);
        const CString entry = setting[key].GetAsString("");
        const int colon = entry.Find(':');
        if (colon < 0) continue;
        m_SitePairs.SetAt(entry.Left(colon), entry.Mid(colon + 1));
    }
    return 1;
}

int CVideoStore_FtpAgentX::ResolveSites(const char *, const char *destStore, CString &source,
                                        CString &dest)
{
    source.Empty();
    dest.Empty();
    CString pair;
    if (m_SitePairs.Lookup(destStore ? destStore : "", pair)) {
        const int hyphen = pair.Find('-');
        if (hyphen >= 0) {
            source = pair.Left(hyphen);
            dest = pair.Mid(hyphen + 1);
        }
    }
    if (source.IsEmpty()) source = m_strSite;
    auto *store = ftpstore::OpenStore<CVideoStore_FtpAgentX>(destStore);
    if (!store) return 0;
    if (dest.IsEmpty()) dest = store->GetSiteName();
    return 1;
}
