// Clip stores whose FTP work the FTP agent does: it lists the clips of the store's site with
// their sizes, erases and renames them, and copies a clip to another store's site as a job
// whose state the store polls. The agent is made on first use from whatever thread calls and
// lives between calls in the process-wide agent table under the store's cookie. The X variant
// picks the agent's two sites per destination store from its FTP.1 to FTP.15 keys.
#pragma once

#include "drivers/model/CVideoStoreA.h"
#include "drivers/sources/ftpagent/IFtpAgent.h"
#include "platform/Collections.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class KSOVRA20_API CVideoStore_FtpAgent : public CVideoStoreA {
    DECLARE_KEST_CLASS(CVideoStore_FtpAgent)

    static constexpr int32_t kDefaultBitRate = 8000000;
    static constexpr double kDefaultTransRate = 10000000.0;
    // A copy job is polled once a second at most this many times.
    static constexpr int kMaxPolls = 7200;
    static constexpr uint32_t kPollMs = 1000;
    // How long a job may stay "UNPREPARED".
    static constexpr uint32_t kUnpreparedMs = 60000;
    // The expected size of a clip without a length, in bytes.
    static constexpr int64_t kUnknownSize = 21474836480LL;

    CVideoStore_FtpAgent();
    ~CVideoStore_FtpAgent() override;

    // The base's keys, then FtpAgent, FtpSite, BitRate and TransRate.
    int32_t OnInitInstance() override;

    int DevOpen() override;
    // Forgets the agent; the next call makes it again.
    int DevClose() override;
    // 1 when the agent can be fetched.
    int DevIsOpen() override;
    // The agent's IsAlive answer.
    int DevTest(const char *argument) override;
    int DevIDList(CStringArray &ids, int from, int count) override;
    int DevDelete(const char *clip, int mode) override;
    int DevRename(const char *clip, const char *newName) override;
    int DevCopy(const char *clip, const char *newName) override;
    // Hands the agent a copy job to the store `destStore` and polls it until it ends; the
    // progress always ends with (100, 100). 1 when the job ended well.
    int DevFarCopy(const char *clip, const char *argument, const char *destStore,
                   tagCopyCallBack callback) override;
    int DevGetClipSize(const char *clip) override;
    // The site's clips with lengths from their sizes and the bit rate into the cache.
    int DevLoadTotalClip() override;

    // The agent's source and destination sites for a copy of the clip to `destStore`; 1 when
    // that store was found.
    virtual int ResolveSites(const char *clip, const char *destStore, CString &source,
                             CString &dest);

    const CString &GetSiteName() const { return m_strSite; }

protected:
    // The agent from the table, made and registered first when there is no cookie; null when
    // it cannot be had.
    std::shared_ptr<IFtpAgent> FetchAgent();
    void DisconnectAgent();

    int32_t m_nBitRate = kDefaultBitRate;
    double m_dTransRate = kDefaultTransRate;
    CString m_strAgent;
    CString m_strSite;

private:
    void ConnectAgent();

    std::mutex m_agentLock; // making and registering the agent
    std::atomic<uint32_t> m_dwCookie{0};
    plat::Event m_evStop{true, false}; // ends the polls of a copy when the store goes
};

class KSOVRA20_API CVideoStore_FtpAgentX : public CVideoStore_FtpAgent {
    DECLARE_KEST_CLASS(CVideoStore_FtpAgentX)

    static constexpr int kSiteKeys = 15;

    CVideoStore_FtpAgentX() = default;

    // FtpAgent's keys, then "FTP.1" to "FTP.15": "<store>:<source site>-<destination site>".
    int32_t OnInitInstance() override;
    // The pair of the store's FTP entry; an empty side is the own or the destination's site.
    int ResolveSites(const char *clip, const char *destStore, CString &source,
                     CString &dest) override;

private:
    CMapStringToString m_SitePairs;
};
