#include "drivers/sources/vdcp/CVideoStore_VDCP_LEITCH.h"

#include "KestLib20/CResAccess.h"

#include <algorithm>

namespace {
constexpr const char *kClassName = "CVideoStore_VDCP_LEITCH";
constexpr int32_t kMinLoadInterval = 50;
constexpr int32_t kValidFrames = 4500; // 3 minutes
} // namespace

IMPLEMENT_KEST_CLASS(CVideoStore_VDCP_LEITCH, CVideoStoreA, kClassName, kClassName)

CVideoStore_VDCP_LEITCH::CVideoStore_VDCP_LEITCH()
    : CVideoStoreA("LVSTORE_BVS_VDCP"), m_Loader(m_ClipCache)
{
    m_strDescription = "视频存贮(基于VDCP协议的视频服务器)";
    m_ClipCache.SetValidSpan(kValidFrames);
}

CVideoStore_VDCP_LEITCH::~CVideoStore_VDCP_LEITCH()
{
    m_evClosing.Set();
    m_Loader.Stop([this] { m_pPort->Close(); });
}

int32_t CVideoStore_VDCP_LEITCH::OnInitInstance()
{
    if (!CVideoStoreA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_pPort->ReadPortKey(GetSettingInfo(), "Com");
    m_nChannel = setting["Port"].GetAsInteger(m_nChannel);
    m_pPort->SetChannel(m_nChannel);
    m_nLoadInterval =
        std::max(setting["Load_Interval"].GetAsInteger(m_nLoadInterval), kMinLoadInterval);
    return 1;
}

std::shared_ptr<CSerialIO_VDCP_LEITCH> CVideoStore_VDCP_LEITCH::GetDev()
{
    return m_pPort->GetActivePort();
}

int CVideoStore_VDCP_LEITCH::DevOpen()
{
    m_evClosing.Reset();
    if (m_pPort->DevIsOpen()) return 1;
    const auto port = GetDev();
    if (!port) {
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
        return 0;
    }
    if (port.get() == m_pPort.get()) {
        if (!port->GetStatus(nullptr, nullptr, 0)) {
            port->Close();
            SetDevStatus(DEVSTATUS_RUN_FAILED, "Open device failed");
            return 0;
        }
        port->SelectPort(m_nChannel);
    }
    SetDevStatus(DEVSTATUS_NORMAL);
    return 1;
}

int CVideoStore_VDCP_LEITCH::DevClose()
{
    m_evClosing.Set();
    m_Loader.Stop([this] { m_pPort->Close(); });
    return 1;
}

int CVideoStore_VDCP_LEITCH::DevIsOpen()
{
    const auto port = GetDev();
    return port && port->DevIsOpen() ? 1 : 0;
}

int CVideoStore_VDCP_LEITCH::DevIDList(CStringArray &ids, int from, int count)
{
    ids.RemoveAll();
    const auto port = GetDev();
    if (!port) return 0;
    port->GetIdList(ids, from, count);
    return ids.GetSize();
}

int CVideoStore_VDCP_LEITCH::DevDelete(const char *clip, int)
{
    const auto port = GetDev();
    return port ? port->DeleteId(clip) : 0;
}

int CVideoStore_VDCP_LEITCH::DevRename(const char *, const char *)
{
    return 1;
}

int CVideoStore_VDCP_LEITCH::DevCopy(const char *, const char *)
{
    return GetDev() ? 1 : 0;
}

int CVideoStore_VDCP_LEITCH::DevFarCopy(const char *, const char *, const char *,
                                        tagCopyCallBack callback)
{
    if (!GetDev()) return 0;
    return VdcpFarCopySteps(callback, m_evClosing);
}

int CVideoStore_VDCP_LEITCH::DevGetClipSize(const char *clip)
{
    const auto port = GetDev();
    int32_t frames = 0;
    if (!port || !port->GetIdSize(clip, &frames)) return 0;
    return frames;
}

int CVideoStore_VDCP_LEITCH::DevLoadTotalClip()
{
    if (m_ClipCache.IsValid() || m_Loader.Running()) return 1;
    m_Loader.Start([own = m_pPort](CStringArray &ids, const std::atomic<bool> &stopping) {
        const auto port = stopping ? nullptr : own->GetActivePort();
        if (!port) return false;
        // The list comes in one reply whatever the limit: a refused system word keeps nothing
        // from loading.
        int32_t limit = 0;
        if (!port->GetSystemWord(&limit)) limit = CVideoStoreA::kLoadCount;
        return port->GetIdList(ids, 0, limit) != 0;
    });
    return 1;
}
