#include "drivers/sources/vdcp/CVideoStore_VDCP.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"

#include <algorithm>

namespace {

constexpr const char *kDescription = "视频存贮(基于VDCP协议的视频服务器)";
constexpr int32_t kMinLoadInterval = 50;
constexpr int32_t kValidFrames = 4500; // 3 minutes

} // namespace

IMPLEMENT_KEST_CLASS(CVideoStore_VDCP, CVideoStoreA)

CVideoStore_VDCP::CVideoStore_VDCP() : CVideoStoreA("LVSTORE_BVS_VDCP"), m_Loader(m_ClipCache)
{
    m_strDescription = kDescription;
    m_ClipCache.SetValidSpan(kValidFrames);
}

CVideoStore_VDCP::~CVideoStore_VDCP()
{
    m_evClosing.Set();
    m_Loader.Stop([this] { m_Route.Close(); });
}

int32_t CVideoStore_VDCP::OnInitInstance()
{
    if (!CVideoStoreA::OnInitInstance()) return 0;
    m_Route.ReadSettings(GetSettingInfo());
    CResAccess setting(GetSettingInfo());
    m_nChannel = setting["Port"].GetAsInteger(m_nChannel);
    m_nLoadInterval =
        std::max(setting["Load_Interval"].GetAsInteger(m_nLoadInterval), kMinLoadInterval);
    return 1;
}

std::shared_ptr<ISerialVDCP> CVideoStore_VDCP::GetVDCP(int32_t *kind)
{
    return m_Route.Get(kind);
}

std::shared_ptr<ISerialVDCP> CVideoStore_VDCP::OpenVDCP()
{
    return m_Route.OpenRoute(*this, m_nChannel);
}

int CVideoStore_VDCP::DevOpen()
{
    m_evClosing.Reset();
    m_Route.Open(*this, m_nChannel);
    return 1;
}

int CVideoStore_VDCP::DevClose()
{
    m_evClosing.Set();
    m_Loader.Stop([this] { m_Route.Close(); });
    return 1;
}

int CVideoStore_VDCP::DevIsOpen()
{
    const std::shared_ptr<ISerialVDCP> engine = GetVDCP(nullptr);
    return engine ? engine->IsOpen() : 0;
}

int CVideoStore_VDCP::DevIDList(CStringArray &ids, int, int count)
{
    ids.RemoveAll();
    const std::shared_ptr<ISerialVDCP> engine = OpenVDCP();
    if (!engine) return 0;
    engine->GetIdList(ids, 0, count);
    return ids.GetSize();
}

int CVideoStore_VDCP::DevDelete(const char *clip, int)
{
    const std::shared_ptr<ISerialVDCP> engine = OpenVDCP();
    return engine ? engine->DeleteId(clip) : 0;
}

int CVideoStore_VDCP::DevRename(const char *clip, const char *newName)
{
    const std::shared_ptr<ISerialVDCP> engine = OpenVDCP();
    return engine ? engine->RenameId(clip, newName) : 0;
}

int CVideoStore_VDCP::DevCopy(const char *, const char *)
{
    return OpenVDCP() ? 1 : 0;
}

int CVideoStore_VDCP::DevFarCopy(const char *, const char *, const char *, tagCopyCallBack callback)
{
    if (!OpenVDCP()) return 0;
    return VdcpFarCopySteps(callback, m_evClosing);
}

int CVideoStore_VDCP::DevGetClipSize(const char *clip)
{
    const std::shared_ptr<ISerialVDCP> engine = OpenVDCP();
    timecode_t size;
    if (!engine || !engine->GetIdSize(clip, size)) return 0;
    return size;
}

bool CVideoStore_VDCP::ReadIds(ISerialVDCP &engine, CStringArray &ids)
{
    // A server that will not tell its system word still lists its clips, as many as a store
    // asks for by default.
    int32_t limit = 0;
    if (!engine.GetSystemWord(&limit)) limit = CVideoStoreA::kLoadCount;
    return engine.GetIdList(ids, 0, limit) != 0;
}

int CVideoStore_VDCP::DevLoadTotalClip()
{
    if (m_ClipCache.IsValid() || m_Loader.Running()) return 1;
    // The thread holds the engine jointly: a loader given up at close may still use it.
    m_Loader.Start(
        [engine = m_Route.SharedEngine()](CStringArray &ids, const std::atomic<bool> &stopping) {
            std::shared_ptr<ISerialVDCP> route;
            int32_t kind = 0;
            if (stopping || !engine->GetSharedPort(route, &kind) || !route) return false;
            return ReadIds(*route, ids);
        });
    return 1;
}
