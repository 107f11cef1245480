// The encoder channel of a VDCP video server as a recorder, through a protocol engine (CVDCP)
// of its own or the open engine of another device on the same port. The Leitch, Pinnacle and
// Dayang recorders are the same with their own command set and engine options.
#pragma once

#include "drivers/sources/vdcp/VdcpEngineRoute.h"
#include "drivers/sources/vdcp/VdcpRecorder.h"

#include <memory>

class CVideoRec_VDCPX : public VdcpRecorder {
    DECLARE_KEST_CLASS(CVideoRec_VDCPX)

    CVideoRec_VDCPX();
    ~CVideoRec_VDCPX() override;

    // The recorder keys, then "Com" and "Duplex".
    int32_t OnInitInstance() override;

    // Claims the encoder channel; the device status tells the outcome. Always 1.
    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;
    // 1 with Duplex; else the engine's test, status 0 or 5.
    int DevTest(const char *argument) override;

    // The engine to send through (own or shared) with its access kind; null when none.
    virtual std::shared_ptr<ISerialVDCP> GetVDCP(int32_t *kind);

protected:
    CVideoRec_VDCPX(const char *commandSet, int32_t options);

    int OnEncoder(const EncoderStep &step) override;

private:
    VdcpEngineRoute m_Route;
};

class CVideoRec_Leitch : public CVideoRec_VDCPX {
    DECLARE_KEST_CLASS(CVideoRec_Leitch)
    CVideoRec_Leitch();
};

class CVideoRec_Pinnacle : public CVideoRec_VDCPX {
    DECLARE_KEST_CLASS(CVideoRec_Pinnacle)
    CVideoRec_Pinnacle();
};

class CVideoRec_Dayang : public CVideoRec_VDCPX {
    DECLARE_KEST_CLASS(CVideoRec_Dayang)
    CVideoRec_Dayang();
};
