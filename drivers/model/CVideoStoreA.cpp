#include "drivers/model/CVideoStoreA.h"

#include "KestLib20/CResAccess.h"

IMPLEMENT_KEST_CLASS(CVideoStoreA, CDeviceA)

namespace {
constexpr const char *kDescription = "视频存贮设备";
} // namespace

CVideoStoreA::CVideoStoreA(const char *typeId) : CDeviceA(typeId)
{
    m_strDescription = kDescription;
}

CVideoStoreA::~CVideoStoreA() = default;

int32_t CVideoStoreA::OnInitInstance()
{
    if (!CDeviceA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_nMaxAmount = setting["MaxAmount"].GetAsInteger(m_nMaxAmount);
    m_nAlertPercent = setting["AlertPercent"].GetAsInteger(m_nAlertPercent);
    return 1;
}

int CVideoStoreA::DevIDList(CStringArray &, int, int)
{
    return 0;
}

int CVideoStoreA::DevDelete(const char *, int)
{
    return 0;
}

int CVideoStoreA::DevRename(const char *, const char *)
{
    return 0;
}

int CVideoStoreA::DevCopy(const char *, const char *)
{
    return 0;
}

int CVideoStoreA::DevFarCopy(const char *, const char *, const char *, tagCopyCallBack)
{
    return 0;
}

int CVideoStoreA::DevGetClipSize(const char *)
{
    return 0;
}

int CVideoStoreA::DevClipExist(const char *, int)
{
    return 0;
}

int CVideoStoreA::LoadIds(bool replace)
{
    CStringArray ids;
    DevIDList(ids, 0, kLoadCount);
    if (ids.IsEmpty()) return 0;
    m_ClipCache.Load(ids, replace);
    return 1;
}

int CVideoStoreA::DevLoadTotalClip()
{
    if (m_ClipCache.IsValid()) return 1;
    return LoadIds(true);
}

int CVideoStoreA::DevLoadTotalClipNoBarr()
{
    return LoadIds(false);
}
