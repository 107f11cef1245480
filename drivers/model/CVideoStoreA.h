// The base of clip stores (video servers' disks, FTP clip directories): devices that list,
// check, delete, rename and copy clips rather than play them. Every store operation is
// unsupported here (0); drivers override them. The store keeps its clip names in a clip cache
// that its full load fills.
#pragma once

#include "devext/device/CDeviceA.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoClipCache.h"
#include "platform/Collections.h"

#include <cstdint>

class KSOVRA20_API CVideoStoreA : public CDeviceA {
    DECLARE_KEST_CLASS(CVideoStoreA)

    // Progress of a far copy: the store calls `pfnProgress` (context, done, total) with
    // (0, 100) at the start, progress values while it runs and (100, 100) at the end.
    struct tagCopyCallBack {
        void *pContext = nullptr;
        void (*pfnProgress)(void *context, int32_t done, int32_t total) = nullptr;

        // Calls the function only when both parts are set.
        void Report(int32_t done, int32_t total) const
        {
            if (pContext && pfnProgress) pfnProgress(pContext, done, total);
        }
    };

    // The most clips a full load asks the store for.
    static constexpr int kLoadCount = 2048;

    explicit CVideoStoreA(const char *typeId = kUnknownType);
    CVideoStoreA(const CVideoStoreA &) = delete;
    CVideoStoreA &operator=(const CVideoStoreA &) = delete;
    ~CVideoStoreA() override;

    // Reads MaxAmount and AlertPercent after the device part, with their values as defaults.
    int32_t OnInitInstance() override;

    // The store operations; all 0 here.
    virtual int DevIDList(CStringArray &ids, int from, int count);
    virtual int DevDelete(const char *clip, int mode);
    virtual int DevRename(const char *clip, const char *newName);
    virtual int DevCopy(const char *clip, const char *newName);
    // Blocks until the copy of `clip` to the store `destStore` has ended; nonzero on success.
    virtual int DevFarCopy(const char *clip, const char *argument, const char *destStore,
                           tagCopyCallBack callback);
    // The clip's length in frames.
    virtual int DevGetClipSize(const char *clip);
    virtual int DevClipExist(const char *clip, int mode);
    // While the cache is valid: 1 at once. Else the store's first kLoadCount ids replace the
    // cache (1); a store that lists no ids leaves the cache as it was (0).
    virtual int DevLoadTotalClip();
    // Adds the store's ids to the cache whether it is valid or not; clips that left the store
    // stay until refreshed. 0 when the store lists no ids.
    virtual int DevLoadTotalClipNoBarr();

    CVideoClipCache &GetClipCache() { return m_ClipCache; }

protected:
    CVideoClipCache m_ClipCache;
    int32_t m_nMaxAmount = 0x0FFFFFFF; // the most clips the store may hold
    int32_t m_nAlertPercent = 100;     // the fill level that raises an alert

private:
    // The store's ids into the cache; 0 when it lists none.
    int LoadIds(bool replace);
};
