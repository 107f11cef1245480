// The TTV9920 production switcher: 16 sources, 1 channel, over a serial line at 38400 baud,
// odd parity. A request number becomes a frame through the model's table; every request is
// tried once and answered within 500 ms. Devices on one line share one protocol object; the
// own line is checked at open with the link test.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CAnsweringSwitchIO.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"
#include "drivers/switchers/production/Ttv9920Frames.h"
#include <optional>
#include <vector>

class KSOVRA20_API CSerialIO_TTV9920 : public CAnsweringSwitchIO<ttvframe::CReplyDecoder> {
public:
    static constexpr uint32_t kReplyMs = 500;

    CSerialIO_TTV9920();
    ~CSerialIO_TTV9920() override;

    // Request `number` with `data`: 1 when a reply came that is not a failure (`reply`, when
    // given, gets it); 0 for a number outside the table, a failed write, no reply or a refusal.
    int Send(int number, const ttvframe::Bytes &data, ttvframe::Reply *reply = nullptr);
    // The link test: whether the switch acknowledges it.
    int LinkTest();

protected:
    // A block's first reply is kept; it answers the request when it is in the state the
    // request wants (for a failure wanted: any other state), else it refuses it.
    std::optional<ReplyCheck> Read(const std::vector<ttvframe::Reply> &replies) override;

private:
    int Exchange(const ttvframe::Bytes &frame, ttvframe::ReplyState wanted, ttvframe::Reply *out);

    ttvframe::Reply m_reply;                                      // under the receive lock
    ttvframe::ReplyState m_wanted = ttvframe::ReplyState::Failed; // under the receive lock
};

class KSOVRA20_API CVideoSwitch_TTV9920 : public CVideoSwitchSerial<CSerialIO_TTV9920> {
    DECLARE_KEST_CLASS(CVideoSwitch_TTV9920)

    CVideoSwitch_TTV9920();

    int DevSetTransType(int type) override;
    int DevSetTransRate(int rate) override;
    // Ask the switch; its answer is kept as the channel's entry.
    int DevQueryPgmEntry(int channel, int &entry) override;
    int DevQueryPstEntry(int channel, int &entry) override;
    // The switch reports no transition: 0 once the device is active.
    int DevQueryTransMode(int &type, int &rate) override;

protected:
    // The own line must pass the link test.
    bool CheckDevice() override;
    int SendRoute(CSerialIO_TTV9920 &port, int channel, int entry) override;
    int SendPreset(CSerialIO_TTV9920 &port, int channel, int entry) override;
    // The take request, whatever the preset.
    int SendTake(CSerialIO_TTV9920 &port, int channel, int preset) override;

private:
    int Command(int number, const ttvframe::Bytes &data, ttvframe::Reply *reply = nullptr);
    // The entry a query answers (byte 3 of a data reply of at least four bytes): -1 for none.
    int QueryEntry(int number);
};
