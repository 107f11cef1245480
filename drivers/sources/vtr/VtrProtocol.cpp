#include "drivers/sources/vtr/VtrProtocol.h"

#include "Kest20/KestLog.h"
#include "drivers/model/DeviceCalls.h"
#include "platform/TimeSource.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <strings.h>

IMPLEMENT_KEST_CLASS(CSerialVTR, CSerialIO)

namespace {

constexpr double kStopped = 0.0;
constexpr double kPlaySpeed = 1.0;
constexpr double kWindSpeed = 40.0;  // what FAST FWD and REWIND are taken to run at
constexpr double kStatusWind = 42.0; // what the status reports of winding are taken as
constexpr double kShuttleLimit = 30.0;
constexpr int kStatusBytes = 0x09; // STATUS SENSE: bytes 0 to 8
constexpr uint8_t kTimeSenseTimecode = 0x01;
constexpr uint8_t kTimeSenseTimer = 0x04;
constexpr int kReadTries = 10;
constexpr int kStepPasses = 10;

// Milliseconds since `tick`.
uint32_t Elapsed(uint32_t tick)
{
    return plat::GetTickCount() - tick;
}

bool InRange(int32_t ms, int32_t low, int32_t high)
{
    return ms > low && ms < high;
}

} // namespace

CSerialVTR::CSerialVTR()
{
    // Any port kind that opens.
    SetLine({2, 38400, 8, COM_PARITY_ODD, COM_STOPBITS_ONE, 80, nullptr});
    m_Status.Set(0, 0);
    m_Status.Set(0, 5);
    m_Status.Set(1, 5);
}

CSerialVTR::~CSerialVTR()
{
    m_evClosed.Set();
    DevClose();
}

HRESULT CSerialVTR::QueryInterface(const GUID *, void **out)
{
    if (out) *out = nullptr;
    return 1;
}

uint32_t CSerialVTR::AddRef()
{
    return 1;
}

uint32_t CSerialVTR::Release()
{
    delete this;
    return 1;
}

int32_t CSerialVTR::Close()
{
    m_evClosed.Set();
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        m_Timecode.counter.SetSpeed(kStopped);
        m_Timer.counter.SetSpeed(kStopped);
        m_nFailCount = kNeverConnected;
        m_dwLastExchange = plat::GetTickCount();
    }
    DevClose();
    return DevIsOpen();
}

int32_t CSerialVTR::Open()
{
    m_evClosed.Reset();
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        m_Timecode.counter.SetSpeed(kStopped);
        m_Timer.counter.SetSpeed(kStopped);
    }
    return DevOpen();
}

int32_t CSerialVTR::IsOpen()
{
    return DevIsOpen();
}

int32_t CSerialVTR::SetPort(int16_t port)
{
    // The slot carries the 16 bits of the port number.
    return SetPortNumber(static_cast<uint16_t>(port));
}

int32_t CSerialVTR::GetPort()
{
    return GetPortNumber();
}

int32_t CSerialVTR::GetOptions()
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    return m_nOptions;
}

int32_t CSerialVTR::SetOptions(int32_t bits)
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    return m_nOptions |= bits;
}

int32_t CSerialVTR::ClearOptions(int32_t bits)
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    return m_nOptions &= ~bits;
}

int32_t CSerialVTR::IsConnected()
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    return m_nFailCount == 0 ? 1 : 0;
}

int32_t CSerialVTR::GetFailCount()
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    return m_nFailCount;
}

int32_t CSerialVTR::Test()
{
    bool due;
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        due = Elapsed(m_dwLastExchange) >= m_nTestInterval;
    }
    if (due) {
        Open();
        tagVTRStatus status;
        GetStatus(&status, 0);
    }
    return IsConnected();
}

int32_t CSerialVTR::IsReady(const char *)
{
    tagVTRStatus status;
    GetStatus(&status, 0);
    std::lock_guard<CDataLock> lk(m_StateLock);
    return m_nFailCount <= 2 && !status.Test(0, 0) ? 1 : 0;
}

