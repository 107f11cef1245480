// The APS1602 switch: 16 sources on one program bus over an RS-422 board port, 9600 baud,
// odd parity. Every command is a checked frame answered by a checked reply; the device is
// checked at open with a preset query, and devices on one line share one protocol object.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CAnsweringSwitchIO.h"
#include "drivers/switchers/binary/SwitchFrames.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

class KSOVRA20_API CSerialIO_APS1602 : public CAnsweringSwitchIO<swframe::CAps1602Decoder> {
public:
    CSerialIO_APS1602();
    ~CSerialIO_APS1602() override;

    // Sends the frame through the request loop: 1 when the reply's verdict was good.
    int Send(const std::vector<uint8_t> &frame);
    // The sources the switch last reported (-1 before any report).
    int GetProgramSource() const { return m_nProgram.load(); }
    int GetPresetSource() const { return m_nPreset.load(); }

protected:
    // The last reply's verdict; a status reply's sources are kept.
    std::optional<ReplyCheck> Read(const std::vector<swframe::Aps1602Verdict> &verdicts) override;

private:
    std::atomic<int> m_nProgram{-1};
    std::atomic<int> m_nPreset{-1};
};

class KSOVRA20_API CVideoSwitch_APS1602 : public CVideoSwitchSerial<CSerialIO_APS1602> {
    DECLARE_KEST_CLASS(CVideoSwitch_APS1602)

    CVideoSwitch_APS1602();

    // Asks the switch for its program source; unanswered, the base's entry is reported.
    int DevQueryPgmEntry(int channel, int &entry) override;

protected:
    // On its own port the switch must answer a preset query, else the open fails.
    bool CheckDevice() override;
    int SendRoute(CSerialIO_APS1602 &port, int channel, int entry) override;
    int SendPreset(CSerialIO_APS1602 &port, int channel, int entry) override;
};
