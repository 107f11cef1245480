#include "drivers/switchers/CSerialSwitchIO.h"

#include "Kest20/KestLog.h"
#include "KestLib20/StringConvert.h"
#include "drivers/model/DeviceCalls.h"

CSerialSwitchIO::CSerialSwitchIO(const Line &line, const Exchange &exchange)
    : m_exchange(exchange), m_nTries(exchange.firstTries)
{
    SetLine(line);
    m_ExchangeLock.SetTimeOut(exchange.lockTimeoutMs);
}

CSerialSwitchIO::CSerialSwitchIO(const Line &line) : CSerialSwitchIO(line, Exchange{}) {}

int CSerialSwitchIO::DevWrite(const char *data, int length)
{
    const int written = CSerialIO::DevWrite(data, length);
    if (m_exchange.dumpType) glReportLog(m_exchange.dumpType, Bin2String(data, length), nullptr);
    return written;
}

int CSerialSwitchIO::WriteFrame(const std::vector<uint8_t> &frame, const std::function<void()> &arm)
{
    if (frame.empty() || CCallingUnit::Stopped()) return 0;
    return Alone([&] {
        // A stop while it waited for the line.
        if (CCallingUnit::Stopped()) return 0;
        if (arm) Received(arm);
        return DevWrite(reinterpret_cast<const char *>(frame.data()),
                        static_cast<int>(frame.size())) > 0
                   ? 1
                   : 0;
    });
}

int CSerialSwitchIO::SendRequest(const std::vector<uint8_t> &frame, const TryHooks &hooks,
                                 RequestEnd *end)
{
    if (frame.empty()) {
        if (end) *end = RequestEnd::WriteFailed;
        return 0;
    }
    // A thread whose unit stops, or has given up its call, sends its device nothing more.
    if (CCallingUnit::Stopped()) {
        if (end) *end = RequestEnd::Closed;
        return 0;
    }
    const auto arm = [&] {
        if (hooks.arm) Received(hooks.arm);
    };
    const ReplyTest judged = [&] {
        m_nTries = m_exchange.answeredTries;
        return hooks.test ? Received(hooks.test) : ReplyCheck::Accept;
    };
    return Alone([&] {
        RequestResult result;
        const TryHooks tries{arm, judged, hooks.ended,
                             hooks.stop ? hooks.stop : CCallingUnit::CurrentStop()};
        const int answered =
            Request(reinterpret_cast<const char *>(frame.data()), static_cast<int>(frame.size()),
                    m_nTries, m_exchange.replyMs, m_exchange.pauseMs, tries, &result);
        if (end) *end = result.end;
        return answered;
    });
}
