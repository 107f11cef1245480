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
    m_Setting.nDataBits = 8;
    m_Setting.nParity = COM_PARITY_NONE;
    m_Setting.nStopBits = COM_STOPBITS_ONE;
    m_pPortRtc = OnRs232(model) ? CSerial_RS232::GetClassID() : CSerial_M422::GetClassID();
}

CClockLine::~CClockLine()
{
    DevClose();
}

void CClockLine::SetPort(uint16_t port, uint16_t baud)
{
    if (DevIsOpen()) return;
    m_Setting.nPort = port;
    m_Setting.nBaud = baud;
}

int32_t CClockLine::GetFrameCount()
{
    std::lock_guard<CDataLock> lk(m_RecvLock);
    return m_nFrames;
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

    std::vector<Reading> taken, invalid;
    {
        std::lock_guard<CDataLock> lk(m_RecvLock);
        m_pDecoder->Feed(
            bytes, length, [&](const Reading &reading) { taken.push_back(reading); },
            [&](const Reading &reading) { invalid.push_back(reading); });
    }
    // Logged outside the lock, which the log readers know nothing of.
    for (const Reading &reading : invalid) LogInvalid(reading);
    for (const Reading &reading : taken) {
        const DYNAMIC_TIME stamp = Stamp(reading);
        {
            std::lock_guard<CDataLock> lk(m_RecvLock);
            m_StdTime = stamp;
            ++m_nFrames;
        }
        SignalReply();
    }
    return 1;
}

int CClockLine::CollectFrames(DYNAMIC_TIME &last, const plat::Waitable &stop)
{
    DevFlush(3);
    {
        std::lock_guard<CDataLock> lk(m_RecvLock);
        m_pDecoder->Reset();
    }
    int taken = 0;
    for (int round = 0; round < kRounds && taken < kEnoughFrames; ++round) {
        const int32_t before = GetFrameCount();
        m_hReplyEvent.Reset();
        if (plat::WaitForAny({&m_hReplyEvent, &stop}, kRoundMs) != plat::WAIT_OBJECT_0) {
            if (stop.Wait(0) == plat::WAIT_OBJECT_0) break;
            continue;
        }
        DYNAMIC_TIME stamp{};
        int32_t after;
        {
            std::lock_guard<CDataLock> lk(m_RecvLock);
            stamp = m_StdTime;
            after = m_nFrames;
        }
        // The event also wakes a round when the line closes.
        if (after == before) {
            if (!DevIsOpen()) break;
            continue;
        }
        last = stamp;
        ++taken;
    }
    return taken;
}
