// The encoder channel of a Leitch video server as a recorder: the VDCP recorder over the
// Leitch port object, which also turns EE mode off once after its first own open.
#pragma once

#include "drivers/sources/vdcp/CSerialIO_VDCP_LEITCH.h"
#include "drivers/sources/vdcp/VdcpRecorder.h"

#include <atomic>
#include <memory>

class CVideoRec_VDCP_Leitch : public VdcpRecorder {
    DECLARE_KEST_CLASS(CVideoRec_VDCP_Leitch)

    CVideoRec_VDCP_Leitch();
    ~CVideoRec_VDCP_Leitch() override;

    // The recorder keys, then "Com" and "ComTimeout".
    int32_t OnInitInstance() override;

    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;
    // Asks the status and posts it on "#OVRA_STATUSDEV".
    int DevTest(const char *argument) override;
    int DevEEMode(int mode) override;

protected:
    int OnEncoder(const EncoderStep &step) override;

private:
    std::unique_ptr<CSerialIO_VDCP_LEITCH> m_pPort;
    std::atomic<bool> m_bEEModeSet{false}; // set once, never cleared
};
