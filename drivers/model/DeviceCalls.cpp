#include "drivers/model/DeviceCalls.h"

#include "Kest20/CClock.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct Calls {
    std::mutex lock;
    std::vector<std::pair<CDeviceA *, uint32_t>> inFlight; // device, thread id
    plat::Event ended{false, false};                       // set at the end of each call

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

} // namespace

CDeviceCall::CDeviceCall(CDeviceA *device) : m_pDevice(device)
{
    if (!m_pDevice) return;
    Calls &calls = Calls::Of();
    std::lock_guard<std::mutex> lk(calls.lock);
    calls.inFlight.emplace_back(m_pDevice, plat::GetCurrentThreadId());
}

CDeviceCall::~CDeviceCall()
{
    if (!m_pDevice) return;
    Calls &calls = Calls::Of();
    {
        std::lock_guard<std::mutex> lk(calls.lock);
        const auto it = std::find(calls.inFlight.begin(), calls.inFlight.end(),
                                  std::make_pair(m_pDevice, plat::GetCurrentThreadId()));
        if (it != calls.inFlight.end()) calls.inFlight.erase(it);
    }
    calls.ended.Set();
}

bool CDeviceCall::WaitEnded(CDeviceA *device, uint32_t boundMs)
{
    Calls &calls = Calls::Of();
    const uint32_t me = plat::GetCurrentThreadId();
    const uint32_t begin = plat::GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> lk(calls.lock);
            const bool busy =
                std::any_of(calls.inFlight.begin(), calls.inFlight.end(), [&](const auto &call) {
                    return call.first == device && call.second != me;
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
    for (const plat::Event *event : m_attached) event->Set();
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
    return t_pUnit && (t_pUnit->m_bStop || t_pUnit->m_bCallGivenUp);
}

const plat::Waitable *CCallingUnit::CurrentStop()
{
    return t_pUnit ? &t_pUnit->m_evStop : nullptr;
}

bool CCallingUnit::Nap(uint32_t ms)
{
    if (!t_pUnit) {
        plat::Sleep(ms);
        return true;
    }
    if (ms) t_pUnit->m_evStop.Wait(ms);
    return !Stopped();
}

CDeviceWait::CDeviceWait(CDeviceA *device) : m_pDevice(device), m_pUnit(t_pUnit)
{
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
    Waits &waits = Waits::Of();
    std::lock_guard<std::mutex> lk(waits.lock);
    for (const auto &[in, end] : waits.inProgress)
        if (in == device) end->Set();
}
