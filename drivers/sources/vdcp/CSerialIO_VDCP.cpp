#include "drivers/sources/vdcp/CSerialIO_VDCP.h"

#include "devext/device/CSerial_M422.h"
#include "drivers/model/DeviceCalls.h"
#include "drivers/tasks/CVideoBroTaskTPU.h"

#include "Kest20/KestLog.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <optional>

namespace {

constexpr uint8_t kPositionRequest = 0x01;
constexpr int kStatusDataBytes = 3;   // echo, status byte 1, status byte 2
constexpr int kPositionDataBytes = 5; // echo, then the time code

} // namespace

CSerialIO_VDCP::CSerialIO_VDCP(vdcp::Variant variant, uint16_t last) : m_variant(variant)
{
    SetLine({2, 38400, 8, COM_PARITY_ODD, COM_STOPBITS_ONE, last, CSerial_M422::GetClassID()});
}

CSerialIO_VDCP::~CSerialIO_VDCP()
{
    // No delivery may reach OnRecvData once the members below are gone.
    CSerialIO::DevClose();
}

int CSerialIO_VDCP::SetPortNumber(int32_t port)
{
    if (GetPortNumber() == port) return 1;
    if (port < 0 || port > std::numeric_limits<uint16_t>::max()) return 0;
    // The port held is the old number's.
    Close();
    return CSerialIO::SetPortNumber(port);
}

int CSerialIO_VDCP::Close()
{
    CSerialIO::DevClose();
    m_nFailCount = kClosedFailCount;
    return 1;
}

int CSerialIO_VDCP::Lock()
{
    m_CallerLock.Lock();
    return 1;
}

int CSerialIO_VDCP::Unlock()
{
    m_CallerLock.Unlock();
    return 1;
}

tagVdcpClip CSerialIO_VDCP::GetCuedClip() const
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    return m_cued;
}

void CSerialIO_VDCP::SetCuedClip(const tagVdcpClip &clip)
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    m_cued = clip;
}

tagVdcpClip CSerialIO_VDCP::GetCurrentClip() const
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    return m_current;
}

void CSerialIO_VDCP::SetCurrentClip(const tagVdcpClip &clip)
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    m_current = clip;
}

void CSerialIO_VDCP::PromoteCued(bool clearCued, bool onlyWithoutCurrent)
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    if (m_cued.strName.IsEmpty()) return;
    if (onlyWithoutCurrent && !m_current.strName.IsEmpty()) return;
    m_current = m_cued;
    if (clearCued) m_cued.strName.Empty();
}

// ---- the exchange ----

int CSerialIO_VDCP::Exchange(int32_t id, const vdcp::Data &data, int tries, vdcp::Reply *reply)
{
    const vdcp::Command *row = vdcp::FindCommand(m_variant, id);
    if (!row || !data.Ok()) return 0;
    vdcp::Frame frame;
    if (!vdcp::EncodeFrame(*row, data.Bytes(), data.Length(), frame)) return 0;

    // Alone across the request and its count, so callers on several threads queue.
    return Alone([&] {
        // A unit thread of a released task manager, given up while it waited here, sends
        // nothing.
        if (CVideoBroTaskTPU::CallingUnitStopped()) return 0;
        const auto arm = [this, id] {
            m_decoder.Reset();
            m_reply = vdcp::Reply{};
            m_nAwaitedId = id;
        };
        const auto ended = [this](RequestEnd) {
            // Nothing is awaited once the request is over (a write that failed sent nothing).
            WithBuffer([this](CBuffer &) { m_nAwaitedId = 0; });
        };
        RequestResult result;
        // The unit's stop ends the request's waits; a request cut short by it tells nothing
        // of the device.
        const int ok = Request(reinterpret_cast<const char *>(frame.bytes.data()), frame.nLength,
                               tries, m_nReplyMs, kPauseMs,
                               TryHooks(
                                   arm, [this, reply] { return TakeReply(reply); }, ended,
                                   CCallingUnit::CurrentStop()),
                               &result);
        if (!CVideoBroTaskTPU::CallingUnitStopped()) CountTries(result);
        return ok;
    });
}

int CSerialIO_VDCP::Sense(int32_t id, const vdcp::Data &data, int dataBytes, vdcp::Reply &reply,
                          int tries)
{
    return Exchange(id, data, tries, &reply) && reply.HasData(dataBytes) ? 1 : 0;
}

