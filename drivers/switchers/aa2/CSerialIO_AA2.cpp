#include "drivers/switchers/aa2/CSerialIO_AA2.h"

#include "devext/device/CSerial_M422.h"
#include "devext/device/CSerial_RS232.h"
#include "drivers/model/DeviceCalls.h"

IMPLEMENT_KEST_CLASS(CSerialIO_AA2, CSerialIO)
IMPLEMENT_KEST_CLASS(CSerialIO_VRS1620, CSerialIO)

namespace {

constexpr int kFirstTries = 1;
constexpr int kAnsweredTries = 3;

} // namespace

CAa2SerialIO::CAa2SerialIO(swframe::Aa2Dialect dialect, const Line &line)
    : CAnsweringSwitchIO(
          line,
          {.firstTries = kFirstTries, .answeredTries = kAnsweredTries, .replyMs = kAa2ReplyMs}),
      m_dialect(dialect)
{
}

int CAa2SerialIO::Exchange(const swframe::Bytes &frame)
{
    return Ask(frame, {}, nullptr, [this](RequestEnd) { OnRequestEnded(); });
}

int CAa2SerialIO::SendSwitch(int input, int output)
{
    return Exchange(swframe::Aa2Switch(m_dialect, input, output));
}

int CAa2SerialIO::QueryOutput(int output, int &input)
{
    m_nQueried = output;
    const int answered = Exchange(swframe::Aa2Query(output));
    input = output >= 0 && output < kOutputs ? m_inputs[static_cast<size_t>(output)].load() : -1;
    return answered;
}

int CAa2SerialIO::Reopen(uint16_t port)
{
    DevClose();
    SetPortNumber(port);
    return DevOpen();
}

bool CAa2SerialIO::IsLocked(int output) const
{
    return output >= 0 && output < kOutputs && m_locks[static_cast<size_t>(output)].load();
}

int CAa2SerialIO::GetSecondInput(int output) const
{
    return output >= 0 && output < kOutputs ? m_seconds[static_cast<size_t>(output)].load() : -1;
}

bool CAa2SerialIO::TakeReply(const swframe::Aa2Event &event)
{
    if (!event.checkOk) return false;
    const swframe::Aa2Reply reply = swframe::Aa2ParseReply(m_dialect, event.text);
    const int queried = m_nQueried.load();
    if (reply.ok && queried >= 0 && queried < kOutputs) {
        const auto at = static_cast<size_t>(queried);
        m_locks[at] = reply.locked;
        if (reply.input >= 0) m_inputs[at] = reply.input;
        if (reply.second >= 0) m_seconds[at] = reply.second;
    }
    return reply.ok;
}

std::optional<CSerialIO::ReplyCheck>
CAa2SerialIO::Read(const std::vector<swframe::Aa2Event> &events)
{
    std::optional<bool> verdict;
    for (const auto &event : events) {
        switch (event.kind) {
        case swframe::Aa2Event::Kind::Poll:
            continue;
        case swframe::Aa2Event::Kind::Ack:
            verdict = true;
            break;
        case swframe::Aa2Event::Kind::Nak:
            verdict = false;
            break;
        case swframe::Aa2Event::Kind::Reply:
            verdict = TakeReply(event);
            break;
        }
    }
    if (!verdict) return std::nullopt;
    return *verdict ? ReplyCheck::Accept : ReplyCheck::Refuse;
}

void CAa2SerialIO::Answer(const std::vector<swframe::Aa2Event> &events)
{
    for (const auto &event : events)
        if (event.kind == swframe::Aa2Event::Kind::Poll) OnPoll();
}

CSerialIO_AA2::CSerialIO_AA2()
    : CAa2SerialIO(swframe::Aa2Dialect::Aa2,
                   {3, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()})
{
}

CSerialIO_AA2::~CSerialIO_AA2()
{
    Retire();
}

CSerialIO_AA2Polled::CSerialIO_AA2Polled() = default;

CSerialIO_AA2Polled::~CSerialIO_AA2Polled()
{
    Retire();
}

bool CSerialIO_AA2Polled::HasPending() const
{
    std::lock_guard<std::mutex> lk(m_pendingLock);
    return !m_pending.empty();
}

int CSerialIO_AA2Polled::DevWrite(const char *data, int length)
{
    if (!data || length < 1 || static_cast<size_t>(length) > kMaxFrame || !DevIsOpen()) return 0;
    // The wait for the poll to take the frame still pending ends on a close of the line and on
    // the stop of the calling thread's task unit: the frame is then not queued.
    const CCallingUnit *unit = CCallingUnit::Current();
    for (int check = 0; check < kPendingChecks && HasPending(); ++check) {
        if (unit)
            plat::WaitForAny({&m_evTaken, &unit->StopEvent()}, kPendingCheckMs);
        else
            m_evTaken.Wait(kPendingCheckMs);
        if (CCallingUnit::Stopped() || !DevIsOpen()) return 0;
    }
    std::lock_guard<std::mutex> lk(m_pendingLock);
    // One still pending after the checks is replaced.
    m_pending.assign(data, data + length);
    return length;
}

void CSerialIO_AA2Polled::OnRequestEnded()
{
    // A frame still waiting for a poll goes with its request: sent later, it would switch
    // the matrix at a time nobody chose, after the take was reported failed.
    std::lock_guard<std::mutex> lk(m_pendingLock);
    m_pending.clear();
}

void CSerialIO_AA2Polled::OnPoll()
{
    swframe::Bytes frame;
    {
        std::lock_guard<std::mutex> lk(m_pendingLock);
        frame.swap(m_pending);
    }
    if (frame.empty()) return;
    CSerialSwitchIO::DevWrite(reinterpret_cast<const char *>(frame.data()),
                              static_cast<int>(frame.size()));
    m_evTaken.Set();
}

CSerialIO_VRS1620::CSerialIO_VRS1620()
    : CSerialIO_VRS1620(
          {3, 2400, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()})
{
}

CSerialIO_VRS1620::CSerialIO_VRS1620(const Line &line)
    : CAa2SerialIO(swframe::Aa2Dialect::Vrs1620, line)
{
}

CSerialIO_VRS1620::~CSerialIO_VRS1620()
{
    Retire();
}

CSerialIO_VRS1620_RS232::CSerialIO_VRS1620_RS232()
    : CSerialIO_VRS1620(
          {3, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_RS232::GetClassID()})
{
}
