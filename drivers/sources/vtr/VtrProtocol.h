// The Sony 9-pin protocol object of one VTR: it owns the VTR's RS-422 line, sends one command
// at a time from the fixed command table and waits for the answer, keeps a cached copy of the
// VTR status, and estimates the tape position between queries from the last known speed.
// Each VTR source makes its own and reaches it through ISerialVTR.
#pragma once

#include "devext/device/CSerialIO.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/CPlayCounter.h"
#include "drivers/sources/vtr/VtrFrame.h"
#include "platform/ComTypes.h"

#include <atomic>
#include <cstdint>

// The VTR operations, in slot order; each returns 1 for success and 0 for failure unless
// said otherwise.
class ISerialVTR {
public:
    // The first three share the component's signatures, so one operation serves both.
    // Hands nothing out; 1.
    virtual HRESULT QueryInterface(const GUID *iid, void **out) = 0;
    virtual uint32_t AddRef() = 0;
    // Destroys the object; 1.
    virtual uint32_t Release() = 0;
    // Counters stopped, failure count back to "never connected", port closed; whether the
    // port is still open.
    virtual int32_t Close() = 0;
    virtual int32_t Open() = 0;
    virtual int32_t IsOpen() = 0;
    virtual int32_t SetPort(int16_t port) = 0;
    virtual int32_t GetPort() = 0;
    virtual int32_t GetOptions() = 0;
    // ORs the bits in (clears them); the new bits.
    virtual int32_t SetOptions(int32_t bits) = 0;
    virtual int32_t ClearOptions(int32_t bits) = 0;
    // The last exchange was answered.
    virtual int32_t IsConnected() = 0;
    // At most once per test interval since the last exchange, opens and asks the status.
    virtual int32_t Test() = 0;
    virtual int32_t IsReady(const char *text) = 0;
    // Exchanges without an answer in a row; 256 before the first answer and after Close.
    virtual int32_t GetFailCount() = 0;
    // "TEST", "STATUS", "TIMEMODE" or "TIMECODE" interval in ms, when in range; 0.
    virtual int32_t SetInterval(const char *name, int32_t ms) = 0;
    virtual int32_t Play() = 0;
    virtual int32_t Stop() = 0;
    virtual int32_t Eject() = 0;
    virtual int32_t Record() = 0;
    virtual int32_t FastForward() = 0;
    virtual int32_t Rewind() = 0;
    // Stops, reads a stable position and cues `frames` from it.
    virtual int32_t Step(int32_t frames) = 0;
    virtual int32_t Shuttle(double speed) = 0;
    virtual int32_t StandbyOff() = 0;
    virtual int32_t StandbyOn() = 0;
    virtual int32_t CueUpWithData(int32_t frames) = 0;
    // Does nothing; 1.
    virtual int32_t CueAndWait(int32_t mode, int32_t frames, int32_t ms) = 0;
    // 1 CTL timer, 2 time code.
    virtual int32_t SetTimeMode(int32_t mode) = 0;
    virtual int32_t GetTimeMode() = 0;
    virtual int32_t ResetTimer() = 0;
    virtual int32_t GetDeviceType(int32_t *type, char *name, int32_t len) = 0;
    virtual int32_t GetStatus(tagVTRStatus *out, int32_t useCache) = 0;
    // Kind 0 the current time mode, 2 time code, others the timer.
    virtual int32_t GetTimecode(int32_t kind, int32_t *frames, int32_t useCache) = 0;

protected:
    ~ISerialVTR() = default;
};

class KSOVRA20_API CSerialVTR : public CSerialIO, public ISerialVTR {
    DECLARE_KEST_CLASS(CSerialVTR)

    static constexpr int32_t kNeverConnected = 256;
    static constexpr int32_t kOptionTimerModeSense = 1;
    static constexpr int32_t kTimeModeTimer = 1;
    static constexpr int32_t kTimeModeTimecode = 2;

    CSerialVTR();
    ~CSerialVTR() override;

