#include "drivers/switchers/CSerialSwitchIO.h"

#include "Kest20/KestLog.h"
#include "KestLib20/StringConvert.h"

#include <mutex>

CSerialSwitchIO::CSerialSwitchIO(const Line &line, int firstTries, int answeredTries,
                                 const char *dumpType, uint32_t replyMs, uint32_t pauseMs)
    : m_nAnsweredTries(answeredTries), m_pDumpType(dumpType), m_nReplyMs(replyMs),
      m_nPauseMs(pauseMs), m_nTries(firstTries)
{
    SetLine(line);
    m_RequestLock.SetTimeOut(kLockTimeoutMs);
}

int CSerialSwitchIO::DevWrite(const char *data, int length)
{
    const int written = CSerialIO::DevWrite(data, length);
    if (m_pDumpType) glReportLog(m_pDumpType, Bin2String(data, length), nullptr);
    return written;
}

int CSerialSwitchIO::WriteFrame(const std::vector<uint8_t> &frame)
{
    if (frame.empty()) return 0;
    std::lock_guard<CDataLock> request(m_RequestLock);
    return DevWrite(reinterpret_cast<const char *>(frame.data()), static_cast<int>(frame.size())) >
                   0
               ? 1
               : 0;
}

int CSerialSwitchIO::SendRequest(const std::vector<uint8_t> &frame, const TryHooks &hooks,
                                 RequestEnd *end)
{
    if (frame.empty()) {
        if (end) *end = RequestEnd::WriteFailed;
        return 0;
    }
    const ReplyTest judged = [&] {
        m_nTries = m_nAnsweredTries;
        return hooks.test ? hooks.test() : ReplyCheck::Accept;
    };
    return Request(reinterpret_cast<const char *>(frame.data()), static_cast<int>(frame.size()),
                   m_nTries, m_nReplyMs, m_nPauseMs, TryHooks{hooks.arm, judged, hooks.ended}, end);
}
