#include "devext/device/CSerial_M422.h"

#include "devext/device/PCommLibrary.h"
#include "devext/device/PortDelivery.h"
#include "platform/TimeSource.h"

#include <cstdint>
#include <iterator>
#include <mutex>

IMPLEMENT_KEST_CLASS(CSerial_M422, CSerialDevA)

// One open board port, jointly owned by the port object, the port table and the callback.
struct BoardLine {
    BoardLine(CSerialDevA *port, int number) : delivery(port, number) {}

    CDataLock calls; // one library call on this port at a time; never held while delivering
    PortDelivery delivery;
    uint64_t taken = 0; // bytes the receive callback has read, under `calls`
};

namespace {

constexpr int kChunk = 1024;
constexpr uint16_t kBreakBaud = 9600;
constexpr char kBreakByte = static_cast<char>(0xF0);
constexpr uint32_t kBreakHoldMs = 50;

// Library codes: baud rate code = index in kBauds; data bits 5 to 8; parity 0 to 4; stop bits
// 0 to 2. The library's one-and-a-half stop-bit code shares its bit with the data-bit code
// (it would make 5 data bits 7): one and a half is set as two, which the UART sends as one
// and a half with 5 data bits.
constexpr uint32_t kBauds[] = {50,    75,    110,    134,    150,    300,   600,
                               1200,  1800,  2400,   4800,   7200,   9600,  19200,
                               38400, 57600, 115200, 230400, 460800, 921600};
constexpr int kDataBits[] = {SIO_BITS_5, SIO_BITS_6, SIO_BITS_7, SIO_BITS_8};
constexpr int kParities[] = {SIO_PARITY_NONE, SIO_PARITY_ODD, SIO_PARITY_EVEN, SIO_PARITY_MARK,
                             SIO_PARITY_SPACE};
constexpr int kStopBits[] = {SIO_STOP_1, SIO_STOP_2, SIO_STOP_2};

struct LineCodes {
    int baud;
    int mode;
};

bool CodesOf(const COM_SETTING &setting, LineCodes *codes)
{
    int baud = -1;
    for (size_t i = 0; i < std::size(kBauds); ++i)
        if (kBauds[i] == setting.nBaud) baud = static_cast<int>(i);
    const unsigned dataBits = setting.nDataBits - 5u;
    if (baud < 0 || dataBits >= std::size(kDataBits) || setting.nParity >= std::size(kParities) ||
        setting.nStopBits >= std::size(kStopBits))
        return false;
    codes->baud = baud;
    codes->mode = kDataBits[dataBits] | kStopBits[setting.nStopBits] | kParities[setting.nParity];
    return true;
}

// The process-wide table of open board ports. Never destroyed: the library's callback
// thread may still look a port up while the process exits.
struct PortTable {
    std::mutex lock; // held only to look up, add or remove an entry
    std::shared_ptr<BoardLine> lines[CSerial_M422::kPortCount];
};

PortTable &Table()
{
    static auto *table = new PortTable;
    return *table;
}

std::shared_ptr<BoardLine> FindLine(int port)
{
    if (port <= 0 || port >= CSerial_M422::kPortCount) return nullptr;
    PortTable &table = Table();
    std::lock_guard<std::mutex> lk(table.lock);
    return table.lines[port];
}

// Claims the table entry of `port`; false when another line holds it.
bool Claim(int port, const std::shared_ptr<BoardLine> &line)
{
    PortTable &table = Table();
    std::lock_guard<std::mutex> lk(table.lock);
    if (table.lines[port]) return false;
    table.lines[port] = line;
    return true;
}

void Unclaim(int port, const std::shared_ptr<BoardLine> &line)
{
    PortTable &table = Table();
    std::lock_guard<std::mutex> lk(table.lock);
    if (table.lines[port] == line) table.lines[port].reset();
}

// The library's receive callback, on its thread, whenever at least one byte waits.
void OnBoardData(int port)
{
    const PCommLibrary &sio = PCommLibrary::Get();
    std::shared_ptr<BoardLine> line = FindLine(port);
    if (!line) return;
    char bytes[kChunk];
    int count;
    {
        std::lock_guard<CDataLock> lk(line->calls);
        count = sio.read(port, bytes, kChunk);
        if (count > 0) line->taken += static_cast<uint64_t>(count);
    }
    if (count > 0) line->delivery.Deliver(bytes, static_cast<size_t>(count));
}

} // namespace

CSerial_M422::~CSerial_M422()
{
    Retire();
    // Even a port the library would not close delivers nothing to a destroyed object.
    if (m_pLine) Forget();
}

