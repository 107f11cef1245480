// What the VDCP encoder recorders share, whatever port object they send through: the record
// init that first brings a busy encoder to idle, the record at a start time, the clip records,
// and the clip requests. A recorder class supplies the route (OnEncoder) and its own open,
// close and test.
#pragma once

#include "drivers/model/CVideoRecA.h"
#include "platform/Sync.h"

#include <cstdint>
#include <functional>
#include <mutex>

// The commands of an encoder channel as the recorder steps use them.
class IVdcpEncoder {
public:
    // Asked now; either out may be null.
    virtual int Status(int32_t *status1, int32_t *status2) = 0;
    virtual int Stop() = 0;
    // With a wait, the result is that of the wait for the cued bit, where the port says so.
    virtual int RecordInit(const char *clip, int32_t frames, int32_t waitMs) = 0;
    virtual int Record() = 0;
    virtual int IdRequest(const char *clip, int32_t *answer) = 0;
    virtual int IdSize(const char *clip, int32_t *frames) = 0;
    virtual int DeleteId(const char *clip) = 0;

protected:
    ~IVdcpEncoder() = default;
};

class VdcpRecorder : public CVideoRecA {
public:
    static constexpr int32_t kRecordInitWaitMs = 8000;
    static constexpr int kIdleLooks = 10;
    static constexpr uint32_t kIdleLookMs = 1000;

    ~VdcpRecorder() override;

    // CVideoRecA's keys, then "ServerType" and "Encoder".
    int32_t OnInitInstance() override;

    // Hours taken modulo 24; a busy encoder is stopped and given 10 s to become idle. With
    // `noWait` the record init returns on the device's answer, else it waits up to 8 s for
    // the cued bit.
    int DevRecInit(const char *clip, timecode_t dur, int noWait) override;
    // With a start time, records RecBeforeTime ms ahead of it; a DevStop or a close meanwhile
    // cancels the start (0).
    int DevRecord(const int64_t *at) override;
    int DevStop() override;
    // The device's answer byte about the clip; 0 on failure.
    int DevIDReq(const char *clip, int &present) override;
    int DevDeleteClipID(const char *clip) override;
    // Frames; 0 on failure (or for a clip the server denies, unless "ServerType" is set).
    int DevGetClipSize(const char *clip, timecode_t &size) override;
    int DevCopyFileTo(const char *clip, int first, int second) override;
    // The initialised clip; the length of its name.
    int DevGetInitClip(tagClipStatus &status) override;

protected:
    VdcpRecorder();

    using EncoderStep = std::function<int(IVdcpEncoder &encoder)>;
    // Runs `step` on the encoder route; 0 without a route.
    virtual int OnEncoder(const EncoderStep &step) = 0;

    void ForgetInitClip();
    // Wakes every wait of the recorder (a close or the destruction).
    void Cancel() { m_evCancel.Set(); }
    int32_t GetEncoder() const { return m_nEncoder; }

private:
    int32_t m_nServerType = 0;
    int32_t m_nEncoder = 129;

    // Set by a stop or a close: ends the waits for an idle encoder and for a start time.
    plat::Event m_evCancel{true, false};
    std::mutex m_clipLock; // guards the two records below
    tagClipStatus m_init;
    tagClipStatus m_recording;
};

namespace vdcprec {
// The status asked now, whatever the port object's form of the request.
template <class Port> int FreshStatus(Port &port, int32_t *status1, int32_t *status2)
{
    if constexpr (requires { port.GetStatus(status1, status2, nullptr, 0); })
        return port.GetStatus(status1, status2, nullptr, 0);
    else
        return port.GetStatus(status1, status2, 0);
}
} // namespace vdcprec

// The encoder commands over a VDCP port object (a shared channel port or the Leitch port).
template <class Port> class VdcpPortEncoder final : public IVdcpEncoder {
public:
    explicit VdcpPortEncoder(Port &port) : m_port(port) {}
    int Status(int32_t *status1, int32_t *status2) override
    {
        return vdcprec::FreshStatus(m_port, status1, status2);
    }
    int Stop() override { return m_port.Stop(); }
    int RecordInit(const char *clip, int32_t frames, int32_t waitMs) override
    {
        return m_port.RecordInit(clip, frames, waitMs);
    }
    int Record() override { return m_port.Record(); }
    int IdRequest(const char *clip, int32_t *answer) override
    {
        return m_port.IdRequest(clip, answer);
    }
    int IdSize(const char *clip, int32_t *frames) override
    {
        return m_port.GetIdSize(clip, frames);
    }
    int DeleteId(const char *clip) override { return m_port.DeleteId(clip); }

private:
    Port &m_port;
};