void CSerialIO_VDCP::CountTries(const RequestResult &result)
{
    // Every try written counts as unanswered, unless the last was answered.
    const int written = result.tries - (result.end == RequestEnd::WriteFailed ? 1 : 0);
    const bool answered = result.end == RequestEnd::Accepted || result.end == RequestEnd::Refused;
    if (answered)
        m_nFailCount = 0;
    else if (written > 0)
        m_nFailCount = std::min(m_nFailCount + written, kClosedFailCount);
    if (answered || written > 0) m_dwExchangeTick = plat::GetTickCount();
}

CSerialIO::ReplyCheck CSerialIO_VDCP::TakeReply(vdcp::Reply *reply)
{
    const vdcp::Reply got = WithBuffer([this](CBuffer &) { return m_reply; });
    if (got.nKind == 0) return ReplyCheck::Retry; // woken without a reply
    if (reply) *reply = got;
    return got.nKind == vdcp::kNak ? ReplyCheck::Refuse : ReplyCheck::Accept;
}

int CSerialIO_VDCP::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length <= 0) return 1;
    std::optional<vdcp::ReplyEvent::Kind> kind;
    const bool awaited = WithBuffer([&](CBuffer &) {
        if (m_nAwaitedId == 0) return false; // nothing asked: dropped
        for (const vdcp::ReplyEvent &event : m_decoder.Feed(static_cast<const uint8_t *>(data.data),
                                                            static_cast<size_t>(data.length))) {
            m_reply = event.reply;
            m_nAwaitedId = 0;
            kind = event.kind;
        }
        return true;
    });
    if (!awaited) return 1;
    if (!kind) return 0;
    if (*kind == vdcp::ReplyEvent::Kind::Invalid)
        glReportLog("LOG_DEV", "DEV=VDCP;Recv invalid vdcp data from COM", nullptr);
    SignalReply();
    return 1;
}

// ---- gates ----

bool CSerialIO_VDCP::OpenAttemptDue()
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    if (m_bOpenTried && plat::TickElapsed(m_dwOpenTick) < kOpenSpacingMs) return false;
    m_bOpenTried = true;
    m_dwOpenTick = plat::GetTickCount();
    return true;
}

bool CSerialIO_VDCP::QuietFor(uint32_t ms)
{
    if (plat::TickElapsed(m_dwExchangeTick) < ms) return false;
    m_dwExchangeTick = plat::GetTickCount();
    return true;
}

// ---- status and position ----

int CSerialIO_VDCP::QueryStatus(int32_t *status1, int32_t *status2, int32_t *extended,
                                uint32_t ageMs, int32_t *since)
{
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        if (status1) *status1 = m_nStatus1;
        if (status2) *status2 = m_nStatus2;
        if (extended) *extended = m_nExtended;
        const uint32_t age = plat::TickElapsed(m_dwStatusTick);
        if (since) *since = static_cast<int32_t>(age);
        // The cache is only as young as its last answered request: a failed request leaves
        // it as old as it was, so the next caller asks again.
        if (m_bStatusValid && age < ageMs) return 1;
    }
    vdcp::Reply reply;
    if (!Sense(vdcp::kPortStatus, vdcp::Data().Byte(StatusRequest()), kStatusDataBytes, reply))
        return 0;
    const uint8_t *in = reply.Data();
    const int n = reply.DataLength();
    const int32_t s1 = in[1];
    const int32_t s2 = in[2];
    int32_t ext = 0;
    for (int i = 6; i >= 4; --i) ext = ext << 8 | (i < n ? in[i] : 0);
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        m_nStatus1 = s1;
        m_nStatus2 = s2;
        m_nExtended = ext;
        m_bStatusValid = true;
        m_dwStatusTick = plat::GetTickCount();
    }
    if (status1) *status1 = s1;
    if (status2) *status2 = s2;
    if (extended) *extended = ext;
    if (since) *since = 0;
    if ((s1 & (VDCP_ST_STOPPED | VDCP_ST_JOG)) || !(s1 & VDCP_ST_PLAYING)) m_Counter.SetSpeed(0);
    return 1;
}

