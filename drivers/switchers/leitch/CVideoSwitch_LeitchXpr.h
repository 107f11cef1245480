// The Leitch XPR routers: 16 sources on one channel by default. A take routes one source to
// the channel's router output on four levels; "LockPGM", while the station's main/backup
// message says virtual, puts its source in place of every requested one; a preset also routes
// to the preview output ("PSTChannel"). The Ex variant adds the main/backup mode and the
// second-output take; the NPortEX variant the mode alone, without debug lines. The _AS router
// has one level, 32 outputs and an input map for the outputs listed.
#pragma once

#include "Kest20/CLogReader.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSwitchVirtualMode.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"
#include "drivers/switchers/leitch/CSerialIO_LeitchXpr.h"

#include <atomic>
#include <memory>
#include <vector>

// What the XPR drivers share: the output keys, the open through the open-or-share rule, the
// preset that also switches the preview output, and a device check that always passes.
class KSOVRA20_API CVideoSwitchXprA : public CVideoSwitchSerialA {
public:
    // 1 when the own port is open; else through the open-or-share rule: status 0 and 1, or
    // status 3 and 0 when no port is found or opens.
    int DevOpen() override;
    int DevTest(const char *argument) override;
    int DevTake2(int channel) override;

    int GetPgmChannel() const { return m_nPgmChannel; }
    int GetPstChannel() const { return m_nPstChannel; }

protected:
    CVideoSwitchXprA();

    // The protocol object to send through (this one's or another on the line): null when none.
    virtual std::shared_ptr<CSerialIO_LeitchXprA> ActivePort() = 0;
    // "COM", then "PGMChannel", "PSTChannel", "ChnOut2", "SrcIn2", "Whith2Switch".
    void ReadOutputKeys();
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

class KSOVRA20_API CVideoSwitch_LeitchXpr : public CVideoSwitchXprA {
    DECLARE_KEST_CLASS(CVideoSwitch_LeitchXpr)

    CVideoSwitch_LeitchXpr();
    ~CVideoSwitch_LeitchXpr() override;

    // The switcher keys, "COM", "LockPGM", then the output keys.
    int32_t OnInitInstance() override;
    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;

    // The source that replaces every requested one while above 0.
    int GetLockSource() const { return m_nLockSource.load(); }
    CSerialIO_LeitchXpr &Protocol() { return m_Serial; }

protected:
    CSerialSwitchIO &Serial() override { return m_Serial; }
    std::shared_ptr<CSerialIO_LeitchXprA> ActivePort() override
    {
        return m_Serial.OpenOrShare<CSerialIO_LeitchXpr>();
    }
    // The entry held to the sources, or the lock source; 0 when the device does not activate
    // or no port is found.
    std::shared_ptr<CSerialIO_LeitchXprA> Prepare(int &source);

private:
    // The share message: "LockPGM" again while virtual, 0 otherwise.
    int OnShareMessage(const char *type, const char *text, const char *info);

    CSerialIO_LeitchXpr m_Serial;
    std::atomic<int> m_nLockSource{0};
    std::unique_ptr<CLogReader> m_pLockReader;
};

class KSOVRA20_API CVideoSwitch_LeitchXprEx : public CSwitchVirtualMode<CVideoSwitch_LeitchXpr> {
    DECLARE_KEST_CLASS(CVideoSwitch_LeitchXprEx)

    CVideoSwitch_LeitchXprEx();

    // The channel's preset entry to the second output, then the second input to the channel,
    // 200 ms later; 1 at once when "Whith2Switch" is off or while virtual.
    int DevTake2(int channel) override;
};

class KSOVRA20_API CVideoSwitch_LeitchXprNPortEX
    : public CSwitchVirtualMode<CVideoSwitch_LeitchXpr> {
    DECLARE_KEST_CLASS(CVideoSwitch_LeitchXprNPortEX)

    CVideoSwitch_LeitchXprNPortEX();
};

class KSOVRA20_API CVideoSwitch_LeitchXpr_AS : public CVideoSwitchXprA {
    DECLARE_KEST_CLASS(CVideoSwitch_LeitchXpr_AS)

    CVideoSwitch_LeitchXpr_AS();

    // The switcher keys, "COM", the output keys, "ChnMatrixOutArray" and "ChnMatrixInMap".
    int32_t OnInitInstance() override;
    // On an output of the list, the source becomes its input from the map.
    int DevDirectTake(int channel, int entry) override;
    // Records the preset (and takes the preview output); sends nothing of its own.
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;

protected:
    CSerialSwitchIO &Serial() override { return m_Serial; }
    std::shared_ptr<CSerialIO_LeitchXprA> ActivePort() override
    {
        return m_Serial.OpenOrShare<CSerialIO_LeitchXprAS>();
    }

private:
    CSerialIO_LeitchXprAS m_Serial;
    std::vector<int32_t> m_Outputs; // set at initialisation
    std::vector<int32_t> m_InputMap;
};
