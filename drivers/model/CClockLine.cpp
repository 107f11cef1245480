#include "drivers/model/CClockLine.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CFileTime.h"
#include "devext/device/CSerial_M422.h"
#include "devext/device/CSerial_RS232.h"
#include "platform/String.h"

#include <mutex>
#include <vector>

using clockframe::Model;
using clockframe::Reading;

namespace {

bool OnRs232(Model model)
{
    return model == Model::BJSX || model == Model::MCG;
}

} // namespace

CClockLine::CClockLine(Model model) : m_Model(model), m_pDecoder(clockframe::MakeDecoder(model))
{
    const COM_SETTING unset;
    SetLine({unset.nPort, unset.nBaud, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, unset.nHalfTime,
             OnRs232(model) ? CSerial_RS232::GetClassID() : CSerial_M422::GetClassID()});
}

CClockLine::~CClockLine()
{
    DevClose();
}

void CClockLine::SetPort(uint16_t port, uint16_t baud)
{
    if (DevIsOpen()) return;
    Line line = GetLine();
    line.port = port;
    line.baud = baud;
    SetLine(line);
}

int32_t CClockLine::GetFrameCount()
{
    return WithBuffer([this](CBuffer &) { return m_nFrames; });
}

DYNAMIC_TIME CClockLine::Stamp(const Reading &reading) const
{
    DYNAMIC_TIME stamp{};
    glGetTimeEx(&stamp);
    if (!reading.timeOfDay) {
        stamp.time = CFileTime(reading.time).GetTime();
    } else if (m_Model == Model::BJSX) {
        // The date and milliseconds are the computer's.
        plat::SYSTEMTIME local{};
        plat::GetLocalTime(&local);
        local.wHour = reading.time.wHour;
        local.wMinute = reading.time.wMinute;
        local.wSecond = reading.time.wSecond;
        stamp.time = CFileTime(local).GetTime();
    } else {
        // The date is the framework clock's.
        CFileTime time(stamp.time);
        timecode_t ofDay;
        ofDay.SetAsDetail(reading.time.wHour, reading.time.wMinute, reading.time.wSecond, 0);
        time.SetTime(ofDay);
        stamp.time = time.GetTime();
    }
    return stamp;
}

void CClockLine::LogBlock(const uint8_t *data, size_t length) const
{
    const char *name = m_Model == Model::Z3400    ? "Z3400"
                       : m_Model == Model::ST3100 ? "ST3100"
                                                  : nullptr;
    if (!name) return;
    CString bytes;
    for (size_t i = 0; i < length; ++i) bytes.AppendFormat("%02X_", data[i]);
    CString text;
    text.Format("<DEV=%s;R=%s>", name, static_cast<const char *>(bytes));
    glReportLog("LOG_DEV", text, nullptr);
}

void CClockLine::LogInvalid(const Reading &reading) const
{
    const plat::SYSTEMTIME &t = reading.time;
    const bool st3100 = m_Model == Model::ST3100;
    CString text;
    text.Format("DEV=%s; Info=Recv invalid data;Data=%4d/%2d/%2d(%d) %2d:%2d:%2d",
                st3100 ? "ST3100" : "3400", t.wYear, t.wMonth, t.wDay, t.wDayOfWeek, t.wHour,
                t.wMinute, t.wSecond);
    glReportLog(st3100 ? "LOG_ERROR" : "LOG_DEV", text, nullptr);
}

int CClockLine::OnRecvData(int, pointer_t &data)
{
    const auto *bytes = static_cast<const uint8_t *>(data.data);
    const size_t length = data.length > 0 ? static_cast<size_t>(data.length) : 0;
    if (!bytes || length == 0) return 0;
    LogBlock(bytes, length);

    const std::vector<Reading> readings =
        WithBuffer([&](CBuffer &) { return m_pDecoder->Feed(bytes, length); });
    // Logged outside the lock, which the log readers know nothing of.
    for (const Reading &reading : readings)
        if (!reading.valid) LogInvalid(reading);
    for (const Reading &reading : readings) {
        if (!reading.valid) continue;
        const DYNAMIC_TIME stamp = Stamp(reading);
        WithBuffer([&](CBuffer &) {
            m_StdTime = stamp;
            ++m_nFrames;
        });
        SignalReply();
    }
    return 1;
}

int CClockLine::CollectFrames(DYNAMIC_TIME &last, const plat::Waitable &stop)
{
    DevFlush(3);
    // The line only listens: each round waits up to kRoundMs; a frame ends its round, and the
    // request ends after kEnoughFrames, on the stop or when the line closes.
    int taken = 0;
    int32_t counted = 0;
    const auto arm = [&] {
        m_pDecoder->Reset();
        counted = m_nFrames;
    };
    const ReplyTest test = [&] {
        DYNAMIC_TIME stamp{};
        const bool fresh = WithBuffer([&](CBuffer &) {
            if (m_nFrames == counted) return false;
            counted = m_nFrames;
            stamp = m_StdTime;
            return true;
        });
        if (!fresh) return ReplyCheck::KeepWaiting;
        last = stamp;
        return ++taken < kEnoughFrames ? ReplyCheck::Retry : ReplyCheck::Accept;
    };
    Request(nullptr, 0, kRounds, kRoundMs, 0, TryHooks(arm, test, {}, &stop));
    return taken;
}
