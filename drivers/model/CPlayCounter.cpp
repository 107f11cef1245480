#include "drivers/model/CPlayCounter.h"

#include "platform/TimeSource.h"

#include <cmath>

namespace {
constexpr double kStopped = 1e-14;
}

CPlayCounter::CPlayCounter() : m_nLastUpdate(plat::MonotonicCounter100ns()) {}

CPlayCounter::CPlayCounter(const CPlayCounter &other)
{
    std::lock_guard<std::mutex> lk(other.m_lock);
    m_nPosition = other.m_nPosition;
    m_nLastUpdate = other.m_nLastUpdate;
    m_dSpeed = other.m_dSpeed;
}

CPlayCounter &CPlayCounter::operator=(const CPlayCounter &other)
{
    if (this == &other) return *this;
    std::scoped_lock lk(m_lock, other.m_lock);
    m_nPosition = other.m_nPosition;
    m_nLastUpdate = other.m_nLastUpdate;
    m_dSpeed = other.m_dSpeed;
    return *this;
}

void CPlayCounter::Update()
{
    const int64_t now = plat::MonotonicCounter100ns();
    const int64_t elapsed = now - m_nLastUpdate;
    m_nLastUpdate = now;
    if (std::fabs(m_dSpeed) < kStopped) return;
    m_nPosition += static_cast<int64_t>(static_cast<double>(elapsed) * m_dSpeed);
}

void CPlayCounter::Set(int64_t position, double speed)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_nLastUpdate = plat::MonotonicCounter100ns();
    m_nPosition = position;
    m_dSpeed = speed;
}

void CPlayCounter::SetSpeed(double speed)
{
    std::lock_guard<std::mutex> lk(m_lock);
    Update();
    m_dSpeed = speed;
}

void CPlayCounter::SetPosition(int64_t position)
{
    std::lock_guard<std::mutex> lk(m_lock);
    Update();
    m_nPosition = position;
}

void CPlayCounter::AddPosition(int64_t delta)
{
    std::lock_guard<std::mutex> lk(m_lock);
    Update();
    m_nPosition += delta;
}

int64_t CPlayCounter::GetPosition()
{
    std::lock_guard<std::mutex> lk(m_lock);
    Update();
    return m_nPosition;
}

double CPlayCounter::GetSpeed() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_dSpeed;
}

timecode_t CPlayCounter::GetTimecode()
{
    return static_cast<int32_t>(GetPosition() / 10000 * 25 / 1000);
}
