// The BW120 switch: 16 sources on 2 channels, 9600 baud. A ten-byte text command per take,
// written without awaiting a reply.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

class KSOVRA20_API CSerialIO_BW120 : public CSerialSwitchIO {
public:
    CSerialIO_BW120();
    ~CSerialIO_BW120() override;
};

class KSOVRA20_API CVideoSwitch_BW120 : public CVideoSwitchSerial<CSerialIO_BW120> {
    DECLARE_KEST_CLASS(CVideoSwitch_BW120)

    CVideoSwitch_BW120();

protected:
    // The wire carries channels 1..9 only: another is refused, nothing sent.
    bool TakesChannel(int channel) const override;
    // The entry is held to 1..99 on the wire only; the base keeps it as given.
    int SendRoute(CSerialIO_BW120 &port, int channel, int entry) override;
};
