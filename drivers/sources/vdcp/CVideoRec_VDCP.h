// The encoder channel of a VDCP video server as a recorder, on the shared VDCP channel port:
// recorders whose settings name the same serial port send through the one port object that
// holds it open, each for its own encoder channel.
#pragma once

#include "drivers/sources/vdcp/CSerialIO_VDCP_SHARED.h"
#include "drivers/sources/vdcp/VdcpRecorder.h"

class CVideoRec_VDCP : public VdcpRecorder {
    DECLARE_KEST_CLASS(CVideoRec_VDCP)

    CVideoRec_VDCP();
    ~CVideoRec_VDCP() override;

    // The recorder keys, then "Com" and "ComTimeout".
    int32_t OnInitInstance() override;

    // Claims the encoder channel on the own port (closed and opened afresh) or checks that the
    // port another device holds serves it. 0 with the device status on failure.
    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;
    // Asks the status and posts it on "#OVRA_STATUSDEV".
    int DevTest(const char *argument) override;

protected:
    int OnEncoder(const EncoderStep &step) override;

private:
    CSerialIO_VDCP_SHARED m_Port;
};