int32_t CSerialVTR::SetInterval(const char *name, int32_t ms)
{
    if (!name) return 0;
    std::lock_guard<CDataLock> lk(m_StateLock);
    if (strcasecmp(name, "TEST") == 0) {
        if (InRange(ms, 2000, 60000)) m_nTestInterval = static_cast<uint32_t>(ms);
        return 0;
    }
    uint32_t *interval = nullptr;
    if (strcasecmp(name, "STATUS") == 0)
        interval = &m_nStatusInterval;
    else if (strcasecmp(name, "TIMEMODE") == 0)
        interval = &m_nTimeModeInterval;
    else if (strcasecmp(name, "TIMECODE") == 0)
        interval = &m_nTimecodeInterval;
    if (interval && InRange(ms, 500, 60000)) *interval = static_cast<uint32_t>(ms);
    return 0;
}

// One try: the line's input is flushed, the frame written and the reply awaited up to the
// reply time-out. Any reply shows the VTR is there; only a sound one of the expected kind
// completes the command. An unanswered exchange counts a failure, a failed write does not.
CSerialVTR::Answer CSerialVTR::Exchange(int32_t id, const uint8_t *data, int n, tagVTRReply *reply,
                                        const vtr::Expect &expect)
{
    uint8_t frame[vtr::kMaxFrame];
    const int length = vtr::BuildFrame(id, data, n, frame);
    if (length == 0) return Answer::None;

    uint32_t timeout;
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        timeout = m_nReplyTimeout;
    }
    const auto arm = [this, id] {
        m_decoder.Reset();
        std::lock_guard<CDataLock> lk(m_StateLock);
        m_nPending = id;
    };
    const auto ended = [this](RequestEnd) {
        std::lock_guard<CDataLock> lk(m_StateLock);
        m_nPending = 0;
    };
    RequestResult result;
    return Alone([&] {
        // A task unit's thread that is to stop sends nothing, and its stop ends the reply
        // wait; an exchange cut short by it tells nothing of the VTR.
        if (CCallingUnit::Stopped()) return Answer::None;
        const int answered =
            Request(reinterpret_cast<const char *>(frame), length, 1, timeout, 0,
                    TryHooks(arm, {}, ended, CCallingUnit::CurrentStop()), &result);
        if (CCallingUnit::Stopped()) return Answer::None;
        const bool writeFailed = result.end == RequestEnd::WriteFailed;
        // A line that hung up closed its port: the VTR is not connected until it is opened
        // again.
        const bool closed = writeFailed && !DevIsOpen();

        std::lock_guard<CDataLock> lk(m_StateLock);
        if (closed) m_nFailCount = kNeverConnected;
        if (writeFailed) return Answer::None;
        m_dwLastExchange = plat::GetTickCount();
        if (!answered) {
            ++m_nFailCount;
            return Answer::None;
        }
        m_nFailCount = 0;
        if (!m_bReplySound || !vtr::Answers(m_Reply, expect)) return Answer::Wrong;
        if (reply) *reply = m_Reply;
        return Answer::Right;
    });
}

int CSerialVTR::Command(int32_t id, const uint8_t *data, int n)
{
    return Exchange(id, data, n) == Answer::Right ? 1 : 0;
}

int CSerialVTR::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length <= 0) return 0;
    const bool complete = WithBuffer([&](CBuffer &) {
        {
            std::lock_guard<CDataLock> lk(m_StateLock);
            if (m_nPending == 0) return false;
        }
        const std::vector<vtr::ReplyEvent> events = m_decoder.Feed(
            static_cast<const uint8_t *>(data.data), static_cast<size_t>(data.length));
        if (events.empty()) return false;
        std::lock_guard<CDataLock> lk(m_StateLock);
        m_Reply = events.front().reply;
        m_bReplySound = events.front().kind == vtr::ReplyEvent::Kind::Done;
        m_nPending = 0;
        return true;
    });
    if (!complete) return 0;
    SignalReply();
    return 1;
}

void CSerialVTR::SetSpeed(double speed)
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    if ((speed >= 1e-14 || speed <= -1e-14) && !m_Status.HasTape()) speed = kStopped;
    for (TimedCounter *c : {&m_Timecode, &m_Timer}) {
        c->counter.SetSpeed(speed);
        c->read = false;
    }
}

int CSerialVTR::Transport(int32_t id, double speed, const uint8_t *data, int n)
{
    if (!Command(id, data, n)) return 0;
    SetSpeed(speed);
    return 1;
}

