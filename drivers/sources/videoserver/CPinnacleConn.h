// One connection to a video server through the video-server library: opened at most once per
// 3000 ms, closed on every failed library call so that the next operation opens it again. It
// lists, measures, deletes and renames the clips of its node and runs the library's copy of a
// clip from another node to its own, polling the copy every 2 s. Operations of several
// threads on one connection take turns; a copy's waits between polls leave it free.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoStoreA.h"
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/Sync.h"
#include "platform/hpvs/Hpvs.h"

#include <cstdint>
#include <mutex>

class KSOVRA20_API CPinnacleConn {
public:
    static constexpr uint32_t kOpenIntervalMs = 3000;
    static constexpr int32_t kListChunk = 64;
    static constexpr uint32_t kPollMs = 2000;
    // A copy whose percentage has not moved for this many polls in a row is ended.
    static constexpr int kMaxStalls = 300;
    // DevTest's idle bounds: no probe below the first, closed above the second.
    static constexpr uint32_t kQuietMs = 10000;
    static constexpr uint32_t kIdleCloseMs = 600000;

    // Counts itself, reads PinConnNeedTest and PinConnTimeOut of "/etc/tvx/Ovra_Device" and
    // resets the contact name.
    CPinnacleConn();
    // Closes the connection; the last connection shuts the library down.
    ~CPinnacleConn();
    CPinnacleConn(const CPinnacleConn &) = delete;
    CPinnacleConn &operator=(const CPinnacleConn &) = delete;

    void SetNode(const CString &node) { m_strNode = node; }
    void SetConnection(const CString &connection) { m_strConnection = connection; }
    const CString &GetNode() const { return m_strNode; }

    // Starts the library; closes first with `reopen`; 1 with a handle.
    int Open(bool reopen);
    int Close();
    int IsOpen() const;
    // The idle check of an open connection that needs testing (1 otherwise).
    int Test();
    // The node's clip names (their number); empty when the list cannot be had.
    int ListMedia(CStringArray &names);
    // The clip's length in frames; 0 when it cannot be had.
    int GetMediaSize(const char *clip);
    int DeleteMedia(const char *clip);
    int RenameFile(const char *from, const char *to);
    // Copies the clip of `sourceNode` to this connection's node as `destClip` (empty: the
    // same name), reporting the percentage; 1 when the copy then has a length here.
    int CopyMediaFrom(const char *clip, const char *sourceNode, const char *destClip,
                      CVideoStoreA::tagCopyCallBack callback);

private:
    // Marks the activity after a library call; closes the connection when it failed. Whether
    // it succeeded.
    bool Done(int32_t result);
    int CloseLocked();
    // Polls the copy until it ends; see CopyMediaFrom. 1 when `destClip` then has a length.
    int PollCopy(int32_t command, const char *clip, const char *destClip,
                 CVideoStoreA::tagCopyCallBack callback);

    mutable std::recursive_mutex m_lock; // the handle and the status block
    int32_t m_nHandle = 0;
    CString m_strNode;
    CString m_strConnection;
    hpvs_status_t m_Status{};
    bool m_bNeedTest = false;
    int32_t m_nTimeOut = 0; // read and kept for the settings' sake; nothing waits on it
    uint32_t m_dwLastActivity = 0;
    uint32_t m_dwLastOpen = 0;
    plat::Event m_evStop{true, false}; // ends a copy's wait when the connection goes
};
