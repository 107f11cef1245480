#include "drivers/sources/videoserver/CVideoStore_Pinnacle.h"

#include "Kest20/InstanceRegistry.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "drivers/sources/videoserver/HpvsLibrary.h"

namespace {

constexpr const char *kDescription = "视频存贮(基于Pinnacle协议的视频服务器)";

} // namespace

IMPLEMENT_KEST_CLASS(CVideoStore_Pinnacle, CVideoStoreA)

CVideoStore_Pinnacle::CVideoStore_Pinnacle()
{
    m_strDescription = kDescription;
}

int32_t CVideoStore_Pinnacle::OnInitInstance()
{
    if (!CVideoStoreA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_Conn.SetNode(setting["Node"].GetAsString(""));
    m_Conn.SetConnection(setting["Connection"].GetAsString(""));
    hpvs::SetContact(setting["HpvsContact"].GetAsString(hpvs::Contact()));
    return 1;
}

int CVideoStore_Pinnacle::DevOpen()
{
    return m_Conn.Open(true);
}

int CVideoStore_Pinnacle::DevClose()
{
    return m_Conn.Close();
}

int CVideoStore_Pinnacle::DevIsOpen()
{
    return m_Conn.IsOpen();
}

int CVideoStore_Pinnacle::DevTest(const char *)
{
    return m_Conn.Test();
}

int CVideoStore_Pinnacle::DevIDList(CStringArray &ids, int, int)
{
    return m_Conn.ListMedia(ids);
}

int CVideoStore_Pinnacle::DevDelete(const char *clip, int)
{
    return m_Conn.DeleteMedia(clip);
}

int CVideoStore_Pinnacle::DevRename(const char *clip, const char *newName)
{
    return m_Conn.RenameFile(clip, newName);
}

int CVideoStore_Pinnacle::DevCopy(const char *, const char *)
{
    return 0;
}

int CVideoStore_Pinnacle::DevGetClipSize(const char *clip)
{
    return m_Conn.GetMediaSize(clip);
}

int CVideoStore_Pinnacle::DevClipExist(const char *clip, int)
{
    return m_Conn.GetMediaSize(clip) > 0 ? 1 : 0;
}

int CVideoStore_Pinnacle::DevFarCopy(const char *clip, const char *destClip, const char *destStore,
                                     tagCopyCallBack callback)
{
    if (!m_Conn.IsOpen()) {
        CString text;
        text.Format("$$$ #%s# DevFarCopy m_Handle == 0 ", clip ? clip : "");
        glReportLog("LOG_TASK", text, nullptr);
        DevOpen();
        return 0;
    }
    CClassA *found = glGetInstanceByName(CVideoStoreA::GetClassID(), destStore);
    if (!found) {
        DevOpen();
        return 0;
    }
    auto *dest = dynamic_cast<CVideoStore_Pinnacle *>(found);
    if (!dest) return 0;
    return dest->GetConn().CopyMediaFrom(clip, m_Conn.GetNode(), destClip, callback);
}
