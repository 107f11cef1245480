#include "drivers/sources/vdcp/CSerialIO_VDCP_SHARED.h"

#include <mutex>

namespace {

constexpr double kCounterShuttle = 10;

struct StateText {
    int32_t nBit;
    const char *pszText;
};

// In display order; the play bit comes last and reads by the kind of device.
constexpr StateText kStateTexts[] = {
    {VDCP_ST_IDLE, "空闲 "},   {VDCP_ST_CUEING, "预卷中 "},   {VDCP_ST_STOPPED, "停止　"},
    {VDCP_ST_JOG, "Jog "},     {VDCP_ST_SHUTTLE, "Shuttle "}, {VDCP_ST_BUSY, "端口忙 "},
    {VDCP_ST_CUED, "预卷好 "},
};

} // namespace

CSerialIO_VDCP_SHARED::CSerialIO_VDCP_SHARED() : CSerialIO_VDCP(vdcp::Variant::Basic) {}

CSerialIO_VDCP_SHARED::~CSerialIO_VDCP_SHARED()
{
    Retire();
}

std::shared_ptr<CSerialIO_VDCP_SHARED> CSerialIO_VDCP_SHARED::GetActivePort()
{
    return OpenOrShare<CSerialIO_VDCP_SHARED>([this] { return OpenAttemptDue(); });
}

int CSerialIO_VDCP_SHARED::GetStatus(int32_t *status1, int32_t *status2, int32_t *extended,
                                     int32_t onlyIfOld)
{
    return QueryStatus(status1, status2, extended, onlyIfOld ? kStaleMs : 0, nullptr);
}

int CSerialIO_VDCP_SHARED::GetPosition(int32_t *frames, int32_t onlyIfOld)
{
    return QueryPosition(frames, onlyIfOld ? kStaleMs : 0, nullptr);
}

int CSerialIO_VDCP_SHARED::VariablePlay(double speed)
{
    return SendVariablePlay(speed, speed > 0 ? kCounterShuttle : -kCounterShuttle);
}

int CSerialIO_VDCP_SHARED::RecordInit(const char *clip, int32_t duration, int32_t waitMs)
{
    if (!SendRecordInit(clip, duration)) return 0;
    return waitMs > 0 ? WaitStatus(VDCP_ST_CUED, waitMs) : 1;
}

CString CSerialIO_VDCP_SHARED::GetStateText(int32_t status, int32_t recorder)
{
    CString text;
    for (const StateText &entry : kStateTexts)
        if (status & entry.nBit) text += entry.pszText;
    if (status & VDCP_ST_PLAYING) text += recorder ? "录制中" : "播放中";
    return text;
}

CSerialIO_VDCP_SHARED::tagPreview CSerialIO_VDCP_SHARED::GetPreview() const
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    return m_preview;
}

void CSerialIO_VDCP_SHARED::SetPreview(const tagPreview &preview)
{
    std::lock_guard<CDataLock> lk(m_StateLock);
    m_preview = preview;
}
