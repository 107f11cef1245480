#include "drivers/sources/vdcp/VdcpRecorder.h"

#include "drivers/sources/vdcp/CSerialIO_VDCP.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CFileTime.h"
#include "KestLib20/CResAccess.h"

#include <algorithm>

namespace {

constexpr int32_t kFramesPerHour = 90000;
constexpr int64_t kUnitsPerMs = 10000;

CString TimeText(int64_t time)
{
    char text[CFileTime::kDateTimeTextSize];
    return CFileTime(time).GetAsString(text, 0, 'M');
}

} // namespace

VdcpRecorder::VdcpRecorder() : CVideoRecA("LVREC_ENC_VDCP")
{
    m_strDescription = "视频录制(基于VDCP协议的视频服务器)";
    m_nPrepareTime = 3000;
    m_nRecBeforeTime = 1;
}

VdcpRecorder::~VdcpRecorder()
{
    Cancel();
}

int32_t VdcpRecorder::OnInitInstance()
{
    if (!CVideoRecA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_nServerType = setting["ServerType"].GetAsInteger(m_nServerType);
    m_nEncoder = setting["Encoder"].GetAsInteger(m_nEncoder);
    return 1;
}

void VdcpRecorder::ForgetInitClip()
{
    std::lock_guard<std::mutex> lk(m_clipLock);
    m_init.strName.Empty();
}

int VdcpRecorder::DevRecInit(const char *clip, timecode_t dur, int noWait)
{
    const int32_t frames = dur;
    const int32_t dayFrames =
        frames / kFramesPerHour % 24 * kFramesPerHour + frames % kFramesPerHour;
    m_evCancel.Reset();
    return OnEncoder([&](IVdcpEncoder &encoder) {
        int32_t status1 = 0;
        if (!encoder.Status(&status1, nullptr)) return 0;
        if (!(status1 & VDCP_ST_IDLE)) {
            encoder.Stop();
            for (int look = 0; look < kIdleLooks && !(status1 & VDCP_ST_IDLE); ++look) {
                if (m_evCancel.Wait(kIdleLookMs) == plat::WAIT_OBJECT_0) return 0;
                if (!encoder.Status(&status1, nullptr)) status1 = 0;
            }
            if (!(status1 & VDCP_ST_IDLE)) return 0;
        }
        encoder.Status(nullptr, nullptr);
        const int ok = encoder.RecordInit(clip, dayFrames, noWait ? 0 : kRecordInitWaitMs);
        if (ok) {
            std::lock_guard<std::mutex> lk(m_clipLock);
            m_init = tagClipStatus{};
            m_init.strName = clip ? clip : "";
            m_init.nDuration = dayFrames;
        }
        return ok;
    });
}

int VdcpRecorder::DevRecord(const int64_t *at)
{
    m_evCancel.Reset(); // only a stop from now on cancels this start
    if (!OnEncoder([](IVdcpEncoder &) { return 1; })) return 0;
    if (at && !glSleepUntilSpecialTime(*at - m_nRecBeforeTime * kUnitsPerMs, m_evCancel)) return 0;
    {
        std::lock_guard<std::mutex> lk(m_clipLock);
        m_recording = m_init;
        m_init.strName.Empty();
    }
    // Taken again: the wait may have been long.
    const int ok = OnEncoder([](IVdcpEncoder &encoder) { return encoder.Record(); });
    int64_t now = 0;
    glGetTimeEx(&now);
    glReportDbg("Log_debug", "Record currenttime %s", TimeText(now).GetString());
    if (at) glReportDbg("Log_debug", "Record pRecTime %s", TimeText(*at).GetString());
    if (ok && at) m_evCancel.Wait(static_cast<uint32_t>(std::max(m_nRecBeforeTime, 0)));
    return ok;
}

int VdcpRecorder::DevStop()
{
    m_evCancel.Set();
    {
        std::lock_guard<std::mutex> lk(m_clipLock);
        m_recording.strName.Empty();
    }
    return OnEncoder([](IVdcpEncoder &encoder) { return encoder.Stop(); });
}

int VdcpRecorder::DevIDReq(const char *clip, int &present)
{
    int32_t answer = 0;
    OnEncoder([&](IVdcpEncoder &encoder) { return encoder.IdRequest(clip, &answer); });
    present = answer;
    return answer;
}

int VdcpRecorder::DevDeleteClipID(const char *clip)
{
    return OnEncoder([&](IVdcpEncoder &encoder) { return encoder.DeleteId(clip); });
}

int VdcpRecorder::DevGetClipSize(const char *clip, timecode_t &size)
{
    size = 0;
    int present = 0;
    if (m_nServerType == 0 && !DevIDReq(clip, present)) return 0;
    int32_t frames = 0;
    if (!OnEncoder([&](IVdcpEncoder &encoder) { return encoder.IdSize(clip, &frames); })) return 0;
    size = frames;
    return frames;
}

int VdcpRecorder::DevCopyFileTo(const char *, int, int)
{
    return 0;
}

int VdcpRecorder::DevGetInitClip(tagClipStatus &status)
{
    std::lock_guard<std::mutex> lk(m_clipLock);
    status = m_init;
    return m_init.strName.GetLength();
}
