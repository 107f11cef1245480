#include "devext/device/CSerial_RS232.h"

#include "devext/device/PortDelivery.h"
#include "platform/SerialPortResolver.h"

#include "platform/Process.h"

#include <cerrno>
#include <mutex>

IMPLEMENT_KEST_CLASS(CSerial_RS232, CSerialDevA)

namespace {

// The read lock's stale-holder time-out.
constexpr uint32_t kReadLockTimeOutMs = 30000;

bool ToLineSettings(const COM_SETTING &setting, plat::SerialSettings *line)
{
    if (setting.nParity > COM_PARITY_SPACE || setting.nStopBits > COM_STOPBITS_TWO) return false;
    line->baud = setting.nBaud;
    line->dataBits = setting.nDataBits;
    line->parity = static_cast<plat::Parity>(setting.nParity);
    line->stopBits = static_cast<plat::StopBits>(setting.nStopBits);
    return true;
}

} // namespace

CSerial_RS232::CSerial_RS232()
{
    m_ReadLock.SetTimeOut(kReadLockTimeOutMs);
}

CSerial_RS232::~CSerial_RS232()
{
    Retire();
}

int CSerial_RS232::DevOpen()
{
    if (m_bOpen) return 1;
    plat::SerialSettings settings;
    if (!ToLineSettings(m_Setting, &settings)) return 0;
    const int port = m_Setting.nPort;
    const std::string path = plat::ResolveSerialPort(plat::SerialPortKind::COM, port);
    if (path.empty() || !m_Line.Open(path, settings)) return 0;
    // Where the line has no modem lines (a pseudo-terminal) these are taken as done.
    m_Line.SetDtr(true);
    m_Line.SetRts(true);
    auto delivery = std::make_shared<PortDelivery>(this, port);
    *m_pHungUp = false;
    if (!m_Line.StartReceiver(
            [delivery](const uint8_t *data, size_t length) { delivery->Deliver(data, length); },
            [hungUp = m_pHungUp] { *hungUp = true; })) {
        m_Line.Close();
        return 0;
    }
    m_pDelivery = std::move(delivery);
    SetOpened();
    return 1;
}

int CSerial_RS232::DevClose()
{
    if (!m_bOpen) return 1;
    m_pDelivery->Cut();
    m_Line.StopReceiver();
    m_Line.SetDtr(false);
    m_Line.Close();
    m_pDelivery.reset();
    SetClosed();
    return 1;
}

int CSerial_RS232::DevIsOpen()
{
    return m_bOpen && !*m_pHungUp ? 1 : 0;
}

uint64_t CSerial_RS232::ReceivedCount()
{
    return m_bOpen ? m_Line.ReceivedCount() : 0;
}

int CSerial_RS232::DevWrite(const char *data, int length)
{
    if (!m_bOpen || length < 0 || (!data && length > 0)) return 0;
    HalfTime();
    const size_t count = static_cast<size_t>(length);
    if (m_Line.Write(data, count, m_Line.WriteBoundMs(count)) == count) return 1;
    // A line that failed rather than one too slow to take the bytes is gone.
    if (plat::GetLastError() != ETIMEDOUT) *m_pHungUp = true;
    return 0;
}

int CSerial_RS232::DevRead(char *buffer, int &length)
{
    std::lock_guard<CDataLock> lk(m_ReadLock);
    const int room = length;
    length = 0;
    if (!m_bOpen || !buffer || room <= 0) return 0;
    int got = m_Line.Read(buffer, static_cast<size_t>(room), kReadWaitMs);
    // Then whatever else waits already, until the buffer is full.
    while (got > 0) {
        length += got;
        if (length >= room) break;
        got = m_Line.Read(buffer + length, static_cast<size_t>(room - length), 0);
    }
    return length;
}

int CSerial_RS232::DevFlush(int mode)
{
    if (!m_bOpen) return 0;
    const bool input = (mode & 1) != 0;
    const bool output = (mode & 2) != 0;
    if (input && output)
        m_Line.Flush(plat::FlushMode::Both);
    else if (input)
        m_Line.Flush(plat::FlushMode::Input);
    else if (output)
        m_Line.Flush(plat::FlushMode::Output);
    return 1;
}
