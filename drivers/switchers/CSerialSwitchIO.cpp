#include "drivers/switchers/CSerialSwitchIO.h"

#include "Kest20/KestLog.h"
#include "KestLib20/StringConvert.h"
#include "drivers/model/DeviceCalls.h"
#include "platform/TimeSource.h"

#include <chrono>
#include <thread>

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

bool CSerialSwitchIO::LockExchange()
{
    // The system's lock waits for its owner however long it holds it, and a holder's request
    // is bounded only by its own tries: a thread queued behind several unanswered requests
    // would come back long after its unit stopped. So the wait looks again every few
    // milliseconds, and gives up at the stop or at the lock's bound on the time source.
    constexpr auto kLookAgain = std::chrono::milliseconds(5);
    const uint32_t started = plat::GetTickCount();
    while (!m_ExchangeLock.TryLock()) {
        if (CCallingUnit::Stopped()) return false;
        if (plat::TickElapsed(started) >= m_exchange.lockTimeoutMs) {
            glReportLog("LOG_DEV", "switcher line still taken: the call gives up", nullptr);
            return false;
        }
        std::this_thread::sleep_for(kLookAgain);
    }
    return true;
}

int CSerialSwitchIO::WriteFrame(const std::vector<uint8_t> &frame, const std::function<void()> &arm)
{
    if (frame.empty() || CCallingUnit::Stopped()) return 0;
    return AloneUnlessGivenUp([&] {
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
    if (end) *end = RequestEnd::Closed;
    return AloneUnlessGivenUp([&] {
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
