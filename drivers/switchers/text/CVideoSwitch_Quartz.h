// The Quartz matrix: 64 inputs on 64 outputs, 38400 baud. A take is a text command that must
// be answered (anything will do), tried three times. A fixed program output ("PGM") may
// replace the channel, and a bypass output ("ByPass") follows every take. The port stays
// open once opened. QuartzX runs each command on every bus of its "BUS" list.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CAnsweringSwitchIO.h"
#include "drivers/switchers/CSwitchPerBus.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

#include <optional>
#include <string>
#include <vector>

class KSOVRA20_API CSerialIO_Quartz : public CAnsweringSwitchIO<swio::CBlockDecoder> {
public:
    CSerialIO_Quartz();
    ~CSerialIO_Quartz() override;

    // Routes the input to the output (both 1-based, as sent) on the levels: whether the
    // matrix answered within three tries.
    int SendTake(const std::string &levels, int output, int input);

protected:
    // Any received block answers the request.
    std::optional<ReplyCheck> Read(const std::vector<Event> &) override
    {
        return ReplyCheck::Accept;
    }
};

class KSOVRA20_API CVideoSwitch_Quartz : public CVideoSwitchSerial<CSerialIO_Quartz> {
    DECLARE_KEST_CLASS(CVideoSwitch_Quartz)

    CVideoSwitch_Quartz();

    // Leaves the port open: 1.
    int DevClose() override;
    // To the program output, the bypass following (a take too).
    int DevDirectTake(int channel, int entry) override;

    int GetProgramOutput() const { return m_nProgramOutput; }
    int GetBypassOutput() const { return m_nBypassOutput; }
    const std::string &GetLevels() const { return m_strLevels; }

protected:
    // "PGM", "ByPass" and "Level".
    int32_t ReadKeys(CResAccess &setting) override;
    int TakeOutput(int channel) const override { return Output(channel); }
    int SendTake(CSerialIO_Quartz &port, int output, int preset) override;

private:
    // "PGM" when set, else the channel.
    int Output(int channel) const { return m_nProgramOutput >= 0 ? m_nProgramOutput : channel; }
    // The same route to the bypass output, when it is set and is not the program output.
    void FollowBypass(int input);

    int m_nProgramOutput = -1; // set at initialisation
    int m_nBypassOutput = -1;
    std::string m_strLevels = "VABCDEFG";
};

class KSOVRA20_API CVideoSwitch_QuartzX : public CSwitchPerBus<CVideoSwitch_Quartz> {
    DECLARE_KEST_CLASS(CVideoSwitch_QuartzX)

    CVideoSwitch_QuartzX();
};
