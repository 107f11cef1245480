// The analogue Leitch matrices on their keyword protocol: 16 sources, 2 channels, 38400 baud
// on an RS-422 board port. A command is its code letter, decimal numbers and CR, written
// without awaiting a reply; the device sends even when its activation fails.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/leitch/CVideoSwitchLeitchA.h"
#include "drivers/switchers/leitch/LeitchFrames.h"

class KSOVRA20_API CSerialIO_LeitchAnalog : public CSerialSwitchIO {
public:
    CSerialIO_LeitchAnalog();
    ~CSerialIO_LeitchAnalog() override;

    // Each writes its command: whether the line took it. The destination, level, source and
    // cross-point commands are logged on "LOG_DEV".
    int SendCommand(leitch::KeywordId id, int number = 0);
    int SendXPoint(int level, int source, int destination);

    // Every block is taken; nothing is kept.
    int OnRecvData(int port, pointer_t &data) override;
};

class KSOVRA20_API CVideoSwitch_Leitch_Analog
    : public CVideoSwitchSerial<CSerialIO_LeitchAnalog, CVideoSwitchLeitchA> {
    DECLARE_KEST_CLASS(CVideoSwitch_Leitch_Analog)

    CVideoSwitch_Leitch_Analog();

    // Level 0, the entry as source, the channel as destination.
    int DevDirectTake(int channel, int entry) override;
    // Level 0, then the entry as source: the second write's result.
    int DevPreset(int channel, int entry) override;
    // The channel as destination.
    int DevTake(int channel) override;
};
