// The simulated play position of the base sources and recorders and of the protocol objects:
// a position in 100 ns units that runs on at its speed between updates (1.0 real time, 0
// stopped). It has a lock of its own, so a device's threads and its callers can share one.
#pragma once

#include "KestLib20/timecode_t.h"
#include "drivers/KsOvra20Api.h"

#include <cstdint>
#include <mutex>

class KSOVRA20_API CPlayCounter {
public:
    static constexpr int64_t kUnitsPerFrame = 400000; // 100 ns units at 25 frames a second

    // Position 0, stopped.
    CPlayCounter();
    CPlayCounter(const CPlayCounter &other);
    CPlayCounter &operator=(const CPlayCounter &other);

    // Each update brings the position up to date first.
    void Set(int64_t position, double speed);
    void SetSpeed(double speed);
    void SetPosition(int64_t position);
    void AddPosition(int64_t delta);
    int64_t GetPosition();
    double GetSpeed() const;
    // The position in frames (each division truncating).
    timecode_t GetTimecode();

private:
    // Moves the position on by the time elapsed since the last update; the lock is held.
    void Update();

    mutable std::mutex m_lock;
    int64_t m_nPosition = 0;
    // Monotonic time of the last update: the position neither jumps when the wall clock is set
    // nor at a daylight-saving change.
    int64_t m_nLastUpdate = 0;
    double m_dSpeed = 0;
};