int CSerial_M422::DevOpen()
{
    if (m_bOpen) return 1;
    const PCommLibrary &sio = PCommLibrary::Get();
    const int port = m_Setting.nPort;
    LineCodes codes;
    if (port <= 0 || port >= kPortCount || !sio.open || !sio.ioctl || !CodesOf(m_Setting, &codes))
        return 0;
    auto line = std::make_shared<BoardLine>(this, port);
    if (!Claim(port, line)) return 0;
    if (sio.open(port) != SIO_OK) {
        Unclaim(port, line);
        return 0;
    }
    if (sio.ioctl(port, codes.baud, codes.mode) != SIO_OK) {
        if (sio.close) sio.close(port);
        Unclaim(port, line);
        return 0;
    }
    m_LineSetting = m_Setting;
    m_pLine = std::move(line);
    if (sio.cnt_irq) sio.cnt_irq(port, OnBoardData, 1);
    SetOpened();
    return 1;
}

int CSerial_M422::DevClose()
{
    if (!m_bOpen) return 1;
    const PCommLibrary &sio = PCommLibrary::Get();
    // Not under the port's call lock: the close waits (bounded) for the callback thread,
    // which may be waiting for that lock.
    if (sio.close && sio.close(m_Setting.nPort) != SIO_OK) return 0;
    Forget();
    SetClosed();
    return 1;
}

void CSerial_M422::Forget()
{
    m_pLine->delivery.Cut();
    Unclaim(m_Setting.nPort, m_pLine);
    m_pLine.reset();
}

int CSerial_M422::DevWrite(const char *data, int length)
{
    const PCommLibrary &sio = PCommLibrary::Get();
    if (!m_bOpen || !sio.write || length < 0 || (!data && length > 0)) return 0;
    HalfTime();
    int written;
    {
        std::lock_guard<CDataLock> lk(m_pLine->calls);
        written = sio.write(m_Setting.nPort, data, length);
    }
    // A line that failed (its far end hung up) closes the port: the port reports itself not
    // open, and its protocol opens a new one on its next open.
    if (written < 0) DevClose();
    return written == length ? 1 : 0;
}

int CSerial_M422::DevRead(char *buffer, int &length)
{
    const PCommLibrary &sio = PCommLibrary::Get();
    if (!m_bOpen || !sio.read) return 0;
    const int room = length;
    std::lock_guard<CDataLock> lk(m_pLine->calls);
    length = sio.read(m_Setting.nPort, buffer, room);
    if (length >= 1 && length < room) buffer[length] = '\0';
    return length > 0 ? 1 : 0;
}

int CSerial_M422::DevFlush(int)
{
    const PCommLibrary &sio = PCommLibrary::Get();
    if (!m_bOpen) return 0;
    if (!sio.flush) return 1;
    std::lock_guard<CDataLock> lk(m_pLine->calls);
    sio.flush(m_Setting.nPort, SIO_FLUSH_BOTH);
    return 1;
}

uint64_t CSerial_M422::ReceivedCount()
{
    if (!m_bOpen) return 0;
    std::lock_guard<CDataLock> lk(m_pLine->calls);
    return m_pLine->taken;
}

int CSerial_M422::DevBreak(int time)
{
    const PCommLibrary &sio = PCommLibrary::Get();
    if (!m_bOpen) return 0;
    if (!sio.brk) return 1;
    std::lock_guard<CDataLock> lk(m_pLine->calls);
    return sio.brk(m_Setting.nPort, time) >= 0 ? 1 : 0;
}

int CSerial_M422::DevBreakWH()
{
    const PCommLibrary &sio = PCommLibrary::Get();
    if (!m_bOpen) return 0;
    std::lock_guard<CDataLock> lk(m_pLine->calls);
    const COM_SETTING saved = m_LineSetting;
    COM_SETTING slow = saved;
    slow.nBaud = kBreakBaud;
    slow.nParity = COM_PARITY_NONE;
    ApplyLine(slow);
    if (sio.write) sio.write(m_Setting.nPort, &kBreakByte, 1);
    plat::Sleep(kBreakHoldMs);
    ApplyLine(saved);
    return 1;
}

bool CSerial_M422::ApplyLine(const COM_SETTING &setting)
{
    const PCommLibrary &sio = PCommLibrary::Get();
    LineCodes codes;
    if (!CodesOf(setting, &codes) || !sio.ioctl) return false;
    std::lock_guard<CDataLock> lk(m_pLine->calls);
    if (sio.ioctl(m_Setting.nPort, codes.baud, codes.mode) != SIO_OK) return false;
    m_LineSetting.nBaud = setting.nBaud;
    m_LineSetting.nDataBits = setting.nDataBits;
    m_LineSetting.nParity = setting.nParity;
    m_LineSetting.nStopBits = setting.nStopBits;
    return true;
}
