// The clip store of a Leitch video server: the VDCP clip store over the Leitch port object
// (NEW command set, the id list in one reply). Renames are not sent.
#pragma once

#include "drivers/model/CVideoStoreA.h"
#include "drivers/sources/vdcp/CSerialIO_VDCP_LEITCH.h"
#include "drivers/sources/vdcp/VdcpStoreLoader.h"
#include "platform/Sync.h"

#include <cstdint>
#include <memory>

class KSOVRA20_API CVideoStore_VDCP_LEITCH : public CVideoStoreA {
    DECLARE_KEST_CLASS(CVideoStore_VDCP_LEITCH)

    CVideoStore_VDCP_LEITCH();
    ~CVideoStore_VDCP_LEITCH() override;

    // CVideoStoreA's keys, then "Com", "Port" (the VDCP channel) and "Load_Interval".
    int32_t OnInitInstance() override;

    // On its own port: the status must answer, then the channel is selected. A port another
    // store holds is taken as it is. 0 with the device status when no port can be had.
    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;

    int DevIDList(CStringArray &ids, int from, int count) override;
    int DevDelete(const char *clip, int mode) override;
    // Sends nothing: 1.
    int DevRename(const char *clip, const char *newName) override;
    int DevCopy(const char *clip, const char *newName) override;
    int DevFarCopy(const char *clip, const char *argument, const char *destStore,
                   tagCopyCallBack callback) override;
    int DevGetClipSize(const char *clip) override;
    int DevLoadTotalClip() override;

    // The port object to send through; null when none.
    std::shared_ptr<CSerialIO_VDCP_LEITCH> GetDev();

private:
    // Jointly owned: a loader given up at close may still use it.
    std::shared_ptr<CSerialIO_VDCP_LEITCH> m_pPort = std::make_shared<CSerialIO_VDCP_LEITCH>();
    int32_t m_nChannel = 1;
    int32_t m_nLoadInterval = 100; // kept; nothing waits on it
    plat::Event m_evClosing{true, false};
    VdcpStoreLoader m_Loader;
};
