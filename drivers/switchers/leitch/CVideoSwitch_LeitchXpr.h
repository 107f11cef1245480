// The Leitch XPR routers: 16 sources on one channel by default. A take routes one source to
// the channel's router output on four levels; "LockPGM", while the station's main/backup
// message says virtual, puts its source in place of every requested one; a preset also routes
// to the preview output ("PSTChannel"). The Ex variant adds the main/backup mode and the
// second-output take; the NPortEX variant the mode alone, without debug lines. The _AS router
// has one level, 32 outputs and an input map for the outputs listed.
#pragma once

#include "drivers/switchers/CShareBusReader.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSwitchVirtualMode.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"
#include "drivers/switchers/leitch/CSerialIO_LeitchXpr.h"

#include <atomic>
#include <memory>
#include <vector>

// What the XPR drivers share: the output keys, the open through the open-or-share rule, the
// preset that also switches the preview output, and a second-output take that passes.
class KSOVRA20_API CVideoSwitchXprA : public CSwitchRoutes<CSerialIO_LeitchXprA> {
public:
    // 1 when the own port is open; else through the open-or-share rule: status 0 and 1 (and a
    // line on "LOG_DEV"), or status 3 and 0 when no port is found or opens.
    int DevOpen() override;
    int DevTake2(int channel) override;

    int GetPgmChannel() const { return m_nPgmChannel; }
    int GetPstChannel() const { return m_nPstChannel; }

protected:
    CVideoSwitchXprA();

    // "PGMChannel", "PSTChannel", "ChnOut2", "SrcIn2", "Whith2Switch".
    int32_t ReadKeys(CResAccess &setting) override;
    int SendRoute(CSerialIO_LeitchXprA &port, int channel, int entry) override;
    // When the preview output is set apart from the program output and within the channels:
    // the preset recorded on it and the device's take there; then the preset recorded on the
    // channel, and its result.
    int PresetWithPreview(int channel, int source);

    int m_nPgmChannel = 0;   // set at initialisation
    int m_nPstChannel = -1;  // set at initialisation
    int m_nSecondOutput = 2; // set at initialisation
    int m_nSecondInput = -1; // set at initialisation
    bool m_bSecondSwitch = false;
};

class KSOVRA20_API CVideoSwitch_LeitchXpr
    : public CVideoSwitchSerial<CSerialIO_LeitchXpr, CVideoSwitchXprA> {
    DECLARE_KEST_CLASS(CVideoSwitch_LeitchXpr)

    CVideoSwitch_LeitchXpr();
    ~CVideoSwitch_LeitchXpr() override;

    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;

    // The source that replaces every requested one while above 0.
    int GetLockSource() const { return m_nLockSource.load(); }

protected:
    // "LockPGM", then the output keys.
    int32_t ReadKeys(CResAccess &setting) override;
    // The lock source, or else the channel's preset entry.
    int SendTake(CSerialIO_LeitchXprA &port, int channel, int preset) override;
    // The entry held to the sources, or the lock source.
    int Source(int entry) const;

private:
    std::atomic<int> m_nLockSource{0};
    // The share messages: "LockPGM" again while virtual, 0 otherwise.
    std::unique_ptr<CShareBusReader> m_pLockReader;
};

// The Ex router's model: the XPR with the second-output take, which the guard blocks while
// virtual.
class KSOVRA20_API CVideoSwitch_LeitchXprExDevice : public CVideoSwitch_LeitchXpr {
public:
    // The channel's preset entry to the second output, then the second input to the channel,
    // 200 ms later; 1 at once when "Whith2Switch" is off.
    int DevTake2(int channel) override;
};

class KSOVRA20_API CVideoSwitch_LeitchXprEx
    : public CSwitchVirtualMode<CVideoSwitch_LeitchXprExDevice> {
    DECLARE_KEST_CLASS(CVideoSwitch_LeitchXprEx)

    CVideoSwitch_LeitchXprEx();
};

class KSOVRA20_API CVideoSwitch_LeitchXprNPortEX
    : public CSwitchVirtualMode<CVideoSwitch_LeitchXpr> {
    DECLARE_KEST_CLASS(CVideoSwitch_LeitchXprNPortEX)

    CVideoSwitch_LeitchXprNPortEX();
};

class KSOVRA20_API CVideoSwitch_LeitchXpr_AS
    : public CVideoSwitchSerial<CSerialIO_LeitchXprAS, CVideoSwitchXprA> {
    DECLARE_KEST_CLASS(CVideoSwitch_LeitchXpr_AS)

    CVideoSwitch_LeitchXpr_AS();

    // On an output of the list, the source becomes its input from the map.
    int DevDirectTake(int channel, int entry) override;
    // Records the preset (and takes the preview output); sends nothing of its own.
    int DevPreset(int channel, int entry) override;

protected:
    // The output keys, "ChnMatrixOutArray" and "ChnMatrixInMap".
    int32_t ReadKeys(CResAccess &setting) override;
    int SendTake(CSerialIO_LeitchXprA &port, int channel, int preset) override;

private:
    std::vector<int32_t> m_Outputs; // set at initialisation
    std::vector<int32_t> m_InputMap;
};
