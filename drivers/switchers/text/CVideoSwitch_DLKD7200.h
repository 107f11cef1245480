// The DLKD7200 (16 x 1) and DLKD7100 (16 x 2) switches, 9600 baud: thirteen-byte hexadecimal
// write commands between SOH and EOT, sent without awaiting a reply. A preset is kept by the
// driver and, when a preset output is set, routed there; a take routes it to the program
// output. DLKDEx is the DLKD7200 with the main/backup mode.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/CSwitchVirtualMode.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

#include <atomic>

class KSOVRA20_API CSerialIO_DLKD7200 : public CSerialSwitchIO {
public:
    CSerialIO_DLKD7200();
    ~CSerialIO_DLKD7200() override;

    // Writes the route of the 0-based input to the 0-based output: whether the line took it.
    int SendWrite(int output, int input);

protected:
    // `kind`: the model's command letter after "WR".
    explicit CSerialIO_DLKD7200(char kind);

private:
    const char m_cKind;
};

class KSOVRA20_API CSerialIO_DLKD7100 : public CSerialIO_DLKD7200 {
public:
    CSerialIO_DLKD7100();
};

// What the two DLKD models share; the model gives its protocol object and its log texts.
class KSOVRA20_API CVideoSwitchDlkdA : public CVideoSwitchSerialA {
public:
    // Routes the entry (1..sources) to the channel's output (channel - 1, channel held to
    // 1..channels).
    int DevDirectTake(int channel, int entry) override;
    // Keeps the entry as the preset (a negative entry fails) and routes it to "PSTChannel"
    // when that is set and is not "PGMChannel". The base's preset entry is not changed.
    int DevPreset(int channel, int entry) override;
    // Routes the preset kept to "PGMChannel"; fails while none is kept.
    int DevTake(int channel) override;

    int GetPresetEntry() const { return m_nPresetEntry.load(); }
    int GetProgramOutput() const { return m_nProgramOutput; }
    int GetPresetOutput() const { return m_nPresetOutput; }

    virtual CSerialIO_DLKD7200 &Protocol() = 0;

protected:
    // The model's log lines, each "<model>矩阵进行<operation>，入:%d  出:%d".
    struct Texts {
        const char *directTake;
        const char *presetSwitch;
        const char *take;
    };

    CVideoSwitchDlkdA(const char *typeId, const char *description, int channels, Texts texts);

    // "PGMChannel" and "PSTChannel".
    int32_t ReadKeys(CResAccess &setting) override;
    // One line on "LOG_DLKD" from a format of up to two numbers.
    void Log(const char *format, int first, int second) const;

private:
    const Texts m_texts;
    std::atomic<int> m_nPresetEntry{-1};
    int m_nProgramOutput = 0; // set at initialisation
    int m_nPresetOutput = -1;
};

class KSOVRA20_API CVideoSwitch_DLKD7200
    : public CVideoSwitchSerial<CSerialIO_DLKD7200, CVideoSwitchDlkdA> {
    DECLARE_KEST_CLASS(CVideoSwitch_DLKD7200)

    CVideoSwitch_DLKD7200();
};

class KSOVRA20_API CVideoSwitch_DLKD7100
    : public CVideoSwitchSerial<CSerialIO_DLKD7100, CVideoSwitchDlkdA> {
    DECLARE_KEST_CLASS(CVideoSwitch_DLKD7100)

    CVideoSwitch_DLKD7100();

protected:
    // The DLKD keys, then their values on "LOG_DLKD".
    int32_t ReadKeys(CResAccess &setting) override;
};

// While virtual the commands succeed without sending and without keeping entries.
class KSOVRA20_API CVideoSwitch_DLKDEx : public CSwitchVirtualMode<CVideoSwitch_DLKD7200> {
    DECLARE_KEST_CLASS(CVideoSwitch_DLKDEx)

    CVideoSwitch_DLKDEx();
};
