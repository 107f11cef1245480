// The station clock on a clock card: a time source that reads the card's timecode through the
// card's driver, filters it to a stable value and puts it on the framework clock's date.
#pragma once

#include "devext/device/CTimeSourceA.h"
#include "drivers/KsOvra20Api.h"

#include <atomic>
#include <cstdint>

class KSOVRA20_API CTimeSource_CCTV_TJ : public CTimeSourceA {
    DECLARE_KEST_CLASS(CTimeSource_CCTV_TJ)

    static constexpr int32_t kMaxLevel = 4;

    CTimeSource_CCTV_TJ();

    // The base keys, then "Start Level" (at most 4), "Std Level" (not above the start level)
    // and "Delta" (ms).
    int32_t OnInitInstance() override;
    // The card's filtered timecode at the start level as the time of day of the framework
    // clock's date, plus delta: 1; 0 without driver, card or a stable reading.
    int GetStandardTime(DYNAMIC_TIME &t) override;

    int32_t GetStartLevel() const { return m_nStartLevel; }
    int32_t GetStdLevel() const { return m_nStdLevel; }
    int32_t GetReadCount() const { return m_nReadings.load(); }

private:
    int32_t m_nStartLevel = 2;
    int32_t m_nStdLevel = 1;
    int32_t m_nDelta = 300; // ms
    std::atomic<int32_t> m_nReadings{0};
};
