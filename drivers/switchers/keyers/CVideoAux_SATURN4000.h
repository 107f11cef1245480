// The keyers on the SATURN4000 production switcher. They own no line: they send the
// switcher's key action through the protocol object that the SATURN4000 switcher driver holds
// open on their port, serialised with the switcher's own requests by that object's lock.
// CVideoAux_SATURN4000 serves key tasks; CVideoAux_TitleSATURN4000 is a plain auxiliary that
// puts one caption key on or off for an auxiliary task.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoAuxA.h"
#include "drivers/switchers/keyers/CKeyerVirtualMode.h"
#include "drivers/switchers/keyers/CVideoKeyDriverA.h"

#include <atomic>
#include <cstdint>
#include <memory>

class CSerialIO_M21;

// The SATURN4000 keyer's operations, which CVideoAux_SATURN4000 guards for virtual mode.
class KSOVRA20_API CVideoAux_SATURN4000Device : public CVideoKeyDriverA {
public:
    static constexpr tagKeyerVirtualAnswers kVirtualAnswers{};

    // The keyer base's keys, then COM (2), DelayTime (100 ms), ComplexMode (false),
    // IntervalTime (100 ms), OnlyPreset (true).
    int32_t OnInitInstance() override;
    // Normal mode: every task keys the first task's key with its own operation, on the
    // preset bus for a group due later when OnlyPreset is set (sent at once), else on the
    // program bus at the start (plus DelayTime unless from the user interface). Complex mode:
    // each task keys its own key on the program bus, at the start plus DelayTime (none for the
    // user interface). IntervalTime ms after each action. When all succeeded each task is
    // reported on "#OVRA_KEY" and the result is 1.
    int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) override;

protected:
    CVideoAux_SATURN4000Device();

private:
    std::atomic<uint16_t> m_nPort{2};
    std::atomic<int32_t> m_nDelayTime{100};
    std::atomic<int32_t> m_nIntervalTime{100};
    std::atomic<bool> m_bComplexMode{false};
    std::atomic<bool> m_bOnlyPreset{true};
};

class KSOVRA20_API CVideoAux_SATURN4000 : public CKeyerVirtualMode<CVideoAux_SATURN4000Device> {
    DECLARE_KEST_CLASS(CVideoAux_SATURN4000)
};

class KSOVRA20_API CVideoAux_TitleSATURN4000 : public CVideoAuxA {
    DECLARE_KEST_CLASS(CVideoAux_TitleSATURN4000)

    CVideoAux_TitleSATURN4000();

    // The auxiliary's keys, then Key (2) and COM (2).
    int32_t OnInitInstance() override;
    // No line of its own: each returns 1.
    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override;
    // Action 1 puts key Key on, 0 takes it off (program bus); any other action sends nothing
    // and succeeds. 0 when the switcher's line is not open.
    int DevDoAuxTask(CVideoAuxTask &task) override;

private:
    std::atomic<int32_t> m_nKey{2};
    std::atomic<uint16_t> m_nPort{2};
};

// The open protocol object of the SATURN4000 switcher on `port`, held; null when there is
// none or the port is held by another protocol.
KSOVRA20_API std::shared_ptr<CSerialIO_M21> FindSaturn4000Port(uint16_t port);
