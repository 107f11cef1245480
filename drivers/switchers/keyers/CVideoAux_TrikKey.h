// The TrikKey keyer on an RS-422 board port (38400 baud, 8O1). Its command toggles a key and is
// not answered, so the driver keeps the state of the logo, title and clock keys itself and
// sends a toggle only for a task that changes it.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/keyers/CKeyerVirtualMode.h"
#include "drivers/switchers/keyers/CVideoKeyDriverA.h"

#include <atomic>
#include <cstdint>
#include <memory>

class KSOVRA20_API CSerialIO_TrikKey : public CSerialSwitchIO {
public:
    CSerialIO_TrikKey();
    ~CSerialIO_TrikKey() override;

    // Writes the toggle of key `key` under the request lock: whether the line took it.
    int Toggle(int key);
};

// The TrikKey keyer's operations, which CVideoAux_TrikKey guards for virtual mode.
class KSOVRA20_API CVideoAux_TrikKeyDevice : public CVideoKeyDriverA {
public:
    static constexpr tagKeyerVirtualAnswers kVirtualAnswers{.openInEitherMode = true};

    static constexpr int32_t kTaskPauseMs = 100;

    // The keyer base's keys, then Com (default 4) and the starting states logoon, titleon and
    // timeon.
    int32_t OnInitInstance() override;
    // A TrikKey protocol object holding port Com open (the own, or another's), else the own
    // opened: status 0 and 1, or status 3 and 0.
    int DevOpen() override;
    // Closes the own port: 1.
    int DevClose() override;
    // As DevOpen, without the status.
    int DevIsOpen() override;
    // Waits for the start, then toggles the key of each task that changes the state held;
    // see the implementation for tasks of a plain keyer. The last toggle's result (1 when
    // none was sent).
    int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) override;

    bool IsLogoOn() const { return m_bLogoOn; }
    bool IsTitleOn() const { return m_bTitleOn; }
    bool IsTimeOn() const { return m_bTimeOn; }

protected:
    CVideoAux_TrikKeyDevice();

private:
    std::shared_ptr<CSerialIO_TrikKey> ActivePort()
    {
        return m_Serial.OpenOrShare<CSerialIO_TrikKey>();
    }
    // The state held for a logo, title or clock task; null for other functions.
    std::atomic<bool> *StateOf(int32_t functype);

    std::atomic<bool> m_bLogoOn{false};
    std::atomic<bool> m_bTitleOn{false};
    std::atomic<bool> m_bTimeOn{false};
    CSerialIO_TrikKey m_Serial;
};

class KSOVRA20_API CVideoAux_TrikKey : public CKeyerVirtualMode<CVideoAux_TrikKeyDevice> {
    DECLARE_KEST_CLASS(CVideoAux_TrikKey)
};
