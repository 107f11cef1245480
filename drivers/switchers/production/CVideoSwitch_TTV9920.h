// The TTV9920 production switcher: 16 sources, 1 channel, over a serial line at 38400 baud,
// odd parity. A request number becomes a frame through the model's table; every request is
// tried once and answered within 500 ms. Devices on one line share one protocol object; the
// own line is checked at open with the link test.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"
#include "drivers/switchers/production/Ttv9920Frames.h"

#include <memory>

class KSOVRA20_API CSerialIO_TTV9920 : public CSerialSwitchIO {
public:
    static constexpr uint32_t kReplyMs = 500;

    CSerialIO_TTV9920();
    ~CSerialIO_TTV9920() override;

    // Request `number` with `data`: 1 when a reply came that is not a failure (`reply`, when
    // given, gets it); 0 for a number outside the table, a failed write, no reply or a refusal.
    int Send(int number, const ttvframe::Bytes &data, ttvframe::Reply *reply = nullptr);
    // The link test: whether the switch acknowledges it.
    int LinkTest();

    int OnRecvData(int port, pointer_t &data) override;

private:
    int Exchange(const ttvframe::Bytes &frame, ttvframe::ReplyState wanted, ttvframe::Reply *out);

    ttvframe::CReplyDecoder m_decoder; // under m_RecvLock
    ttvframe::Reply m_reply;           // under m_RecvLock
};

class KSOVRA20_API CVideoSwitch_TTV9920 : public CVideoSwitchSharedA {
    DECLARE_KEST_CLASS(CVideoSwitch_TTV9920)

    CVideoSwitch_TTV9920();

    int32_t OnInitInstance() override;
    // 1 when the own port is open; a line another device holds is taken as it is; the own
    // line must pass the link test, else it closes again with status 5 "Open device failed".
    int DevOpen() override;
    int DevSetTransType(int type) override;
    int DevSetTransRate(int rate) override;
    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;
    // Ask the switch; its answer is kept as the channel's entry.
    int DevQueryPgmEntry(int channel, int &entry) override;
    int DevQueryPstEntry(int channel, int &entry) override;
    // The switch reports no transition: 0 once the device is active.
    int DevQueryTransMode(int &type, int &rate) override;

protected:
    CSerialSwitchIO &Serial() override { return m_Serial; }
    std::shared_ptr<CSerialSwitchIO> FindActivePort() override { return ActivePort(); }

private:
    std::shared_ptr<CSerialIO_TTV9920> ActivePort()
    {
        return m_Serial.OpenOrShare<CSerialIO_TTV9920>();
    }
    int Command(int number, const ttvframe::Bytes &data, ttvframe::Reply *reply = nullptr);
    // The entry a query answers (byte 3 of a data reply of at least four bytes): -1 for none.
    int QueryEntry(int number);

    CSerialIO_TTV9920 m_Serial;
};