bool CSerialVTR::Pause(uint32_t ms)
{
    return m_evClosed.Wait(ms) != plat::WAIT_OBJECT_0;
}

void CSerialVTR::EmergencyPlay()
{
    uint8_t frame[vtr::kMaxFrame];
    const int length = vtr::BuildFrame(vtr::kPlay, nullptr, 0, frame);
    DevClose();
    // A unit's thread that is to stop leaves the line closed.
    if (!Pause(200) || CCallingUnit::Stopped()) return;
    DevOpen();
    if (!Pause(200) || CCallingUnit::Stopped()) return;
    DevWrite(reinterpret_cast<const char *>(frame), length);
    if (!Pause(1000) || CCallingUnit::Stopped()) return;
    DevFlush(2);
    DevWrite(reinterpret_cast<const char *>(frame), length);
    glReportDbg("LOG_BETACAM", "Emg play");
}

int32_t CSerialVTR::Play()
{
    switch (Exchange(vtr::kPlay, nullptr, 0)) {
    case Answer::Right:
        SetSpeed(kPlaySpeed);
        return 1;
    case Answer::Wrong:
        // The VTR heard PLAY and refused it (no tape, local mode): a reopened line and more
        // PLAYs would only be refused too.
        return 0;
    case Answer::None:
        // A unit's thread that is to stop sends nothing more.
        if (!CCallingUnit::Stopped()) EmergencyPlay();
        return 0;
    }
    return 0;
}

int32_t CSerialVTR::Stop()
{
    return Transport(vtr::kStop, kStopped);
}

int32_t CSerialVTR::Eject()
{
    return Transport(vtr::kEject, kStopped);
}

int32_t CSerialVTR::Record()
{
    return Transport(vtr::kRecord, kPlaySpeed);
}

int32_t CSerialVTR::FastForward()
{
    return Transport(vtr::kFastForward, kWindSpeed);
}

int32_t CSerialVTR::Rewind()
{
    return Transport(vtr::kRewind, -kWindSpeed);
}

int32_t CSerialVTR::Step(int32_t frames)
{
    if (!Stop()) return 0;
    for (int pass = 0; pass < kStepPasses; ++pass) {
        int32_t first = 0, second = 0, third = 0;
        GetTimecode(0, &first, 0);
        GetTimecode(0, &second, 0);
        if (first != second) continue;
        GetTimecode(0, &third, 0);
        if (third == second) return CueUpWithData(third + frames);
    }
    return 0;
}

int32_t CSerialVTR::Shuttle(double speed)
{
    if (speed > kShuttleLimit) return FastForward();
    if (speed < -kShuttleLimit) return Rewind();
    const uint8_t data = vtr::ShuttleSpeedByte(speed);
    if (!Command(speed > 0 ? vtr::kShuttleForward : vtr::kShuttleReverse, &data, 1)) return 0;
    std::lock_guard<CDataLock> lk(m_StateLock);
    m_Timecode.counter.SetSpeed(speed);
    m_Timer.counter.SetSpeed(speed);
    return 1;
}

int32_t CSerialVTR::StandbyOff()
{
    return Command(vtr::kStandbyOff);
}

int32_t CSerialVTR::StandbyOn()
{
    return Command(vtr::kStandbyOn);
}

int32_t CSerialVTR::CueUpWithData(int32_t frames)
{
    uint8_t data[4];
    vtr::EncodeCuePoint(frames, data);
    return Command(vtr::kCueUpWithData, data, 4);
}

int32_t CSerialVTR::CueAndWait(int32_t, int32_t, int32_t)
{
    return 1;
}

int32_t CSerialVTR::SetTimeMode(int32_t mode)
{
    const uint8_t data = mode == kTimeModeTimer ? 1 : 0;
    if (!Command(vtr::kTimerModeSelect, &data, 1)) return 0;
    std::lock_guard<CDataLock> lk(m_StateLock);
    m_nTimeMode = mode;
    m_dwTimeModeTick = plat::GetTickCount();
    m_bTimeModeRead = true;
    return 1;
}

