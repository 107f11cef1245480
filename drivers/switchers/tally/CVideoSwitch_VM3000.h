// The VM3000 matrix: 64 inputs on 64 outputs over an RS-422 board port, 9600 baud. Commands
// are decimal texts beginning with 'Z', each answered by a reply letter ('Y' done, 'N'
// refused, 'R' a read's answer), tried three times, 1000 ms each and 1000 ms apart. A preset
// is only kept; the take switches the program output "PGM" and may follow with a second
// output "PGM_Second" after "IntervalTime_Second" ms. Devices on one line share one protocol
// object. VM3000EX adds the main/backup mode.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CAnsweringSwitchIO.h"
#include "drivers/switchers/CSwitchVirtualMode.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"
#include "drivers/switchers/tally/TallyFrames.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

class KSOVRA20_API CSerialIO_VM3000 : public CAnsweringSwitchIO<swframe::CVm3000Decoder> {
public:
    static constexpr int kTries = 3;
    static constexpr uint32_t kVm3000PauseMs = 1000;

    CSerialIO_VM3000();
    ~CSerialIO_VM3000() override;

    // Routes the input to the output (both 1-based, as sent): whether the matrix said 'Y'.
    int SendSwitch(int output, int input);
    // Asks which input the output carries: whether the matrix answered; `input` is the input
    // it reported (-1 when none came).
    int QueryOutput(int output, int &input);

    // The command being built by a preset, sent by the next take.
    void SetCommand(int output, int input);
    int GetCommandOutput() const { return m_nOutput.load(); }
    int GetCommandInput() const { return m_nInput.load(); }
    // The letter of the last reply of the last request (-1: none came).
    int GetReplyCode() const { return m_nReplyCode.load(); }

protected:
    // 'Y' answers a switch, 'N' refuses; a read waits on past the 'Y' for its answer, which
    // answers it with the input it reports. Any block of replies ends a wait.
    std::optional<ReplyCheck> Read(const std::vector<swframe::Vm3000Reply> &replies) override;

private:
    // One command through the request loop; a read (with `reported`) waits on past the
    // acknowledgement for its answer, and `reported` takes the input the answer reports.
    int Send(char letter, int output, int input, int *reported);

    std::atomic<int> m_nPending{-1}; // the letter of the command on the line
    std::atomic<int> m_nReplyCode{-1};
    std::atomic<int> m_nReportedOutput{-1};
    std::atomic<int> m_nReportedInput{-1};
    std::atomic<int> m_nOutput{-1};
    std::atomic<int> m_nInput{-1};
};

class KSOVRA20_API CVideoSwitch_VM3000 : public CVideoSwitchSerial<CSerialIO_VM3000> {
    DECLARE_KEST_CLASS(CVideoSwitch_VM3000)

    CVideoSwitch_VM3000();

    // The matrix keeps its own transitions: 1, nothing kept.
    int DevSetTransType(int type) override;
    int DevSetTransRate(int rate) override;
    // Keeps the route for the next take (to "PST" when it is a valid output other than
    // "PGM", else to the channel); nothing is sent and the base keeps nothing.
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;
    // Asks the matrix: 1 and the input it reports, else 0 and -1.
    int DevQueryPgmEntry(int channel, int &entry) override;
    // 1; the values are left as they are.
    int DevQueryPstEntry(int channel, int &entry) override;
    int DevQueryTransMode(int &type, int &rate) override;

protected:
    // "PGM", "PST", "PGM_Second" and "IntervalTime_Second".
    int32_t ReadKeys(CResAccess &setting) override;
    // Kept as the route of the next take too.
    int SendRoute(CSerialIO_VM3000 &port, int channel, int entry) override;

private:
    int m_nProgramOutput = 1; // set at initialisation
    int m_nPresetOutput = -1;
    int m_nSecondOutput = -1;
    int m_nSecondDelayMs = 0;
};

class KSOVRA20_API CVideoSwitch_VM3000EX : public CSwitchVirtualMode<CVideoSwitch_VM3000> {
    DECLARE_KEST_CLASS(CVideoSwitch_VM3000EX)

    CVideoSwitch_VM3000EX();
};
