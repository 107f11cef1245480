// The serial protocol objects of the changeover switches: a port of the RS-422 board at 9600
// baud, 8 data bits, no parity, port 2 until set. CSerialEchg422 drives the switch that
// reports its status on its own; CSerialEchg485 the one that acknowledges every command and
// answers status queries.
#pragma once

#include "devext/device/CSerialIO.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/EchgFrames.h"

#include <atomic>
#include <cstdint>

class KSOVRA20_API CSerialEchg : public CSerialIO {
public:
    // Closes the line, takes port number `port` and opens it again: the open's result.
    int Reopen(int port);
    // The same for the port number `portKey` holds (see ReadPortKey); without one that fits,
    // `port`.
    int Reopen(IStringAccess &&portKey, int port);
    // Sends the switch command for position 1 (main) or 2 (backup); whether it was taken.
    virtual int DevSwitch(int position) = 0;

protected:
    explicit CSerialEchg(uint16_t stopBits);
    // What the protocol knew of the line it leaves; called while the line is closed.
    virtual void ForgetLine() {}
};

class KSOVRA20_API CSerialEchg422 : public CSerialEchg {
public:
    // A status older than this does not confirm a command.
    static constexpr uint32_t kStatusFreshMs = 2000;

    CSerialEchg422();
    ~CSerialEchg422() override;

    // Writes the switch frame twice, 20 ms apart: 1 when a status frame arrived within the
    // last kStatusFreshMs.
    int DevSwitch(int position) override;
    // Writes the switch frame twice, 100 ms apart: 1.
    int DevSwitch2(int position);
    // Channel 1 to 8: 2 when its bit of the last status is set, else 1; 0 for any other.
    int GetChannelState(int channel) const;

    // Takes each status frame with its tick and signals the reply event.
    int OnRecvData(int port, pointer_t &data) override;

protected:
    void ForgetLine() override;

private:
    // Whether the switch frame went out at least once.
    bool WriteTwice(int position, uint32_t gapMs);

    echg::C422StatusDecoder m_decoder; // under the receive lock
    std::atomic<uint32_t> m_nStatus{0};
    std::atomic<uint32_t> m_dwStatusTick{0};
    std::atomic<bool> m_bHaveStatus{false};
};

class KSOVRA20_API CSerialEchg485 : public CSerialEchg {
public:
    static constexpr uint32_t kReplyMs = 1000;
    static constexpr uint32_t kPauseMs = 50;

    CSerialEchg485();
    ~CSerialEchg485() override;

    // Sends the switch frame and waits for its acknowledgement.
    int DevSwitch(int position) override;
    // Sends the status query and waits for the answer, which sets the address and state.
    int DevQuery();
    int GetAddress() const { return m_nAddress.load(); }
    int GetState() const { return m_nState.load(); }
    // Tries per request: 1 until the switch first answers, 3 from then on.
    int GetTries() const { return m_nTries.load(); }

    int OnRecvData(int port, pointer_t &data) override;
    // Flushing the line also drops what the decoder holds of an earlier answer.
    int DevFlush(int mode) override;

private:
    // Up to the tries, write `frame` and wait kReplyMs for its reply: 1 when one came.
    int SendAndWait(const echg::Frame3 &frame, size_t length, bool query);

    echg::C485ReplyDecoder m_decoder; // under the receive lock
    std::atomic<int> m_nTries{1};
    std::atomic<int> m_nAddress{0};
    std::atomic<int> m_nState{0};
};
