// The Leitch matrix on its terminal protocol: 16 sources, 2 channels, 9600 baud. Every command
// line comes from the command template map; takes go to the program destination ("PGM") and
// presets to the preset destination ("PST") with an execute behind them. Nothing waits for
// a reply. The levels of every command are "0123456789".
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/leitch/CVideoSwitchLeitchA.h"
#include "drivers/switchers/leitch/LeitchFrames.h"

#include <atomic>
#include <string>
#include <vector>

class KSOVRA20_API CSerialIO_LeitchMatrix : public CSerialSwitchIO {
public:
    CSerialIO_LeitchMatrix();
    ~CSerialIO_LeitchMatrix() override;

    // Formats the line of `key`, writes it and logs it on "LOG_DEV": whether the line took it
    // (0 too for an unknown key).
    int SendCommand(int32_t key, const std::vector<leitch::CmdArg> &args);
    // The status query of one character.
    int SendStatus(char c);
    const leitch::CCmdTemplateMap &Templates() const { return m_Templates; }
    // How many replies the matrix has sent.
    int GetReplyCount() const { return m_nReplies.load(); }

    // Notes the matrix's replies (they are not read).
    int OnRecvData(int port, pointer_t &data) override;

private:
    leitch::CCmdTemplateMap m_Templates;
    leitch::CLeitchReplyScan m_scan; // under the receive lock
    std::atomic<int> m_nReplies{0};
};

class KSOVRA20_API CVideoSwitch_Leitch
    : public CVideoSwitchSerial<CSerialIO_LeitchMatrix, CVideoSwitchLeitchA> {
    DECLARE_KEST_CLASS(CVideoSwitch_Leitch)

    static constexpr const char *kTypeId = "LVSWITCH_MATRIX_LEITCH";
    static constexpr const char *kLevels = "0123456789";

    CVideoSwitch_Leitch();

    // The entry to the program destination; the channel is not used.
    int DevDirectTake(int channel, int entry) override;
    // Keeps entry - 1 as the preset source and routes it to the preset destination, then
    // executes: 1 when both went out; 0 at once when both destinations are the same.
    int DevPreset(int channel, int entry) override;
    // The kept preset source to the program destination.
    int DevTake(int channel) override;
    // Routes `source` (1-based) to `destination`.
    int CrossPoint(int destination, int source);

    int GetProgramDestination() const { return m_nPgmDest; }
    int GetPresetDestination() const { return m_nPstDest; }
    int GetPresetSource() const { return m_nPresetSource.load(); }

protected:
    // "PGM" and "PST" (their low 16 bits).
    int32_t ReadKeys(CResAccess &setting) override;

private:
    int Route(int32_t key, int destination, int source);

    std::atomic<int> m_nPresetSource{0};
    int m_nPgmDest = 0;  // set at initialisation
    int m_nPstDest = -1; // set at initialisation
};
