#include "drivers/switchers/tally/CVideoSwitch_VM3000.h"

#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/model/DeviceCalls.h"
#include "platform/Process.h"
#include "platform/TimeSource.h"

#include <algorithm>

namespace {

constexpr const char *kDescription = "视频切换(VM3000切换矩阵)";
constexpr const char *kExDescription = "视频切换(扩展协议VM3000切换矩阵)";
constexpr char kSwitch = 'S';
constexpr char kRead = 'R';

void DebugOutput(const char *format, int first, int second = 0)
{
    CString text;
    text.Format(format, first, second);
    plat::OutputDebugString(text);
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_VM3000, CVideoSwitchA, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_VM3000EX, CVideoSwitch_VM3000, kExDescription)

CSerialIO_VM3000::CSerialIO_VM3000()
    : CAnsweringSwitchIO(
          {4, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()},
          {.firstTries = kTries, .answeredTries = kTries, .pauseMs = kVm3000PauseMs})
{
}

CSerialIO_VM3000::~CSerialIO_VM3000()
{
    Retire();
}

int CSerialIO_VM3000::Send(char letter, int output, int input, int *reported)
{
    RequestEnd end = RequestEnd::Unanswered;
    const int result = Ask(
        swframe::Vm3000Command(letter, output, input),
        [this, letter] {
            m_nPending = letter;
            // No reply yet: an unanswered request must not report the verdict of an earlier
            // one.
            m_nReplyCode = -1;
            m_nReportedOutput = -1;
            m_nReportedInput = -1;
        },
        &end);
    if (result && reported) *reported = m_nReportedInput.load();
    if (end == RequestEnd::WriteFailed) m_nPending = -1;
    return result;
}

int CSerialIO_VM3000::SendSwitch(int output, int input)
{
    return Send(kSwitch, output, input, nullptr);
}

int CSerialIO_VM3000::QueryOutput(int output, int &input)
{
    input = -1;
    int reported = -1;
    if (!Send(kRead, output, -1, &reported)) return 0;
    input = reported;
    return input >= 0 ? 1 : 0;
}

void CSerialIO_VM3000::SetCommand(int output, int input)
{
    m_nOutput = output;
    m_nInput = input;
}

std::optional<CSerialIO::ReplyCheck>
CSerialIO_VM3000::Read(const std::vector<swframe::Vm3000Reply> &replies)
{
    for (const auto &reply : replies) {
        if (reply.letter == 'Y' || reply.letter == 'N') {
            m_nReplyCode = reply.letter;
            m_nReportedOutput = -1;
            m_nReportedInput = -1;
        } else if (reply.letter == kRead && m_nPending == kRead) {
            m_nReplyCode = reply.letter;
            m_nReportedOutput = reply.output;
            m_nReportedInput = reply.input;
        }
    }
    const int code = m_nReplyCode.load();
    if (code == 'N' || code <= 0) return ReplyCheck::Refuse;
    if (m_nPending != kRead) return ReplyCheck::Accept;
    // A read's answer may follow the acknowledgement in a reply of its own.
    return code == kRead ? ReplyCheck::Accept : ReplyCheck::KeepWaiting;
}

CVideoSwitch_VM3000::CVideoSwitch_VM3000()
    : CVideoSwitchSerial({.typeId = "LVSWITCH_MCS_VM3000",
                          .description = kDescription,
                          .sources = 64,
                          .channels = 64,
                          .portKey = "Com",
                          .open = Open::Shared,
                          .isOpenShares = true})
{
}

int32_t CVideoSwitch_VM3000::ReadKeys(CResAccess &setting)
{
    m_nProgramOutput = setting["PGM"].GetAsInteger(m_nProgramOutput);
    m_nPresetOutput = setting["PST"].GetAsInteger(m_nPresetOutput);
    m_nSecondOutput = setting["PGM_Second"].GetAsInteger(m_nSecondOutput);
    m_nSecondDelayMs = setting["IntervalTime_Second"].GetAsInteger(m_nSecondDelayMs);
    return 1;
}

int CVideoSwitch_VM3000::DevSetTransType(int)
{
    return 1;
}

int CVideoSwitch_VM3000::DevSetTransRate(int)
{
    return 1;
}

int CVideoSwitch_VM3000::SendRoute(CSerialIO_VM3000 &port, int channel, int entry)
{
    port.SetCommand(channel, entry);
    return port.SendSwitch(channel, entry);
}

int CVideoSwitch_VM3000::DevPreset(int channel, int entry)
{
    const auto port = ReadyPort();
    if (!port) return 0;
    entry = ClampEntry(entry);
    const bool toPreset = m_nPresetOutput > 0 && m_nPresetOutput < GetChannels() &&
                          m_nPresetOutput != m_nProgramOutput;
    const int output = toPreset ? m_nPresetOutput : channel;
    DebugOutput("预置命令  输出:%d  输入:%d", output, entry);
    port->SetCommand(output, entry);
    return 1;
}

int CVideoSwitch_VM3000::DevTake(int channel)
{
    const auto port = ReadyPort();
    if (!port) return 0;
    int output = port->GetCommandOutput();
    if (m_nProgramOutput >= 1 && m_nProgramOutput <= GetChannels()) {
        output = m_nProgramOutput;
        DebugOutput("切换命令  输出:%d", output);
        channel = m_nProgramOutput;
    }
    const int input = port->GetCommandInput();
    // Before any preset or direct take there is no route to send ("ZS" with an output alone).
    if (!HasChannel(channel) || input < 1 || output < 1) return 0;
    const int result = port->SendSwitch(output, input);
    if (m_nSecondOutput > 0 && m_nSecondOutput <= GetChannels() &&
        m_nSecondOutput != m_nProgramOutput) {
        if (CCallingUnit::Nap(static_cast<uint32_t>(std::max(0, m_nSecondDelayMs))))
            port->SendSwitch(m_nSecondOutput, input);
    }
    if (!result) return 0;
    // The preset was kept in the protocol object only: the base takes the input that went
    // on air, not a preset entry it never held.
    CVideoSwitchA::DevPreset(channel, input);
    return CVideoSwitchA::DevTake(channel);
}

int CVideoSwitch_VM3000::DevQueryPgmEntry(int channel, int &entry)
{
    const auto port = ReadyPort();
    if (!port) return 0;
    int input = -1;
    const int answered = port->QueryOutput(channel, input);
    entry = answered ? input : -1;
    return answered;
}

int CVideoSwitch_VM3000::DevQueryPstEntry(int, int &)
{
    return 1;
}

int CVideoSwitch_VM3000::DevQueryTransMode(int &, int &)
{
    return 1;
}

CVideoSwitch_VM3000EX::CVideoSwitch_VM3000EX()
{
    m_strDescription = kExDescription;
}
