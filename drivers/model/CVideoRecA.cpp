#include "drivers/model/CVideoRecA.h"

#include "drivers/model/SimulatedTransport.h"

#include "KestLib20/CResAccess.h"

IMPLEMENT_KEST_CLASS(CVideoRecA, CDeviceA)

namespace {
constexpr const char *kDescription = "视频录入设备";
constexpr int32_t kSimulatedClipFrames = 180000;
} // namespace

CVideoRecA::CVideoRecA(const char *typeId) : CDeviceA(typeId)
{
    m_strDescription = kDescription;
}

CVideoRecA::CVideoRecA(const CVideoRecA &other) : CDeviceA(other)
{
    *this = other;
}

CVideoRecA &CVideoRecA::operator=(const CVideoRecA &other)
{
    if (this == &other) return *this;
    CDeviceA::operator=(other);
    m_nSwitchEntry = other.m_nSwitchEntry;
    m_nRecBeforeTime = other.m_nRecBeforeTime;
    m_nPrepareTime = other.m_nPrepareTime;
    m_Counter = other.m_Counter;
    return *this;
}

CVideoRecA::~CVideoRecA()
{
    m_evStop.Set(); // a record start still waiting gives up
}

int32_t CVideoRecA::OnInitInstance()
{
    if (!CDeviceA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_nSwitchEntry = setting["Switch Entry"].GetAsInteger(m_nSwitchEntry);
    m_nPrepareTime = setting["PrepareTime"].GetAsInteger(m_nPrepareTime);
    m_nRecBeforeTime = setting["RecBeforeTime"].GetAsInteger(m_nRecBeforeTime);
    return 1;
}

int CVideoRecA::DevOpen()
{
    SetDevStatus(DEVSTATUS_NORMAL);
    m_Counter.Set(0, 0);
    return 1;
}

int CVideoRecA::DevIsOpen()
{
    return 1;
}

int CVideoRecA::DevTest(const char *)
{
    return 1;
}

int CVideoRecA::DevRecInit(const char *, timecode_t, int)
{
    m_Counter.Set(0, 0);
    return 1;
}

int CVideoRecA::DevRecord(const int64_t *at)
{
    m_evStop.Reset(); // only a stop from now on cancels this start
    return simtransport::Run(m_Counter, at, m_nRecBeforeTime, m_evStop);
}

int CVideoRecA::DevStop()
{
    m_Counter.SetSpeed(0);
    m_evStop.Set();
    return 1;
}

int CVideoRecA::DevIDReq(const char *, int &present)
{
    present = 0;
    return 1;
}

int CVideoRecA::DevDeleteClipID(const char *)
{
    return 0;
}

int CVideoRecA::DevGetClipSize(const char *, timecode_t &size)
{
    size = kSimulatedClipFrames;
    return 1;
}

int CVideoRecA::DevCopyFileTo(const char *, int, int)
{
    return 0;
}

int CVideoRecA::DevEEMode(int)
{
    return 1;
}

int CVideoRecA::DevGetInitClip(tagClipStatus &)
{
    return 0;
}
