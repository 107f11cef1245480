// Clip stores on FTP servers. FtpBase: a clip is one file in the log-in directory; FtpDir: a
// clip is one directory there, with whatever it holds. Clips are
// listed into the clip cache with lengths from their byte sizes and the bit rate, deleted
// through a list of pending commands, and copied to another store of the family by a
// server-to-server transfer on a worker thread while the caller sees the progress. The store
// lends its connections (the main client, then extra ones up to its client limit) to the
// operations that run at once.
#pragma once

#include "drivers/model/CVideoStoreA.h"
#include "drivers/sources/ftp/CFtpClient.h"
#include "drivers/sources/ftp/FtpStoreCommon.h"
#include "platform/Collections.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class KSOVRA20_API CVideoStore_FtpBase : public CVideoStoreA {
    DECLARE_KEST_CLASS(CVideoStore_FtpBase)

    static constexpr int32_t kDefaultBitRate = 8000000;
    static constexpr uint32_t kNoopIntervalMs = 60000;

    explicit CVideoStore_FtpBase(const char *typeId = "LVSTORE_BVS_FTP2");
    ~CVideoStore_FtpBase() override;

    // Server, Port, BitRate, Noop, Client after the base's keys. 0 when the Server URL does
    // not parse or names no host, or (status 2) its scheme is not FTP.
    int32_t OnInitInstance() override;

    // Logs the main client on; status 0, or 3 "Ftp Error ". Drops the pending commands.
    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;
    // Status 4 while disconnected; a NOOP a minute while idle, closing on a bad answer.
    int DevTest(const char *argument) override;

    int DevIDList(CStringArray &ids, int from, int count) override;
    // Queues the delete and runs the pending commands: 1 when the server took this delete.
    int DevDelete(const char *clip, int mode) override;
    // Renames the file; the clip's record takes the new name in the cache at once.
    int DevRename(const char *clip, const char *newName) override;
    int DevCopy(const char *clip, const char *newName) override;
    // Copies the clip to the store `destStore` of the family on a worker thread, reporting
    // progress by the learned copy speed; 1 on success, when the clip also enters the
    // destination's cache.
    int DevFarCopy(const char *clip, const char *argument, const char *destStore,
                   tagCopyCallBack callback) override;
    // Frames from the cache after a load; 0 when the clip is not there.
    int DevGetClipSize(const char *clip) override;
    // Loads the clip list when the cache is out of date and a connection is free.
    int DevLoadTotalClip() override;

    // Runs the pending commands on a client of this store that the caller holds (see
    // RunPendingCommands).
    int RunPendingFrom(CFtpClient &client, const CString &watch);

    // The server's clip list into the cache.
    virtual int LoadClipList();
    // The server-to-server copy of the clip to the store named `destStore`.
    virtual int CopyClipTo(const char *clip, const char *destStore, uint32_t timeOutMs);
    // One pending command ("D": delete the argument); 1 when it succeeded.
    virtual int RunPendingCommand(CFtpClient &client, const char *command, const char *argument);

    double GetCopySpeed() const { return m_FarCopy.Speed(); }

protected:
    // A connection lent by the store, given back when it goes.
    class LentClient {
    public:
        LentClient(CVideoStore_FtpBase &store) : m_store(store), m_client(store.AcquireClient()) {}
        ~LentClient() { m_store.ReleaseClient(m_client); }
        LentClient(const LentClient &) = delete;
        LentClient &operator=(const LentClient &) = delete;
        explicit operator bool() const { return m_client != nullptr; }
        CFtpClient *operator->() const { return m_client; }
        CFtpClient &operator*() const { return *m_client; }

    private:
        CVideoStore_FtpBase &m_store;
        CFtpClient *m_client;
    };

    // A connection: the main client when it is free (logged on, even when that failed), else
    // an extra one that logged on; null at the client limit or when the log-on failed.
    CFtpClient *AcquireClient();
    void ReleaseClient(CFtpClient *client);

    // Queues a command ("D " + clip); an empty text is not queued.
    void AddPendingCommand(const CString &command);
    // Runs the pending commands on a client of this store. 0, the commands kept, without a
    // free client; else the result of the first command equal to `watch`, 1 when none is.
    int RunPendingCommands(const CString &watch = CString());

    // Lends a client of this store and one of `dest` to `copy`, then runs both stores'
    // pending commands; copy's result, 0 without a destination or a free client.
    using CopyStep = std::function<int(CFtpClient &source, CFtpClient &target)>;
    int CopyBetween(CVideoStore_FtpBase *dest, const CopyStep &copy);
    // A "D" command: `remove` of the argument, which then leaves the cache; 1 on success.
    int RunDelete(const char *command, const char *argument,
                  const std::function<int(const char *)> &remove);

    // Adds the clip to the cache with the length of `bytes`.
    void AddClipBytes(const char *name, int64_t bytes);

    int32_t m_nBitRate = kDefaultBitRate;
    ftpstore::FarCopy m_FarCopy; // with the learned copy speed
    uint8_t m_bNoop = 1;
    uint32_t m_dwLastNoop = 0;
    int32_t m_nClientLimit = 1;
    CFtpClient m_MainClient;

private:
    std::mutex m_clientLock; // the lent clients
    std::vector<CFtpClient *> m_LentClients;
    std::vector<std::unique_ptr<CFtpClient>> m_ExtraClients;
    CDataLock m_pendingLock;
    CStringList m_PendingCmds;
    ftpstore::ClipLoader m_Loader;
};

// A clip is a directory of the start directory; its length is that of everything in it,
// measured again at most every 30 minutes.
class KSOVRA20_API CVideoStore_FtpDir : public CVideoStore_FtpBase {
    DECLARE_KEST_CLASS(CVideoStore_FtpDir)

    static constexpr uint32_t kSizeAgeMs = 1800000;

    explicit CVideoStore_FtpDir(const char *typeId = "LVSTORE_BVS_FTPDIR");

    int DevRename(const char *clip, const char *newName) override;
    int LoadClipList() override;
    int CopyClipTo(const char *clip, const char *destStore, uint32_t timeOutMs) override;
    int RunPendingCommand(CFtpClient &client, const char *command, const char *argument) override;

protected:
    // Directory names, then the sizes of the clips out of date.
    int LoadDirSizes();
};

// A clip is a directory holding key files (KeyFiles, by default "header", "ft", "std") and
// other files. A copy takes only clips whose key files are all there, copies the key files
// first and checks them at the destination before the rest follows; a copy that does not
// check out is removed at the destination.
class KSOVRA20_API CVideoStore_PinnacleFtp : public CVideoStore_FtpDir {
    DECLARE_KEST_CLASS(CVideoStore_PinnacleFtp)

    CVideoStore_PinnacleFtp();

    // FtpBase's keys, then KeyFiles and SCAN_DIR_INFO.
    int32_t OnInitInstance() override;
    int LoadClipList() override;
    int CopyClipTo(const char *clip, const char *destStore, uint32_t timeOutMs) override;
    int RunPendingCommand(CFtpClient &client, const char *command, const char *argument) override;

    const CStringArray &GetKeyFiles() const { return m_KeyFiles; }

private:
    CStringArray m_KeyFiles;
    uint8_t m_bScanDirInfo = 0;
};
