// The AA2-framed matrices, 16 inputs on 16 outputs: MPLUS_O (the AA2 matrix that polls for
// commands), MPLUS (a VRS1620 on an RS-232 port) and VRS1620 (on an RS-422 board port). Takes
// are acknowledged; presets are kept by the base (VRS1620 may route them to a preset
// output); the program entry is asked of the matrix. A closed port is reopened with the
// port number then set.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"
#include "drivers/switchers/aa2/CSerialIO_AA2.h"

// What the three share: the open, the direct take and the program query.
class KSOVRA20_API CVideoSwitchAa2A : public CSwitchRoutes<CAa2SerialIO> {
public:
    // 1 when open; else reopens on the port number: 0 when that fails (the status is left as
    // it was), else status 0 and 1.
    int DevOpen() override;

    virtual CAa2SerialIO &Protocol() = 0;

protected:
    CVideoSwitchAa2A();
    // The entry to output channel - 1.
    int SendRoute(CAa2SerialIO &port, int channel, int entry) override;

    // Asks the matrix for output `channel` - 1: the input it reports, 1-based, also kept as
    // the base's program entry; unanswered, -1 and then the base's entry.
    int QueryChannel(int channel, int &entry);
};

// MPLUS_O and MPLUS: a fixed output ("Channel", 0: the one given) for presets, takes and
// queries; a direct take goes to the channel given.
class KSOVRA20_API CVideoSwitchMplusA : public CVideoSwitchAa2A {
public:
    int32_t OnInitInstance() override;
    // Keeps the preset entry; nothing is sent.
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;
    int DevQueryPgmEntry(int channel, int &entry) override;

    int GetFixedChannel() const { return m_nChannel; }

protected:
    CVideoSwitchMplusA() = default;
    // "Channel".
    int32_t ReadKeys(CResAccess &setting) override;

private:
    int Channel(int channel) const { return m_nChannel != 0 ? m_nChannel : channel; }

    int m_nChannel = 0; // set at initialisation
};

class KSOVRA20_API CVideoSwitch_MPLUS_O
    : public CVideoSwitchSerial<CSerialIO_AA2Polled, CVideoSwitchMplusA> {
    DECLARE_KEST_CLASS(CVideoSwitch_MPLUS_O)

    CVideoSwitch_MPLUS_O() = default;
};

class KSOVRA20_API CVideoSwitch_MPLUS
    : public CVideoSwitchSerial<CSerialIO_VRS1620_RS232, CVideoSwitchMplusA> {
    DECLARE_KEST_CLASS(CVideoSwitch_MPLUS)

    CVideoSwitch_MPLUS() = default;
};

// VRS1620: a direct take to the channel given (held to the matrix); a preset also routed to
// the preset output "PST" (0-based) when it is set and is not the program output "PGM"; a
// take of the preset to "PGM".
class KSOVRA20_API CVideoSwitch_VRS1620
    : public CVideoSwitchSerial<CSerialIO_VRS1620, CVideoSwitchAa2A> {
    DECLARE_KEST_CLASS(CVideoSwitch_VRS1620)

    CVideoSwitch_VRS1620() = default;

    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;
    int DevQueryPgmEntry(int channel, int &entry) override;

    int GetProgramOutput() const { return m_nProgramOutput; }
    int GetPresetOutput() const { return m_nPresetOutput; }

protected:
    // "PST" and "PGM".
    int32_t ReadKeys(CResAccess &setting) override;
    int SendTake(CAa2SerialIO &port, int channel, int preset) override;

private:
    int m_nProgramOutput = 0; // set at initialisation
    int m_nPresetOutput = -1;
};