    HRESULT QueryInterface(const GUID *iid, void **out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;
    int32_t Close() override;
    int32_t Open() override;
    int32_t IsOpen() override;
    int32_t SetPort(int16_t port) override;
    int32_t GetPort() override;
    int32_t GetOptions() override;
    int32_t SetOptions(int32_t bits) override;
    int32_t ClearOptions(int32_t bits) override;
    int32_t IsConnected() override;
    int32_t Test() override;
    int32_t IsReady(const char *text) override;
    int32_t GetFailCount() override;
    int32_t SetInterval(const char *name, int32_t ms) override;
    int32_t Play() override;
    int32_t Stop() override;
    int32_t Eject() override;
    int32_t Record() override;
    int32_t FastForward() override;
    int32_t Rewind() override;
    int32_t Step(int32_t frames) override;
    int32_t Shuttle(double speed) override;
    int32_t StandbyOff() override;
    int32_t StandbyOn() override;
    int32_t CueUpWithData(int32_t frames) override;
    int32_t CueAndWait(int32_t mode, int32_t frames, int32_t ms) override;
    int32_t SetTimeMode(int32_t mode) override;
    int32_t GetTimeMode() override;
    int32_t ResetTimer() override;
    int32_t GetDeviceType(int32_t *type, char *name, int32_t len) override;
    int32_t GetStatus(tagVTRStatus *out, int32_t useCache) override;
    int32_t GetTimecode(int32_t kind, int32_t *frames, int32_t useCache) override;

    // Gathers the reply to the pending command and completes the exchange.
    int OnRecvData(int port, pointer_t &data) override;

private:
    enum class Answer {
        None,  // the write failed or nothing came
        Wrong, // a reply came, but not the one awaited (a NAK, a bad checksum, another kind)
        Right,
    };
    // One command and its answer (see the source file).
    Answer Exchange(int32_t id, const uint8_t *data, int n, tagVTRReply *reply = nullptr,
                    const vtr::Expect &expect = vtr::kAck);
    // A command that only awaits its acknowledgement; 1 when acknowledged.
    int Command(int32_t id, const uint8_t *data = nullptr, int n = 0);
    // A transport command; on success both counters take `speed` (as the status allows).
    int Transport(int32_t id, double speed, const uint8_t *data = nullptr, int n = 0);
    // Gives both counters the speed, 0 while the cached status says no tape, and makes the
    // next GetTimecode ask the VTR.
    void SetSpeed(double speed);
    // PLAY went unanswered (not refused): reopen the line and send PLAY twice without
    // waiting.
    void EmergencyPlay();
    // Sleeps, cut short by Close. False when cut short.
    bool Pause(uint32_t ms);

    struct TimedCounter {
        CPlayCounter counter;
        uint32_t tick = 0;
        bool read = false; // a reading lies within reach of the cache
    };

    CDataLock m_StateLock;
    plat::Event m_evClosed{true, false};
    vtr::CReplyDecoder m_decoder; // under the receive lock

    // Guarded by the state lock.
    int32_t m_nPending = 0;
    uint32_t m_nReplyTimeout = 1000;
    tagVTRReply m_Reply;
    bool m_bReplySound = false;
    int32_t m_nFailCount = kNeverConnected;
    uint32_t m_dwLastExchange = 0;
    int32_t m_nOptions = kOptionTimerModeSense;
    uint32_t m_nTestInterval = 3000;
    uint32_t m_nStatusInterval = 4000;
    uint32_t m_nTimeModeInterval = 5000;
    uint32_t m_nTimecodeInterval = 2000;
    uint32_t m_dwTimeModeTick = 0;
    bool m_bTimeModeRead = false;
    int32_t m_nTimeMode = kTimeModeTimer;
    tagVTRStatus m_Status;
    uint32_t m_dwStatusTick = 0;
    bool m_bStatusRead = false;
    TimedCounter m_Timecode; // time code (kind 2)
    TimedCounter m_Timer;    // CTL timer (other kinds)
};
