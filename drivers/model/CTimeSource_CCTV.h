// The serial station clocks: time sources that read the time frames a clock sends on its line.
// SY, Z3400, KHC3400, ST3100 and TVZ3100 open the line for each reading and close it after, so
// the line is free between adjustments; BJSX and MCG hold theirs open and reopen it once an
// hour. Each reads the key "COM" (default 2) as its port number.
#pragma once

#include "devext/device/CTimeSourceA.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/CClockLine.h"

#include <cstdint>
#include <memory>

class KSOVRA20_API CTimeSource_CCTV_Serial : public CTimeSourceA {
public:
    static constexpr int kFramesNeeded = 3;
    static constexpr uint32_t kGapMs = 1000;       // after closing or opening a line
    static constexpr uint32_t kReopenMs = 3600000; // a kept line is reopened this often

    // Reads "COM" (and "COM_Baud" for the models whose baud is set), then the base keys.
    int32_t OnInitInstance() override;
    // At least kFramesNeeded frames from the clock: 1 with the last of them.
    int GetStandardTime(DYNAMIC_TIME &t) override;

    uint16_t GetPort() const { return m_nPort; }
    uint16_t GetBaud() const { return m_nBaud; }

protected:
    // `gap`: the line is closed and rested before it opens; `baudKey`: "COM_Baud" sets the baud.
    CTimeSource_CCTV_Serial(clockframe::Model model, uint16_t baud, bool gap, bool baudKey);

    const clockframe::Model m_Model;
    uint16_t m_nPort = 2;
    uint16_t m_nBaud;

private:
    const bool m_bGap;
    const bool m_bBaudKey;
};

// A clock whose line is held open as long as the time source lives.
class KSOVRA20_API CTimeSource_CCTV_Kept : public CTimeSource_CCTV_Serial {
public:
    ~CTimeSource_CCTV_Kept() override;
    int GetStandardTime(DYNAMIC_TIME &t) override;

protected:
    CTimeSource_CCTV_Kept(clockframe::Model model, uint16_t baud);

private:
    std::unique_ptr<CClockLine> m_pLine;
    uint32_t m_dwReopenTick = 0;
};

#define KEST_DECLARE_SERIAL_CLOCK(Class, Base)                                                     \
    class KSOVRA20_API Class : public Base {                                                       \
        DECLARE_KEST_CLASS(Class)                                                                  \
        Class();                                                                                   \
    };

KEST_DECLARE_SERIAL_CLOCK(CTimeSource_CCTV_SY, CTimeSource_CCTV_Serial)
KEST_DECLARE_SERIAL_CLOCK(CTimeSource_CCTV_Z3400, CTimeSource_CCTV_Serial)
KEST_DECLARE_SERIAL_CLOCK(CTimeSource_CCTV_KHC3400, CTimeSource_CCTV_Serial)
KEST_DECLARE_SERIAL_CLOCK(CTimeSource_CCTV_ST3100, CTimeSource_CCTV_Serial)
KEST_DECLARE_SERIAL_CLOCK(CTimeSource_CCTV_TVZ3100, CTimeSource_CCTV_Serial)
KEST_DECLARE_SERIAL_CLOCK(CTimeSource_CCTV_BJSX, CTimeSource_CCTV_Kept)
KEST_DECLARE_SERIAL_CLOCK(CTimeSource_CCTV_MCG, CTimeSource_CCTV_Kept)

#undef KEST_DECLARE_SERIAL_CLOCK
