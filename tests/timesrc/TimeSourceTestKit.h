// What the time-source tests share beside the device model's kit: a recorder in place of the
// computer's clock setter, and a helper that runs a reading on another thread while moving the
// manual clock on whenever that thread waits.
#pragma once

#include "tests/model/DeviceTestKit.h"

#include "KestLib20/CFileTime.h"
#include "devext/device/ComputerClock.h"
#include "platform/Process.h"

#include <atomic>
#include <future>
#include <vector>

namespace timesrc {

using namespace devtest;

// Records what would have set the computer's clock, for the object's life.
class ClockSetterRecorder {
public:
    ClockSetterRecorder()
        : m_previous(glReplaceComputerClockSetter([this](int64_t utc) {
              std::lock_guard<std::mutex> lk(m_lock);
              m_sets.push_back(utc);
              return 1;
          }))
    {
    }
    ~ClockSetterRecorder() { glReplaceComputerClockSetter(m_previous); }
    std::vector<int64_t> Sets()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_sets;
    }

private:
    std::mutex m_lock;
    std::vector<int64_t> m_sets;
    ComputerClockSetter m_previous;
};

// Sets an environment variable until the end of the scope, then removes it.
class EnvValue {
public:
    EnvValue(const char *name, const char *value) : m_name(name) { plat::SetEnv(name, value); }
    ~EnvValue() { plat::SetEnv(m_name.c_str(), nullptr); }
    EnvValue(const EnvValue &) = delete;
    EnvValue &operator=(const EnvValue &) = delete;

private:
    std::string m_name;
};

// Runs `call` on another thread; whenever that thread has sat in a timed wait for `realMs`
// of real time, the manual clock moves on by `stepMs`.
template <class Call> auto RunWaiting(Call call, uint32_t stepMs, uint32_t realMs = 100)
{
    auto result = std::async(std::launch::async, call);
    for (int i = 0; i < 2000; ++i) {
        if (result.wait_for(std::chrono::milliseconds(realMs)) == std::future_status::ready) break;
        if (plat::TestClock::TimedWaiters() > 0) plat::TestClock::Advance(stepMs);
    }
    return result.get();
}

// A broken-down time.
inline plat::SYSTEMTIME SystemTime(int year, int month, int day, int hour, int minute, int second,
                                   int ms)
{
    plat::SYSTEMTIME st{};
    st.wYear = static_cast<uint16_t>(year);
    st.wMonth = static_cast<uint16_t>(month);
    st.wDay = static_cast<uint16_t>(day);
    st.wHour = static_cast<uint16_t>(hour);
    st.wMinute = static_cast<uint16_t>(minute);
    st.wSecond = static_cast<uint16_t>(second);
    st.wMilliseconds = static_cast<uint16_t>(ms);
    return st;
}

// The file time of a local calendar time.
inline int64_t LocalFileTime(int year, int month, int day, int hour, int minute, int second, int ms)
{
    return CFileTime(SystemTime(year, month, day, hour, minute, second, ms)).GetTime();
}

} // namespace timesrc
