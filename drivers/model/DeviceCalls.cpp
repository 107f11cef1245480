#include "drivers/model/DeviceCalls.h"

#include "platform/Sync.h"
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
