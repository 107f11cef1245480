// The AA2-framed matrices, 16 inputs on 16 outputs: MPLUS_O (the AA2 matrix that polls for
// commands), MPLUS (a VRS1620 on an RS-232 port) and VRS1620 (on an RS-422 board port). Takes
// are acknowledged; presets are kept by the base (VRS1620 may route them to a preset
// output); the program entry is asked of the matrix. A closed port is reopened with the
// port number then set.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"
#include "drivers/switchers/aa2/CSerialIO_AA2.h"

// What the three share: the open, the device test and the program query.
class KSOVRA20_API CVideoSwitchAa2A : public CVideoSwitchSerialA {
public:
    // 1 when open; else reopens on the port number: 0 when that fails (the status is left as
    // it was), else status 0 and 1.
    int DevOpen() override;
    int DevTest(const char *argument) override;

protected:
    CVideoSwitchAa2A();
    virtual CAa2SerialIO &Aa2() = 0;
    CSerialSwitchIO &Serial() override { return Aa2(); }

    // Asks the matrix for output `channel` - 1: the input it reports, 1-based, also kept as
    // the base's program entry; unanswered, -1 and then the base's entry.
    int QueryChannel(int channel, int &entry);
};

// MPLUS_O and MPLUS: a fixed output ("Channel", 0: the one given) for presets, takes and
// queries; a direct take goes to the channel given.
class KSOVRA20_API CVideoSwitchMplusA : public CVideoSwitchAa2A {
public:
    int32_t OnInitInstance() override;
    int DevDirectTake(int channel, int entry) override;
    // Keeps the preset entry; nothing is sent.
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;
    int DevQueryPgmEntry(int channel, int &entry) override;

    int GetFixedChannel() const { return m_nChannel; }

protected:
    CVideoSwitchMplusA() = default;

private:
    int Channel(int channel) const { return m_nChannel != 0 ? m_nChannel : channel; }

    int m_nChannel = 0; // set at initialisation
};

class KSOVRA20_API CVideoSwitch_MPLUS_O : public CVideoSwitchMplusA {
    DECLARE_KEST_CLASS(CVideoSwitch_MPLUS_O)

    CVideoSwitch_MPLUS_O() = default;
    CSerialIO_AA2Polled &Protocol() { return m_Serial; }

protected:
    CAa2SerialIO &Aa2() override { return m_Serial; }

private:
    CSerialIO_AA2Polled m_Serial;
};

class KSOVRA20_API CVideoSwitch_MPLUS : public CVideoSwitchMplusA {
    DECLARE_KEST_CLASS(CVideoSwitch_MPLUS)

    CVideoSwitch_MPLUS() = default;
    CSerialIO_VRS1620_RS232 &Protocol() { return m_Serial; }

protected:
    CAa2SerialIO &Aa2() override { return m_Serial; }

private:
    CSerialIO_VRS1620_RS232 m_Serial;
};

// VRS1620: a direct take to the channel given (held to the matrix); a preset also routed to
// the preset output "PST" (0-based) when it is set and is not the program output "PGM"; a
// take of the preset to "PGM".
class KSOVRA20_API CVideoSwitch_VRS1620 : public CVideoSwitchAa2A {
    DECLARE_KEST_CLASS(CVideoSwitch_VRS1620)

    CVideoSwitch_VRS1620() = default;

    int32_t OnInitInstance() override;
    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;
    int DevQueryPgmEntry(int channel, int &entry) override;

    CSerialIO_VRS1620 &Protocol() { return m_Serial; }
    int GetProgramOutput() const { return m_nProgramOutput; }
    int GetPresetOutput() const { return m_nPresetOutput; }

protected:
    CAa2SerialIO &Aa2() override { return m_Serial; }

private:
    CSerialIO_VRS1620 m_Serial;
    int m_nProgramOutput = 0; // set at initialisation
    int m_nPresetOutput = -1;
};
