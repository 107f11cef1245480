// The protocol objects of the AA2-framed matrices. Every command is a checked text frame
// answered by ACK, NAK or a checked reply, tried once until the matrix first answers and three
// times from then on, 500 ms each. The AA2 matrix takes the input before the output, the
// VRS1620 the output first; the polled AA2 kind holds each frame until the matrix asks for
// one with '#'.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CAnsweringSwitchIO.h"
#include "drivers/switchers/aa2/Aa2Frames.h"
#include "platform/Sync.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

// What both dialects share: the exchange, the reply check and the tables the replies fill.
class KSOVRA20_API CAa2SerialIO : public CAnsweringSwitchIO<swframe::CAa2Decoder> {
public:
    static constexpr uint32_t kAa2ReplyMs = 500;
    static constexpr int kOutputs = 32;

    // Routes the 0-based input to the 0-based output: whether the matrix acknowledged it.
    int SendSwitch(int input, int output);
    // Asks which input the 0-based output carries: whether the matrix answered; `input` is
    // what the table holds for the output after the answer (0-based; -1 for an output past
    // the table).
    int QueryOutput(int output, int &input);
    // Closes the port and opens it again on `port`: whether it opened.
    int Reopen(uint16_t port);

    bool IsLocked(int output) const;
    int GetSecondInput(int output) const;

protected:
    // Acknowledgements and replies read with the last one's verdict; a reply whose check does
    // not hold refuses the request. A poll alone reads as nothing.
    std::optional<ReplyCheck> Read(const std::vector<swframe::Aa2Event> &events) override;
    // Each poll ('#') goes to OnPoll.
    void Answer(const std::vector<swframe::Aa2Event> &events) override;
    CAa2SerialIO(swframe::Aa2Dialect dialect, const Line &line);
    // The matrix asked for a command ('#'), on the receive path. Base: nothing.
    virtual void OnPoll() {}
    // A request has ended, under the request lock. Base: nothing.
    virtual void OnRequestEnded() {}

private:
    int Exchange(const swframe::Bytes &frame);
    bool TakeReply(const swframe::Aa2Event &event);

    const swframe::Aa2Dialect m_dialect;
    std::atomic<int> m_nQueried{-1};
    std::array<std::atomic<int>, kOutputs> m_inputs{};
    std::array<std::atomic<int>, kOutputs> m_seconds{};
    std::array<std::atomic<bool>, kOutputs> m_locks{};
};

class KSOVRA20_API CSerialIO_AA2 : public CAa2SerialIO {
    DECLARE_KEST_CLASS(CSerialIO_AA2)

    CSerialIO_AA2();
    ~CSerialIO_AA2() override;
};

// The AA2 matrix that polls: a frame written waits (up to 5 s, for one still pending to go;
// cut short by a close of the line or the stop of the calling thread's task unit) and is sent
// when the next '#' comes; the request's reply wait covers the wait for the poll.
class KSOVRA20_API CSerialIO_AA2Polled : public CSerialIO_AA2 {
public:
    static constexpr int kPendingChecks = 100;
    static constexpr uint32_t kPendingCheckMs = 50;
    static constexpr size_t kMaxFrame = 128;

    CSerialIO_AA2Polled();
    ~CSerialIO_AA2Polled() override;

    // Whether a frame waits for the poll.
    bool HasPending() const;

protected:
    // Queues the frame for the next poll: its length; 0 when the line is closed (or closes, or
    // the calling unit stops, while a frame still pending keeps it waiting) or the frame is
    // longer than 128 bytes.
    int DevWrite(const char *data, int length) override;
    void OnPoll() override;
    // Drops the frame of the request when no poll has taken it.
    void OnRequestEnded() override;

private:
    mutable std::mutex m_pendingLock;
    swframe::Bytes m_pending; // under m_pendingLock
    plat::Event m_evTaken{false, false};
};

class KSOVRA20_API CSerialIO_VRS1620 : public CAa2SerialIO {
    DECLARE_KEST_CLASS(CSerialIO_VRS1620)

    CSerialIO_VRS1620();
    ~CSerialIO_VRS1620() override;

protected:
    explicit CSerialIO_VRS1620(const Line &line);
};

// The VRS1620 on a plain RS-232 port at 9600 baud.
class KSOVRA20_API CSerialIO_VRS1620_RS232 : public CSerialIO_VRS1620 {
public:
    CSerialIO_VRS1620_RS232();
};