int CSerialIO_VDCP::QueryPosition(int32_t *frames, uint32_t ageMs, int32_t *since)
{
    if (m_Counter.GetPosition() < 0) m_Counter.SetPosition(0);
    bool cached;
    uint32_t age;
    {
        std::lock_guard<CDataLock> lk(m_StateLock);
        age = plat::TickElapsed(m_dwPositionTick);
        cached = m_bPositionAsked && age < ageMs;
        if (!cached) {
            m_bPositionAsked = true;
            m_dwPositionTick = plat::GetTickCount();
        }
    }
    if (cached) {
        // The counter runs on from the last answer; a status that has gone stale is asked
        // again so that a stopped channel stops the counter. The answer is the counter's
        // whether or not that status came.
        QueryStatus(nullptr, nullptr, nullptr, kStaleMs, nullptr);
        if (frames) *frames = GetCounterFrames();
        if (since) *since = static_cast<int32_t>(age);
        return 1;
    }
    vdcp::Reply reply;
    if (!Sense(vdcp::kPosition, vdcp::Data().Byte(kPositionRequest), kPositionDataBytes, reply))
        return 0;
    const int32_t position = vdcp::GetTimecode(reply.Data() + 1);
    m_Counter.SetPosition(position * vdcp::kUnitsPerFrame);
    if (frames) *frames = position;
    if (since) *since = 0;
    return 1;
}

int CSerialIO_VDCP::WaitStatus(int32_t mask, int32_t timeoutMs)
{
    if (timeoutMs <= 0) return 0;
    for (;;) {
        // A unit thread that is to give up stops polling at once.
        if (!CVideoBroTaskTPU::CallingUnitNap(kStatusPollMs)) return 0;
        int32_t status1 = 0, extended = 0;
        const int ok = QueryStatus(&status1, nullptr, &extended, 0, nullptr);
        if (ok && extended != 0 && GivesUpOnExtended(mask)) return 0;
        if (ok && (status1 & mask)) return 1;
        if (m_nFailCount >= kWaitGiveUpFails || CVideoBroTaskTPU::CallingUnitStopped()) return 0;
        // A port closed under the wait (its owner's end, for a device that shares it) is not
        // polled on: nothing opens it again here.
        if (!ok && !DevIsOpen()) return 0;
        timeoutMs -= static_cast<int32_t>(kStatusPollMs);
        if (timeoutMs <= 0) return 0;
    }
}

// ---- commands ----

int CSerialIO_VDCP::Transport(int32_t id, double speed)
{
    if (!Exchange(id, vdcp::Data())) return 0;
    m_Counter.SetSpeed(speed);
    return 1;
}

int CSerialIO_VDCP::Play()
{
    if (!Transport(vdcp::kPlay, 1.0)) return 0;
    PromoteCued(true, false);
    return 1;
}

int CSerialIO_VDCP::Record()
{
    return Transport(vdcp::kRecord, 1.0);
}

int CSerialIO_VDCP::Stop()
{
    if (!Transport(vdcp::kStop, 0)) return 0;
    std::lock_guard<CDataLock> lk(m_StateLock);
    m_current.strName.Empty();
    return 1;
}

int CSerialIO_VDCP::Still()
{
    if (!Transport(vdcp::kStill, 0)) return 0;
    PromoteCued(false, true);
    return 1;
}

int CSerialIO_VDCP::Continue()
{
    return Transport(vdcp::kContinue, 1.0);
}

int CSerialIO_VDCP::Step()
{
    if (!Transport(vdcp::kStep, 0)) return 0;
    m_Counter.AddPosition(vdcp::kUnitsPerFrame);
    return 1;
}

int CSerialIO_VDCP::Freeze()
{
    return Exchange(vdcp::kFreeze, vdcp::Data());
}

int CSerialIO_VDCP::Unfreeze()
{
    return Exchange(vdcp::kUnfreeze, vdcp::Data());
}

int CSerialIO_VDCP::Jog(int32_t frames)
{
    const vdcp::Jog jog = vdcp::EncodeJog(frames);
    vdcp::Data data;
    for (int i = 0; i < jog.nLength; ++i) data.Byte(jog.bytes[static_cast<size_t>(i)]);
    if (!Exchange(jog.nId, data)) return 0;
    m_Counter.AddPosition(static_cast<int64_t>(frames) * vdcp::kUnitsPerFrame);
    m_Counter.SetSpeed(0);
    return 1;
}

int CSerialIO_VDCP::Goto(int32_t frame)
{
    int32_t position = 0;
    if (!QueryPosition(&position, 0, nullptr) && !QueryPosition(&position, kStaleMs, nullptr))
        return 0;
    if (position == frame) return 1;
    return Jog(frame - position);
}

