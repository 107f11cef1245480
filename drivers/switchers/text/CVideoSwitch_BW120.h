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

    // Writes the take of the entry to the channel (held to 1..99 and 1..9): whether the line
    // took it.
    int SendTake(int channel, int entry);
};

class KSOVRA20_API CVideoSwitch_BW120 : public CVideoSwitchSerialA {
    DECLARE_KEST_CLASS(CVideoSwitch_BW120)

    CVideoSwitch_BW120();

    int32_t OnInitInstance() override;
    int DevOpen() override;
    // The base keeps the entry as given; only the wire holds it to range. A channel the wire
    // cannot carry (only 1..9) or the base does not keep is refused, nothing sent.
    int DevDirectTake(int channel, int entry) override;
    int DevTake(int channel) override;

protected:
    CSerialSwitchIO &Serial() override { return m_Serial; }

private:
    bool TakesChannel(int channel) const;

private:
    CSerialIO_BW120 m_Serial;
};
