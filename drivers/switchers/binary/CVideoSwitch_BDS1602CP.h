// The BDS1602 switch: 16 sources on one program bus over an RS-422 board port, 19200 baud.
// Takes and presets are three-byte frames that the switch echoes; a status query reports
// the source on air. The EX variant adds the main/backup mode.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CAnsweringSwitchIO.h"
#include "drivers/switchers/binary/SwitchFrames.h"
#include "drivers/switchers/CSwitchVirtualMode.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

class KSOVRA20_API CSerialIO_BDS1602CP : public CAnsweringSwitchIO<swframe::CBds1602Decoder> {
public:
    enum Mode : int { kIdle = 0, kCommand = 1, kQuery = 2 };

    CSerialIO_BDS1602CP();
    ~CSerialIO_BDS1602CP() override;

    // A program take or a preset of the 0-based source: whether the switch answered.
    int SendTake(int source);
    int SendPreset(int source);
    // Asks the switch for its state; `source` is the last source it reported (-1 before any
    // answer) whatever the outcome. 1.
    int QueryStatus(int &source);

    void SetPresetBus(int bus) { m_nPresetBus = bus; }
    int GetPresetBus() const { return m_nPresetBus.load(); }
    int GetLastUnit() const { return m_nLastUnit.load(); }
    int GetLastBus() const { return m_nLastBus.load(); }
    int GetLastSource() const { return m_nLastSource.load(); }

protected:
    // A reply that answers the query or echoes the last program take becomes the last state;
    // any whole reply answers the request.
    std::optional<ReplyCheck> Read(const std::vector<Event> &replies) override;

private:
    int Send(Mode mode, int bus, int source);

    std::atomic<int> m_nMode{kIdle};
    std::atomic<int> m_nLastUnit{-1};
    std::atomic<int> m_nLastBus{-1};
    std::atomic<int> m_nLastSource{-1};
    const int m_nUnit = 0;
    const int m_nProgramBus = 0;
    std::atomic<int> m_nCommandSource{0};
    std::atomic<int> m_nPresetBus{1};
};

class KSOVRA20_API CVideoSwitch_BDS1602CP : public CVideoSwitchSerial<CSerialIO_BDS1602CP> {
    DECLARE_KEST_CLASS(CVideoSwitch_BDS1602CP)

    static constexpr const char *kTypeId = "LVSWITCH_MCS_BDS1602CP";

    CVideoSwitch_BDS1602CP();

    // Asks the switch: the source it reports, 1-based (0 before any answer). 1.
    int DevQueryPgmEntry(int channel, int &entry) override;

protected:
    // "PstEntry".
    int32_t ReadKeys(CResAccess &setting) override;
    // Asks the switch's state once the port has opened; an unanswered query is only logged.
    bool CheckDevice() override;
    int SendRoute(CSerialIO_BDS1602CP &port, int channel, int entry) override;
    int SendPreset(CSerialIO_BDS1602CP &port, int channel, int entry) override;
};

class KSOVRA20_API CVideoSwitch_BDS1602CPEX : public CSwitchVirtualMode<CVideoSwitch_BDS1602CP> {
    DECLARE_KEST_CLASS(CVideoSwitch_BDS1602CPEX)

    CVideoSwitch_BDS1602CPEX();
};
