#include "drivers/sources/ftp/CVideoStore_FtpBase.h"

#include "KestLib20/CResAccess.h"
#include "drivers/sources/ftp/FtpKeyFiles.h"

#include <algorithm>

namespace {

constexpr const char *kPinnacleDescription = "视频存贮(基于PinnacleFtp协议的视频服务器)";

} // namespace

using ftpstore::OpenStore;

IMPLEMENT_KEST_CLASS(CVideoStore_FtpDir, CVideoStore_FtpBase)
IMPLEMENT_KEST_CLASS(CVideoStore_PinnacleFtp, CVideoStore_FtpDir)

CVideoStore_FtpDir::CVideoStore_FtpDir(const char *typeId) : CVideoStore_FtpBase(typeId) {}

int CVideoStore_FtpDir::DevRename(const char *, const char *)
{
    return 0;
}

int CVideoStore_FtpDir::LoadClipList()
{
    return LoadDirSizes();
}

int CVideoStore_FtpDir::LoadDirSizes()
{
    LentClient client(*this);
    if (!client) return 0;
    CStringArray names;
    if (!client->ListSubDirNames(nullptr, names)) return 0;
    m_ClipCache.RefreshCache(names);
    CStringArray stale;
    m_ClipCache.GetOutofDateClip(stale, kSizeAgeMs);
    // New and invalidated clips are stamped 0, which reads as recent while the tick count
    // itself is below the age (the first 30 minutes after boot): they are measured too.
    CVideoClipCache::tagCLIP clip;
    for (int i = 0; m_ClipCache.GetAt(i, clip); ++i)
        if (clip.dwTime == 0 &&
            std::find(stale.begin(), stale.end(), CString(clip.szName)) == stale.end())
            stale.Add(clip.szName);
    for (int i = 0; i < stale.GetSize(); ++i) {
        int64_t bytes = 0;
        int32_t files = 0;
        if (client->GetDirSize(stale[i], bytes, files)) AddClipBytes(stale[i], bytes);
    }
    ftpstore::MarkLoaded(m_ClipCache);
    return 1;
}

int CVideoStore_FtpDir::CopyClipTo(const char *clip, const char *destStore, uint32_t timeOutMs)
{
    return CopyBetween(OpenStore<CVideoStore_FtpBase>(destStore),
                       [&](CFtpClient &source, CFtpClient &target) {
                           return source.CopyDirTo(clip, target, timeOutMs);
                       });
}

int CVideoStore_FtpDir::RunPendingCommand(CFtpClient &client, const char *command,
                                          const char *argument)
{
    return RunDelete(command, argument, [&](const char *dir) { return client.DeleteTree(dir); });
}

CVideoStore_PinnacleFtp::CVideoStore_PinnacleFtp() : CVideoStore_FtpDir("LVSTORE_BVS_PINNACLEFTP")
{
    m_strDescription = kPinnacleDescription;
    DefaultKeyFiles(m_KeyFiles);
}

int32_t CVideoStore_PinnacleFtp::OnInitInstance()
{
    if (!CVideoStore_FtpDir::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    setting["KeyFiles"].GetAsStringArray(m_KeyFiles);
    if (m_KeyFiles.IsEmpty()) DefaultKeyFiles(m_KeyFiles);
    m_bScanDirInfo = setting["SCAN_DIR_INFO"].GetAsBool(m_bScanDirInfo != 0) ? 1 : 0;
    return 1;
}

int CVideoStore_PinnacleFtp::LoadClipList()
{
    if (m_bScanDirInfo) return LoadDirSizes();
    LentClient client(*this);
    if (!client) return 0;
    CArray<tagFtpEntry> dirs;
    if (!client->ListSubDirs(nullptr, dirs)) return 0;
    CStringArray names;
    for (int i = 0; i < dirs.GetSize(); ++i) names.Add(dirs[i].name);
    m_ClipCache.RefreshCache(names);
    for (int i = 0; i < dirs.GetSize(); ++i) AddClipBytes(dirs[i].name, dirs[i].size);
    ftpstore::MarkLoaded(m_ClipCache);
    return 1;
}

int CVideoStore_PinnacleFtp::CopyClipTo(const char *clip, const char *destStore, uint32_t timeOutMs)
{
    if (!clip || !*clip) return 0;
    return CopyBetween(OpenStore<CVideoStore_FtpDir>(destStore), [&](CFtpClient &source,
                                                                     CFtpClient &target) {
        return CopyKeyedClip(source, target, clip, m_KeyFiles, timeOutMs, KeyedClipRemoval::kRmd);
    });
}

int CVideoStore_PinnacleFtp::RunPendingCommand(CFtpClient &client, const char *command,
                                               const char *argument)
{
    return RunDelete(command, argument, [&](const char *dir) { return client.Rmd(dir); });
}
