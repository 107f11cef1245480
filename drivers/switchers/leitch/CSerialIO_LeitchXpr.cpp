#include "drivers/switchers/leitch/CSerialIO_LeitchXpr.h"

#include "Kest20/KestLog.h"
#include "devext/device/CSerial_M422.h"
#include "drivers/switchers/leitch/LeitchFrames.h"

namespace {

CSerialSwitchIO::Line XprLine()
{
    return {3, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()};
}

} // namespace

CSerialIO_LeitchXprA::CSerialIO_LeitchXprA(int destinations, int highestSource)
    : CAnsweringSwitchIO(XprLine(), {.answeredTries = 1, .replyMs = kSettleMs, .pauseMs = 0}),
      m_nHighestSource(highestSource), m_LastSources(static_cast<size_t>(destinations))
{
}

int CSerialIO_LeitchXprA::SendTake(int source, int destination)
{
    if (destination > GetDestinations() || source > m_nHighestSource) return 0;
    const std::string line = TakeLine(source, destination);
    glReportLog("LOG_DEV", ("Dev=XPR;CMD=(" + line + ")").c_str(), nullptr);
    if (!Send(line)) return 0;
    if (destination >= 1) m_LastSources[static_cast<size_t>(destination - 1)] = source;
    return 1;
}

int CSerialIO_LeitchXprA::QuerySource(int destination)
{
    if (destination > GetDestinations()) return 0;
    Send("R\r");
    return destination >= 1 ? m_LastSources[static_cast<size_t>(destination - 1)].load() : 0;
}

int CSerialIO_LeitchXprA::Send(const std::string &line)
{
    RequestEnd end = RequestEnd::Unanswered;
    Ask(leitch::Bytes(line.begin(), line.end()), {}, &end);
    return end == RequestEnd::WriteFailed ? 0 : 1;
}

CSerialIO_LeitchXpr::CSerialIO_LeitchXpr() : CSerialIO_LeitchXprA(4, 16) {}

CSerialIO_LeitchXpr::~CSerialIO_LeitchXpr()
{
    Retire();
}

std::string CSerialIO_LeitchXpr::TakeLine(int source, int destination) const
{
    return leitch::XprTake(source, destination);
}

CSerialIO_LeitchXprAS::CSerialIO_LeitchXprAS() : CSerialIO_LeitchXprA(32, 32) {}

CSerialIO_LeitchXprAS::~CSerialIO_LeitchXprAS()
{
    Retire();
}

std::string CSerialIO_LeitchXprAS::TakeLine(int source, int destination) const
{
    return leitch::XprAsTake(source, destination);
}

int CSerialIO_LeitchXprAS::DevWrite(const char *data, int length)
{
    const int head = length < 2 ? 0 : length - 2;
    for (int i = 0; i < head; ++i)
        if (CSerialSwitchIO::DevWrite(data + i, 1) <= 0) return 0;
    return CSerialSwitchIO::DevWrite(data + head, length - head) > 0 ? 1 : 0;
}
