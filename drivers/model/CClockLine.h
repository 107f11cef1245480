// The serial line of a station clock: a protocol object that decodes the model's time frames
// as they arrive, stamps each with the framework time and counter reading of its reception,
// and lets the time source collect a few of them.
#pragma once

#include "Kest20/CClock.h"
#include "devext/device/CSerialIO.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/ClockFrames.h"

#include <cstdint>
#include <memory>

class KSOVRA20_API CClockLine : public CSerialIO {
public:
    static constexpr int kRounds = 16;
    static constexpr int kEnoughFrames = 4;
    static constexpr uint32_t kRoundMs = 4000;

    // A line of `model` on a port of the RS-422 board or, for BJSX and MCG, an RS-232 port:
    // 8 data bits, no parity, one stop bit.
    explicit CClockLine(clockframe::Model model);
    ~CClockLine() override;

    // While closed: the port number and baud to open with.
    void SetPort(uint16_t port, uint16_t baud);
    // Decodes the block; each frame taken becomes the line's standard time and signals the
    // reply event.
    int OnRecvData(int port, pointer_t &data) override;
    // DevFlush(3), then up to kRounds waits of kRoundMs for a frame, stopping after
    // kEnoughFrames or when `stop` is set or the line closes. The frames taken; `last` gets
    // the last of them.
    int CollectFrames(DYNAMIC_TIME &last, const plat::Waitable &stop);
    int32_t GetFrameCount();

private:
    // The framework time and counter now, the time replaced by the clock's.
    DYNAMIC_TIME Stamp(const clockframe::Reading &reading) const;
    void LogBlock(const uint8_t *data, size_t length) const;
    void LogInvalid(const clockframe::Reading &reading) const;

    const clockframe::Model m_Model;
    std::unique_ptr<clockframe::CClockDecoder> m_pDecoder; // under the receive lock
    DYNAMIC_TIME m_StdTime{};                              // under the receive lock
    int32_t m_nFrames = 0;                                 // under the receive lock
};
