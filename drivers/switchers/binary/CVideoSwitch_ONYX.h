// The ONYX matrix: 64 inputs on 64 outputs, 38400 baud, unit 0x79, level 15. A seven-byte
// take frame is written without waiting; the matrix polls the line and is answered at once
// from the receive path, and its confirmation of a take is recorded. Devices on one line
// share one protocol object. ONYXX runs each command on every bus of its "BUS" list.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"
#include "drivers/switchers/binary/SwitchFrames.h"

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class KSOVRA20_API CSerialIO_ONYX : public CSerialSwitchIO {
public:
    static constexpr int kUnit = 0x79;
    static constexpr int kLevel = 15;

    CSerialIO_ONYX();
    ~CSerialIO_ONYX() override;

    // Under the request lock, after dropping what was received, writes the take of the
    // entry to the channel (both 1-based, each 1..255; else it fails unwritten). Whether the
    // line took it.
    int SendTake(int entry, int channel);
    // Whether the matrix confirmed the last take.
    bool IsConfirmed() const { return m_bConfirmed.load(); }

    int OnRecvData(int port, pointer_t &data) override;

private:
    swframe::COnyxDecoder m_decoder{kUnit, kLevel}; // under m_RecvLock
    std::atomic<int> m_nLastEntry{-1};
    std::atomic<int> m_nLastChannel{-1};
    std::atomic<bool> m_bConfirmed{false};
};

class KSOVRA20_API CVideoSwitch_ONYX : public CVideoSwitchSharedA {
    DECLARE_KEST_CLASS(CVideoSwitch_ONYX)

    CVideoSwitch_ONYX();

    int32_t OnInitInstance() override;
    int DevDirectTake(int channel, int entry) override;
    // Keeps the preset entry; nothing is sent.
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;

    CSerialIO_ONYX &Protocol() { return m_Serial; }

protected:
    CSerialSwitchIO &Serial() override { return m_Serial; }
    std::shared_ptr<CSerialSwitchIO> FindActivePort() override { return ActivePort(); }

private:
    std::shared_ptr<CSerialIO_ONYX> ActivePort() { return m_Serial.OpenOrShare<CSerialIO_ONYX>(); }

    CSerialIO_ONYX m_Serial;
};

class KSOVRA20_API CVideoSwitch_ONYXX : public CVideoSwitch_ONYX {
    DECLARE_KEST_CLASS(CVideoSwitch_ONYXX)

    CVideoSwitch_ONYXX();

    // ONYX's keys and "BUS": a list, or one nonzero number.
    int32_t OnInitInstance() override;
    // With buses, each runs ONYX's command once per bus as the channel and answers how many
    // succeeded; without, ONYX's command on the channel given.
    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;

    std::vector<int> GetBuses() const { return m_buses; }

private:
    int PerBus(int channel, const std::function<int(int)> &command);

    std::vector<int> m_buses; // set at initialisation
};
