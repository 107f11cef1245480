// A Pinnacle clip store reached through up to 15 FTP sites, each with a pool of connections:
// a copy to another store of this kind takes a connection of the site whose destination filter
// names that store (else of the first site with one free), so that copies to different
// destinations may go through different network paths. Clips are directories of key files
// ("header", "ft", "std") and other files, as on the PinnacleFtp store.
#pragma once

#include "KestLib20/CDataLock.h"
#include "drivers/model/CVideoStoreA.h"
#include "drivers/sources/ftp/CFtpClient.h"
#include "drivers/sources/ftp/FtpStoreCommon.h"
#include "platform/Collections.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// A connection of a site's pool, with the site's way of removing a clip directory.
class KSOVRA20_API CPooledFtpClient : public CFtpClient {
public:
    uint8_t m_bUsingRMD = 1;
};

// One FTP site of the store and its connection pool.
struct tagFtpSite {
    tagURL url;
    CString dest;         // destination filter, upper case
    int32_t max = 1;      // connections at once
    uint8_t usingRMD = 1; // remove a clip directory with one RMD, else recursively
    std::vector<std::unique_ptr<CPooledFtpClient>> inUse, idle;
};

class KSOVRA20_API CVideoStore_PinFtpX : public CVideoStoreA {
    DECLARE_KEST_CLASS(CVideoStore_PinFtpX)

    static constexpr int kMaxSites = 15;
    static constexpr int kConnectTries = 5;
    static constexpr uint32_t kConnectPauseMs = 400;

    CVideoStore_PinFtpX();
    ~CVideoStore_PinFtpX() override;

    // The sites "ftp.1" .. "ftp.15" (each a list of "Server=<url>", "Max=<n>", "Dest=<names>",
    // "UsingRMD=<0|1>"; reading stops at the first missing or empty one) and BitRate. 1 when
    // the first site names a host.
    int32_t OnInitInstance() override;

    int DevOpen() override;
    // Closes the main client and the idle pooled clients (lent ones close as they come back
    // at the next close or test).
    int DevClose() override;
    int DevIsOpen() override;
    // Drops idle pooled clients that lost their connection. 1.
    int DevTest(const char *argument) override;

    int DevIDList(CStringArray &ids, int from, int count) override;
    // Removes the clip directory (by the first site's rule): 1 when the server took it.
    int DevDelete(const char *clip, int mode) override;
    // Renames the clip directory; its record takes the new name in the cache at once.
    int DevRename(const char *clip, const char *newName) override;
    int DevCopy(const char *clip, const char *newName) override;
    int DevFarCopy(const char *clip, const char *argument, const char *destStore,
                   tagCopyCallBack callback) override;
    int DevGetClipSize(const char *clip) override;
    // Logs the main client on (0 when that fails), then loads as the FTP stores do.
    int DevLoadTotalClip() override;

    virtual int LoadClipList();
    virtual int CopyClipTo(const char *clip, const char *destStore, uint32_t timeOutMs);

    int GetSiteCount();
    double GetCopySpeed() const { return m_FarCopy.Speed(); }

    // A pooled connection for copies with the store `name` (not yet logged on); null when no
    // site has one free. Given back to its site's idle list.
    CPooledFtpClient *AcquireClient(const char *name);
    void ReleaseClient(CPooledFtpClient *client);

private:
    // Acquires (when missing) and logs on a pooled client in up to kConnectTries attempts.
    bool Connect(CPooledFtpClient *&client, const char *name);

    int32_t m_nBitRate = 8000000;
    ftpstore::FarCopy m_FarCopy;
    CStringArray m_KeyFiles;
    std::set<std::string> m_KeySet;
    CFtpClient m_MainClient;
    // One walk at a time on the main client: its steps (CWD in, LIST, CWD out; RNFR, RNTO)
    // name everything relative to where the walk stands.
    std::mutex m_walkLock;
    uint8_t m_bUsingRMD = 1;
    CDataLock m_siteLock;
    std::vector<tagFtpSite> m_Sites;
    ftpstore::ClipLoader m_Loader;
};
