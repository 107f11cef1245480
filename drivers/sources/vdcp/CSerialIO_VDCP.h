// What every VDCP port object shares: one command and its reply over CSerialIO::Request
// (tries, 50 ms pause, reply wait, the unanswered count), the reply check on the receive
// thread, the cached port status, the play-position counter that follows the commands, the
// cued and current clip records, and the commands themselves. CVDCP adds the protocol
// engine's interface, CSerialIO_VDCP_SHARED the route of the devices that share a port.
#pragma once

#include "KestLib20/CDataLock.h"
#include "devext/device/CSerialIO.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/CPlayCounter.h"
#include "drivers/sources/vdcp/VdcpCommands.h"
#include "drivers/sources/vdcp/VdcpFrame.h"
#include "drivers/sources/vdcp/VdcpReply.h"
#include "platform/String.h"

#include <atomic>
#include <cstdint>

// A clip as a port object remembers it: name, SOM and DUR in frames (DUR -1: the whole clip)
// and four further values copied with it.
struct tagVdcpClip {
    CString strName;
    int32_t nSOM = 0;
    int32_t nDUR = -1;
    int32_t nValue[4] = {};
};

// The bits of status byte 1.
enum VdcpStatusBits : int32_t {
    VDCP_ST_IDLE = 0x01,
    VDCP_ST_CUEING = 0x02,
    VDCP_ST_PLAYING = 0x04, // recording on a recorder
    VDCP_ST_STOPPED = 0x08,
    VDCP_ST_JOG = 0x10,
    VDCP_ST_SHUTTLE = 0x20,
    VDCP_ST_BUSY = 0x40,
    VDCP_ST_CUED = 0x80,
};

class KSOVRA20_API CSerialIO_VDCP : public CSerialIO {
public:
    static constexpr int kTries = 2;
    static constexpr int kPortTries = 1; // the port commands are tried once
    static constexpr uint32_t kPauseMs = 50;
    static constexpr uint32_t kDefaultReplyMs = 1000;
    static constexpr int32_t kClosedFailCount = 255;
    static constexpr uint32_t kStatusPollMs = 400;
    static constexpr int32_t kWaitGiveUpFails = 6;
    static constexpr uint32_t kStaleMs = 3000;       // age of a status worth refreshing
    static constexpr uint32_t kOpenSpacingMs = 5000; // between two open attempts

    ~CSerialIO_VDCP() override;

    // Drops the block while no command is awaited; else feeds the reply check and, once a
    // reply is complete or invalid, stores it and wakes the exchange.
    int OnRecvData(int port, pointer_t &data) override;

    // The reply wait of every try (the owners' "ComTimeout").
    void SetReplyWait(uint32_t ms) { m_nReplyMs = ms; }
    uint32_t GetReplyWait() const { return m_nReplyMs; }
    // The VDCP channel that a port command given channel 0 addresses.
    void SetChannel(int32_t channel) { m_nChannel = channel; }
    int32_t GetChannel() const { return m_nChannel; }
    // The serial port number; a change closes a held port first and takes effect at the next
    // open. A number outside 0..65535 changes nothing: 0; else 1.
    int SetPortNumber(int32_t port) override;
    // Consecutive unanswered tries: 0 after an answered exchange, 255 while closed.
    int32_t GetFailCount() const { return m_nFailCount; }
    // The port held and the last exchange answered.
    bool IsAnswering() { return DevIsOpen() && m_nFailCount == 0; }
    // Closes the port; the unanswered count becomes 255. 1.
    int Close();

    tagVdcpClip GetCuedClip() const;
    void SetCuedClip(const tagVdcpClip &clip);
    tagVdcpClip GetCurrentClip() const;
    void SetCurrentClip(const tagVdcpClip &clip);
    // The counter's position in frames.
    int32_t GetCounterFrames() { return m_Counter.GetTimecode(); }
    double GetCounterSpeed() const { return m_Counter.GetSpeed(); }

    // The caller's lock around several operations in a row (not the exchange lock): 1.
    int Lock();
    int Unlock();

    // Transport commands; the counter follows them.
    int Play();
    int Record();
    int Stop();
    int Still();
    int Continue();
    int Step();
    int Freeze();
    int Unfreeze();
    // Below 128 frames in magnitude one signed byte, else four bytes big-endian.
    int Jog(int32_t frames);
    // Jogs by the distance from the position read now (or, failing that, the cached one).
    int Goto(int32_t frame);
    int EEMode(int32_t mode);
    int SetDiskPreroll(int32_t frames, int32_t seconds);

    // Cues the clip from its start; with a wait, the cued bit must come within it.
    int PlayCue(const char *clip, int32_t waitMs);
    // Cues SOM .. SOM + DUR (both within one day); with a wait, the cued bit must come.
    int CueWithData(const char *clip, int32_t som, int32_t dur, int32_t waitMs);
    int DeleteId(const char *clip);
    // The clip's duration in frames.
    int GetIdSize(const char *clip, int32_t *frames);
    // The device's answer byte about the clip (0 on failure).
    int IdRequest(const char *clip, int32_t *answer);