int CSerialIO_VDCP::SendVariablePlay(double speed, double counterSpeed)
{
    const auto bytes = vdcp::SpeedBytes(speed);
    if (!Exchange(vdcp::kVariablePlay, vdcp::Data().Byte(bytes[0]).Byte(bytes[1]).Byte(bytes[2])))
        return 0;
    m_Counter.SetSpeed(counterSpeed);
    return 1;
}

int CSerialIO_VDCP::EEMode(int32_t mode)
{
    return Exchange(vdcp::kEEMode, vdcp::Data().Byte(static_cast<uint8_t>(mode)));
}

int CSerialIO_VDCP::SetDiskPreroll(int32_t frames, int32_t seconds)
{
    return Exchange(
        vdcp::kSetDiskPreroll,
        vdcp::Data().Byte(static_cast<uint8_t>(frames)).Byte(static_cast<uint8_t>(seconds)));
}

int CSerialIO_VDCP::PlayCue(const char *clip, int32_t waitMs)
{
    if (!Exchange(vdcp::kPlayCue, vdcp::Data().ClipId(m_variant, clip))) return 0;
    if (waitMs > 0 && !WaitStatus(VDCP_ST_CUED, waitMs)) return 0;
    tagVdcpClip cued;
    cued.strName = clip ? clip : "";
    SetCuedClip(cued);
    return 1;
}

int CSerialIO_VDCP::CueWithData(const char *clip, int32_t som, int32_t dur, int32_t waitMs)
{
    som = vdcp::DayFrames(som);
    dur = vdcp::DayFrames(dur);
    const vdcp::Data data = vdcp::Data().ClipId(m_variant, clip).Timecode(som).Timecode(dur);
    if (!Exchange(vdcp::kCueWithData, data)) return 0;
    if (waitMs > 0 && !WaitStatus(VDCP_ST_CUED, waitMs)) return 0;
    tagVdcpClip cued;
    cued.strName = clip ? clip : "";
    cued.nSOM = som;
    cued.nDUR = dur;
    SetCuedClip(cued);
    return 1;
}

int CSerialIO_VDCP::SendRecordInit(const char *clip, int32_t duration)
{
    return Exchange(vdcp::kRecordInit, vdcp::Data().ClipId(m_variant, clip).Timecode(duration));
}

int CSerialIO_VDCP::DeleteId(const char *clip)
{
    return Exchange(vdcp::kDeleteId, vdcp::Data().ClipId(m_variant, clip));
}

int CSerialIO_VDCP::GetIdSize(const char *clip, int32_t *frames)
{
    vdcp::Reply reply;
    if (!Sense(vdcp::kIdSize, vdcp::Data().ClipId(m_variant, clip), vdcp::kTimecodeBytes, reply))
        return 0;
    if (frames) *frames = vdcp::GetTimecode(reply.Data());
    return 1;
}

int CSerialIO_VDCP::IdRequest(const char *clip, int32_t *answer)
{
    vdcp::Reply reply;
    const int ok = Sense(vdcp::kIdRequest, vdcp::Data().ClipId(m_variant, clip), 1, reply);
    if (answer) *answer = ok ? reply.Data()[0] : 0;
    return ok;
}

uint8_t CSerialIO_VDCP::ChannelByte(int32_t channel) const
{
    return static_cast<uint8_t>(channel == 0 ? m_nChannel.load() : channel);
}

int CSerialIO_VDCP::ClosePort(int32_t channel)
{
    return Exchange(vdcp::kClosePort, vdcp::Data().Byte(ChannelByte(channel)), kPortTries);
}

int CSerialIO_VDCP::SelectPort(int32_t channel)
{
    return Exchange(vdcp::kSelectPort, vdcp::Data().Byte(ChannelByte(channel)), kPortTries);
}

int CSerialIO_VDCP::OpenPort(int32_t channel, int32_t mode, int32_t *answer)
{
    vdcp::Reply reply;
    const vdcp::Data data =
        vdcp::Data().Byte(ChannelByte(channel)).Byte(static_cast<uint8_t>(mode));
    const int ok = Exchange(vdcp::kOpenPort, data, kPortTries, &reply);
    // A device that only acknowledges grants the port without an answer byte.
    if (answer) *answer = ok && reply.HasData(1) ? reply.Data()[0] : 0;
    return ok;
}
