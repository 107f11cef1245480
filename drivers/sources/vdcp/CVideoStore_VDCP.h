// The clip store of a VDCP video server: the server's clip ids, their sizes, renaming and
// deleting, through a protocol engine (BASIC command set). A loader thread fills the clip
// cache from the server's id list.
#pragma once

#include "drivers/model/CVideoStoreA.h"
#include "drivers/sources/vdcp/VdcpEngineRoute.h"
#include "drivers/sources/vdcp/VdcpStoreLoader.h"
#include "platform/Sync.h"

#include <cstdint>
#include <memory>

class KSOVRA20_API CVideoStore_VDCP : public CVideoStoreA {
    DECLARE_KEST_CLASS(CVideoStore_VDCP)

    CVideoStore_VDCP();
    ~CVideoStore_VDCP() override;

    // CVideoStoreA's keys, then "Com", "Port" (the VDCP channel) and "Load_Interval".
    int32_t OnInitInstance() override;

    // Claims the channel; the device status tells the outcome. Always 1.
    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;

    int DevIDList(CStringArray &ids, int from, int count) override;
    int DevDelete(const char *clip, int mode) override;
    int DevRename(const char *clip, const char *newName) override;
    // The server copies nothing: 1 when the engine can be reached.
    int DevCopy(const char *clip, const char *newName) override;
    // Sends nothing; reports progress 0, 5 .. 95 of 100, one step a second. 0 when the
    // engine cannot be reached or the store closes meanwhile.
    int DevFarCopy(const char *clip, const char *argument, const char *destStore,
                   tagCopyCallBack callback) override;
    // Frames; 0 on failure.
    int DevGetClipSize(const char *clip) override;
    // Starts the loader when the cache is out of date and none runs: 1.
    int DevLoadTotalClip() override;

    // The engine to send through (own or shared) with its access kind; null when none.
    virtual std::shared_ptr<ISerialVDCP> GetVDCP(int32_t *kind);

private:
    // Opens on demand: the engine when it answers, else status 3 and null.
    std::shared_ptr<ISerialVDCP> OpenVDCP();
    // The loader's work: the server's ids, sorted; false when none could be read.
    static bool ReadIds(ISerialVDCP &engine, CStringArray &ids);

    VdcpEngineRoute m_Route{"BASIC", 5};
    int32_t m_nChannel = 1;
    int32_t m_nLoadInterval = 100;        // kept; nothing waits on it
    plat::Event m_evClosing{true, false}; // ends a far copy's steps
    VdcpStoreLoader m_Loader;
};