    // The port commands (channel 0: the own channel), tried once.
    int ClosePort(int32_t channel);
    int SelectPort(int32_t channel);
    int OpenPort(int32_t channel, int32_t mode, int32_t *answer);

    // Polls the status every 400 ms until a bit of `mask` is set in status byte 1; gives up
    // at the time-out, after six unanswered tries in a row, once the port has closed, or on a
    // nonzero extended status where GivesUpOnExtended says so. The first look comes 400 ms
    // after the call.
    int WaitStatus(int32_t mask, int32_t timeoutMs);

protected:
    // The VDCP line on the RS-422 board port, with `last` as the setting's last value.
    explicit CSerialIO_VDCP(vdcp::Variant variant, uint16_t last = 0);

    vdcp::Variant GetVariant() const { return m_variant; }
    void SetVariant(vdcp::Variant variant) { m_variant = variant; }

    // One command with its data: up to `tries` tries under the exchange lock. 1 when the
    // device answered with anything but a NAK; `reply` (when given) receives the answer. 0,
    // with nothing sent, for an id the command set lacks or data that does not fit.
    int Exchange(int32_t id, const vdcp::Data &data, int tries = kTries,
                 vdcp::Reply *reply = nullptr);
    // A sense request whose reply must be a frame with at least `dataBytes` data bytes.
    int Sense(int32_t id, const vdcp::Data &data, int dataBytes, vdcp::Reply &reply,
              int tries = kTries);

    // The gate of open attempts: true (and the attempt noted) when none was made within
    // kOpenSpacingMs.
    bool OpenAttemptDue();
    // True when no exchange was made within `ms` (and the moment noted as the last exchange).
    bool QuietFor(uint32_t ms);

    // The status: the cached values when refreshed less than `ageMs` ago, else the port
    // status request. Outs may be null; `since` is the age of the values in ms.
    int QueryStatus(int32_t *status1, int32_t *status2, int32_t *extended, uint32_t ageMs,
                    int32_t *since);
    // The position in frames: from the counter when asked less than `ageMs` ago (the status
    // refreshed when older than kStaleMs), else the position request.
    int QueryPosition(int32_t *frames, uint32_t ageMs, int32_t *since);
    // Sends the clamped speed; the counter runs on at `counterSpeed`.
    int SendVariablePlay(double speed, double counterSpeed);
    // The record init command alone; the owners decide what a wait means for the result.
    int SendRecordInit(const char *clip, int32_t duration);
    // The data byte of the port status request: which status bytes it asks for.
    virtual uint8_t StatusRequest() const { return 0x0F; }
    // Whether WaitStatus gives up on a nonzero extended status while waiting for `mask`.
    virtual bool GivesUpOnExtended(int32_t mask) const = 0;

    // The guard of the cached status, the clip records and the gates.
    mutable CDataLock m_StateLock;

private:
    // The reply test of one answered try, on the exchanging thread.
    ReplyCheck TakeReply(vdcp::Reply *reply);
    // After a request: an answered one (a NAK too) clears the unanswered count, else every
    // try written counts as unanswered; either notes the moment of the exchange.
    void CountTries(const RequestResult &result);
    uint8_t ChannelByte(int32_t channel) const;
    // The cued record becomes current when a cued name is set (and, with `clearCued`, the
    // cued name is cleared); with `onlyWithoutCurrent` only while no current name is set.
    void PromoteCued(bool clearCued, bool onlyWithoutCurrent);
    int Transport(int32_t id, double speed);

    std::atomic<vdcp::Variant> m_variant;
    std::atomic<uint32_t> m_nReplyMs{kDefaultReplyMs};
    std::atomic<int32_t> m_nChannel{1};

    // Under the receive lock.
    vdcp::CReplyDecoder m_decoder;
    vdcp::Reply m_reply;
    int32_t m_nAwaitedId = 0;

    std::atomic<int32_t> m_nFailCount{kClosedFailCount};
    std::atomic<uint32_t> m_dwExchangeTick{0};

    // Under m_StateLock.
    int32_t m_nStatus1 = 0;
    int32_t m_nStatus2 = 0;
    int32_t m_nExtended = 0;
    bool m_bStatusValid = false;
    uint32_t m_dwStatusTick = 0;
    bool m_bPositionAsked = false;
    uint32_t m_dwPositionTick = 0;
    bool m_bOpenTried = false;
    uint32_t m_dwOpenTick = 0;
    tagVdcpClip m_cued;
    tagVdcpClip m_current;

    CPlayCounter m_Counter;
    CDataLock m_CallerLock;
};
