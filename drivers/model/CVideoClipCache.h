// The clip names a store holds, each with the tick of its last confirmation and the length a
// driver read, so that the task engine can ask whether a clip exists without asking the device
// every time. Every operation takes the cache's lock, so any thread may use it.
#pragma once

#include "KestLib20/CDataLock.h"
#include "KestLib20/timecode_t.h"
#include "drivers/KsOvra20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CVideoStoreA;

class KSOVRA20_API CVideoClipCache {
public:
    // Longest clip id the cache keeps, in bytes; longer ids are cut (never inside a character).
    static constexpr int kNameLength = 15;

    // One clip, copied by value.
    struct tagCLIP {
        char szName[kNameLength + 1] = {}; // the clip id; empty when the first byte is 0
        uint32_t dwTime = 0;               // tick of the last confirmation
        int32_t nSize = 0;                 // length in frames; 0 when not read
    };

    CVideoClipCache();
    CVideoClipCache(const CVideoClipCache &) = delete;
    CVideoClipCache &operator=(const CVideoClipCache &) = delete;
    ~CVideoClipCache();

    // 1 and a copy of the clip at `index` / named `name`; 0 when there is none.
    int GetAt(int index, tagCLIP &clip);
    int GetAt(const CString &name, tagCLIP &clip);
    int IsExists(const char *name);

    // Stamps the clip with the tick now (in `clip` too, whose name is cut to kNameLength) and
    // replaces the clip of that name, keeping its length when the new one is 0, or appends
    // it. An empty name is ignored.
    void AddClip(tagCLIP &clip);
    // The last clip takes the place of the removed one.
    void RemoveClip(const char *name);
    void RemoveAll();
    // Stamps the clip 0, so that it counts as out of date.
    void InvalidClip(const char *name);
    // Replaces `names` with every clip stamped more than `age` ms ago (or in the future);
    // their number.
    int GetOutofDateClip(CStringArray &names, uint32_t age);
    // Makes the cache hold exactly `names` (each cut to kNameLength): clips not named go,
    // names not held come in stamped 0 with length 0.
    void RefreshCache(const CStringArray &names);

    int GetSize();
    int IsLoading() const { return m_nLoading.load(); }
    // 1 while the last full load lies less than the validity span back.
    int IsValid() const;

    // What a store sets: the loading mark around its list loading, the time of its last full
    // load (framework time, 100 ns units) and the span for which that load stays valid.
    void SetLoading(int32_t loading) { m_nLoading = loading; }
    void SetLastLoadTime(int64_t time) { m_nLastLoadTime = time; }
    int64_t GetLastLoadTime() const { return m_nLastLoadTime.load(); }
    void SetValidSpan(timecode_t span) { m_nValidSpan = span; }
    timecode_t GetValidSpan() const { return m_nValidSpan.load(); }

private:
    friend class CVideoStoreA;

    // The store's list loading: the ids of `ids` come in as AddClip adds them, in one step
    // under the lock (so no reader sees the cache half filled), after the cache was emptied
    // when `replace` is set.
    void Load(const CStringArray &ids, bool replace);

    void AddLocked(tagCLIP &clip);
    void RemoveAtLocked(int index);
    void ClearLocked();
    void AppendLocked(const tagCLIP &clip);
    // The index of `name`, -1 when not held.
    int FindLocked(const char *name) const;

    CDataLock m_lock;
    std::vector<tagCLIP> m_Clips;
    std::unordered_map<std::string, int> m_Index; // name as stored -> position
    std::atomic<int32_t> m_nValidSpan;            // frames
    std::atomic<int64_t> m_nLastLoadTime{0};
    std::atomic<int32_t> m_nLoading{0};
};
static_assert(sizeof(CVideoClipCache::tagCLIP) == 24, "a clip record is 24 bytes");