int32_t CSerialVTR::GetTimeMode()
{
    bool ask;
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        ask = (m_nOptions & kOptionTimerModeSense) &&
              (!m_bTimeModeRead || Elapsed(m_dwTimeModeTick) >= m_nTimeModeInterval);
    }
    tagVTRReply reply;
    const bool answered = ask && Exchange(vtr::kTimerModeSense, nullptr, 0, &reply,
                                          vtr::kTimeModeData) == Answer::Right;
    std::lock_guard<CDataLock> lk(m_StateLock);
    if (answered) {
        m_nTimeMode = reply.data[0] == 0 ? kTimeModeTimecode : kTimeModeTimer;
        m_dwTimeModeTick = plat::GetTickCount();
        m_bTimeModeRead = true;
    }
    return m_nTimeMode;
}

int32_t CSerialVTR::ResetTimer()
{
    if (!Command(vtr::kTimer1Reset)) return 0;
    std::lock_guard<CDataLock> lk(m_StateLock);
    m_Timer.counter.SetPosition(0);
    return 1;
}

int32_t CSerialVTR::GetDeviceType(int32_t *type, char *name, int32_t len)
{
    if (type) *type = 0;
    if (name && len > 0) name[0] = 0;
    tagVTRReply reply;
    if (Exchange(vtr::kDeviceTypeRequest, nullptr, 0, &reply, vtr::kDeviceType) != Answer::Right)
        return 0;
    const int32_t model = (reply.data[0] & 0xF0) * 256 + reply.data[1];
    if (type) *type = model;
    if (name && len > 0) {
        std::strncpy(name, vtr::DeviceTypeName(model), static_cast<size_t>(len));
        name[len - 1] = 0;
    }
    return 1;
}

int32_t CSerialVTR::GetStatus(tagVTRStatus *out, int32_t useCache)
{
    tagVTRStatus status;
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        if (useCache && m_bStatusRead && Elapsed(m_dwStatusTick) < m_nStatusInterval) {
            if (out) *out = m_Status;
            return 1;
        }
    }
    const uint8_t data = kStatusBytes;
    tagVTRReply reply;
    if (Exchange(vtr::kStatusSense, &data, 1, &reply, vtr::kStatusData) != Answer::Right) {
        status.Set(0, 0);
        status.Set(0, 5);
        if (out) *out = status;
        return 0;
    }
    status.Load(reply.data);
    std::optional<double> speed;
    if (status.Test(4, 0) || status.Test(1, 5) || status.Test(2, 1) || status.Test(0, 5))
        speed = kStopped;
    if (status.Test(1, 0)) speed = kPlaySpeed;
    if (status.Test(1, 2)) speed = kStatusWind;
    if (status.Test(1, 3)) speed = -kStatusWind;
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        m_Status = status;
        m_dwStatusTick = plat::GetTickCount();
        m_bStatusRead = true;
    }
    if (speed) SetSpeed(*speed);
    if (out) *out = status;
    return 1;
}

int32_t CSerialVTR::GetTimecode(int32_t kind, int32_t *frames, int32_t useCache)
{
    if (kind == 0) kind = GetTimeMode();
    TimedCounter &c = kind == kTimeModeTimecode ? m_Timecode : m_Timer;
    const uint8_t which = kind == kTimeModeTimecode ? kTimeSenseTimecode : kTimeSenseTimer;
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        if (useCache && c.read && Elapsed(c.tick) < m_nTimecodeInterval) {
            if (frames) *frames = c.counter.GetTimecode();
            return 1;
        }
    }
    for (int tries = 0; tries < kReadTries; ++tries) {
        tagVTRReply reply;
        const Answer answer = Exchange(vtr::kCurrentTimeSense, &which, 1, &reply, vtr::kTimeData);
        if (answer == Answer::None) {
            std::lock_guard<CDataLock> lk(m_StateLock);
            if (frames) *frames = c.counter.GetTimecode();
            return 0;
        }
        int32_t reading = 0;
        if (answer == Answer::Wrong || !vtr::DecodeTimecode(reply.data, reading)) continue;
        std::lock_guard<CDataLock> lk(m_StateLock);
        if (frames) *frames = reading;
        c.counter.SetPosition(static_cast<int64_t>(reading) * CPlayCounter::kUnitsPerFrame);
        c.tick = plat::GetTickCount();
        c.read = true;
        return 1;
    }
    return 0;
}
