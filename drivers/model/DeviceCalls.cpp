#include "drivers/model/DeviceCalls.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "devext/device/CDeviceA.h"
#include "platform/String.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct Calls {
    std::mutex lock;
    std::vector<CDeviceCall *> inFlight;
    plat::Event ended{false, false}; // set at the end of each call

    static Calls &Of()
    {
        static Calls *calls = new Calls; // outlives every thread that may still end a call
        return *calls;
    }
};

// The device waits in progress, by device.
struct Waits {
    std::mutex lock;
    std::vector<std::pair<CDeviceA *, const plat::Event *>> inProgress; // device, its end

    static Waits &Of()
    {
        static Waits *waits = new Waits; // outlives every thread that may still end a wait
        return *waits;
    }
};

thread_local CCallingUnit *t_pUnit = nullptr;
thread_local const CDeviceCall *t_pCall = nullptr;

// The deletion of a device ends the calls in it, closes it and lets them leave before any part
// of it is destroyed; a device a thread has not left in time is kept.
bool EndCallsBeforeDelete(CDeviceA *device)
{
    CDeviceWait::EndIn(device);
    device->DeactiveInstance(1);
    if (CDeviceCall::WaitEnded(device, CDeviceCall::kLeaveBoundMs)) return true;
    CString text;
    text.Format("device %s kept: a task thread is still in it", device->GetInstanceName());
    glReportLog("LOG_DEV", text, "");
    return false;
}

const bool g_bCallEnder = (CDeviceA::SetCallEnder(&EndCallsBeforeDelete), true);

} // namespace

CDeviceCall::CDeviceCall(CDeviceA *device) : m_pDevice(device)
{
    if (!m_pDevice) return;
    m_dwThread = plat::GetCurrentThreadId();
    m_pUnit = t_pUnit;
    m_pOuter = t_pCall;
    if (m_pOuter && m_pOuter->Ended()) m_evEnd.Set();
    {
        Calls &calls = Calls::Of();
        std::lock_guard<std::mutex> lk(calls.lock);
        calls.inFlight.push_back(this);
    }
    if (m_pUnit) m_pUnit->Attach(&m_evEnd);
    t_pCall = this;
}

CDeviceCall::~CDeviceCall()
{
    if (!m_pDevice) return;
    t_pCall = m_pOuter;
    if (m_pUnit) m_pUnit->Detach(&m_evEnd);
    Calls &calls = Calls::Of();
    {
        std::lock_guard<std::mutex> lk(calls.lock);
        std::erase(calls.inFlight, this);
    }
    calls.ended.Set();
}

void CDeviceCall::EndIn(CDeviceA *device)
{
    Calls &calls = Calls::Of();
    std::lock_guard<std::mutex> lk(calls.lock);
    // A call's outer calls are on its thread's stack below it, so they live while it is listed.
    for (CDeviceCall *call : calls.inFlight)
        for (const CDeviceCall *in = call; in; in = in->m_pOuter)
            if (in->m_pDevice == device) {
                call->m_evEnd.Set();
                break;
            }
}

bool CDeviceCall::WaitEnded(CDeviceA *device, uint32_t boundMs)
{
    Calls &calls = Calls::Of();
    const uint32_t me = plat::GetCurrentThreadId();
    const uint32_t begin = plat::GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> lk(calls.lock);
            const bool busy = std::any_of(
                calls.inFlight.begin(), calls.inFlight.end(), [&](const CDeviceCall *call) {
                    return call->m_pDevice == device && call->m_dwThread != me;
                });
            if (!busy) return true;
        }
        const uint32_t elapsed = plat::TickElapsed(begin);
        if (elapsed >= boundMs) return false;
        calls.ended.Wait(boundMs - elapsed);
    }
}

void CCallingUnit::AskStop()
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_bStop = true;
    m_evStop.Set();
    m_evCallEnd.Set();
    for (const plat::Event *event : m_attached) event->Set();
}

void CCallingUnit::GiveUpCall(bool givenUp)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_bCallGivenUp = givenUp;
    if (givenUp) {
        // The waits of the call end now, not at its next exchange: a call given up for a task
        // passed over must not hold its thread past the moment the next task needs it.
        m_evCallEnd.Set();
        for (const plat::Event *event : m_attached) event->Set();
    } else if (!m_bStop) {
        m_evCallEnd.Reset();
    }
}

void CCallingUnit::Attach(const plat::Event *event)
{
    std::lock_guard<std::mutex> lk(m_lock);
    if (m_bStop) event->Set();
    m_attached.push_back(event);
}

void CCallingUnit::Detach(const plat::Event *event)
{
    std::lock_guard<std::mutex> lk(m_lock);
    std::erase(m_attached, event);
}

CCallingUnit::Scope::Scope(CCallingUnit *unit) : m_pPrevious(std::exchange(t_pUnit, unit)) {}

CCallingUnit::Scope::~Scope()
{
    t_pUnit = m_pPrevious;
}

CCallingUnit *CCallingUnit::Current()
{
    return t_pUnit;
}

bool CCallingUnit::Stopped()
{
    return CallEnded() || UnitStopped();
}

bool CCallingUnit::UnitStopped()
{
    return t_pUnit && (t_pUnit->m_bStop || t_pUnit->m_bCallGivenUp);
}

bool CCallingUnit::CallEnded()
{
    return t_pCall && t_pCall->Ended();
}

const plat::Waitable *CCallingUnit::CurrentStop()
{
    // In a call, its end: set by the device's close, the unit's stop and a give-up of the
    // call (the unit sets the ends of the calls attached to it).
    if (const CDeviceCall *call = t_pCall) return &call->m_evEnd;
    return t_pUnit ? &t_pUnit->m_evCallEnd : nullptr;
}

bool CCallingUnit::Nap(uint32_t ms)
{
    const plat::Waitable *end = CurrentStop();
    if (!end) {
        plat::Sleep(ms);
        return true;
    }
    if (ms) end->Wait(ms);
    return !Stopped();
}

CDeviceWait::CDeviceWait(CDeviceA *device) : m_pDevice(device), m_pUnit(t_pUnit)
{
    if (t_pCall && t_pCall->Ended()) m_evEnd.Set();
    Waits &waits = Waits::Of();
    {
        std::lock_guard<std::mutex> lk(waits.lock);
        waits.inProgress.emplace_back(m_pDevice, &m_evEnd);
    }
    if (m_pUnit) m_pUnit->Attach(&m_evEnd);
}

CDeviceWait::~CDeviceWait()
{
    if (m_pUnit) m_pUnit->Detach(&m_evEnd);
    Waits &waits = Waits::Of();
    std::lock_guard<std::mutex> lk(waits.lock);
    std::erase(waits.inProgress,
               std::make_pair(m_pDevice, static_cast<const plat::Event *>(&m_evEnd)));
}

bool CDeviceWait::For(uint32_t ms)
{
    return m_evEnd.Wait(ms) != plat::WAIT_OBJECT_0;
}

bool CDeviceWait::Until(int64_t time)
{
    return glSleepUntilSpecialTime(time, m_evEnd) != 0 && !Ended();
}

bool CDeviceWait::Ended() const
{
    return m_evEnd.IsSet();
}

void CDeviceWait::EndIn(CDeviceA *device)
{
    if (!device) return;
    {
        Waits &waits = Waits::Of();
        std::lock_guard<std::mutex> lk(waits.lock);
        for (const auto &[in, end] : waits.inProgress)
            if (in == device) end->Set();
    }
    CDeviceCall::EndIn(device);
}
