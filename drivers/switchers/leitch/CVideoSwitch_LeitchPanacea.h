// The Leitch Panacea matrix: 16 sources, 4 channels, 9600 baud. A cross-point line (level,
// source, destination) goes out one character at a time through the board library's
// put-character entry, 10 ms apart; nothing waits for a reply. Takes go to the program
// destination ("PGM", else the channel), presets to the preset destination ("PST").
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/leitch/CVideoSwitchLeitchA.h"

#include <atomic>
#include <string>

class KSOVRA20_API CSerialIO_LeitchPanacea : public CSerialSwitchIO {
public:
    static constexpr uint32_t kCharPauseMs = 10;
    using PutChar = int (*)(int port, int ch);

    CSerialIO_LeitchPanacea();
    ~CSerialIO_LeitchPanacea() override;

    // Writes the cross-point line through the board library on the port number: 1 when every
    // character went out, 0 when one failed or the library (or its entry) is missing.
    int SendXPoint(int level, int source, int destination);
    // Writes `line` through `putChar` on `port`, pausing after each character, and logs it on
    // "LOG_DEV" once whole: 1; 0 at the first failed character or without `putChar`.
    int PutLine(const std::string &line, PutChar putChar);
};

class KSOVRA20_API CVideoSwitch_LeitchPanacea
    : public CVideoSwitchSerial<CSerialIO_LeitchPanacea, CVideoSwitchLeitchA> {
    DECLARE_KEST_CLASS(CVideoSwitch_LeitchPanacea)

    static constexpr const char *kTypeId = "LVSWITCH_MATRIX_LEITCHPANACEA";

    CVideoSwitch_LeitchPanacea();

    // The entry to the program destination.
    int DevDirectTake(int channel, int entry) override;
    // Keeps the entry as the preset source and routes it to the preset destination (1 without
    // sending when that is 0); no activation.
    int DevPreset(int channel, int entry) override;
    // The kept preset source to the program destination, or to the channel when that is 0.
    int DevTake(int channel) override;
    int CrossPoint(int source, int destination);

    int GetPresetSource() const { return m_nPresetSource.load(); }

protected:
    // "PGM", "PST" (default -1; their low 16 bits) and "LEVEL" (default "0").
    int32_t ReadKeys(CResAccess &setting) override;

private:
    int Level() const;

    std::atomic<int> m_nPresetSource{0};
    int m_nPgmDest = 0;  // set at initialisation
    int m_nPstDest = -1; // set at initialisation
    std::string m_strLevel = "0";
};
