// The board library over termios lines: one SerialLine per open port, found through a table
// of 255 entries. Calls on different ports do not wait for each other; the table lock is held
// only to find, add or take out an entry, never while a line blocks or a callback runs.
#include "platform/pcomm/PComm.h"

#include "platform/Process.h"
#include "platform/SerialLine.h"
#include "platform/SerialPortResolver.h"

#include <cerrno>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>

namespace {

constexpr int kMaxPort = 255;

constexpr uint32_t kBauds[] = {50,    75,    110,    134,    150,    300,   600,
                               1200,  1800,  2400,   4800,   7200,   9600,  19200,
                               38400, 57600, 115200, 230400, 460800, 921600};

struct ParityCode {
    int code;
    plat::Parity parity;
};
constexpr ParityCode kParities[] = {{SIO_PARITY_NONE, plat::Parity::None},
                                    {SIO_PARITY_ODD, plat::Parity::Odd},
                                    {SIO_PARITY_EVEN, plat::Parity::Even},
                                    {SIO_PARITY_MARK, plat::Parity::Mark},
                                    {SIO_PARITY_SPACE, plat::Parity::Space}};

struct PortTable {
    std::mutex lock;
    std::shared_ptr<plat::SerialLine> ports[kMaxPort + 1];
};

PortTable &Table()
{
    // Never destroyed: a callback thread may still call in while the process exits.
    static auto *table = new PortTable;
    return *table;
}

bool InRange(int port)
{
    return port >= 1 && port <= kMaxPort;
}

std::shared_ptr<plat::SerialLine> Find(int port)
{
    if (!InRange(port)) return nullptr;
    PortTable &t = Table();
    std::lock_guard<std::mutex> lk(t.lock);
    return t.ports[port];
}

// The result for a call on a port that is not open.
int Missing(int port)
{
    return InRange(port) ? SIO_NOTOPEN : SIO_BADPORT;
}

// The result of a line call that failed: a refused setting is a bad parameter.
int LineFailure()
{
    return plat::GetLastError() == EINVAL ? SIO_BADPARM : SIO_IOERROR;
}

bool Decode(int baud, int mode, plat::SerialSettings *s)
{
    if (baud < 0 || baud >= static_cast<int>(std::size(kBauds)) || (mode & ~0x3F) != 0)
        return false;
    s->baud = kBauds[baud];
    s->dataBits = 5 + (mode & 0x03);
    // Bit 0x02 belongs to the data-bit code: the one-and-a-half stop-bit code shares it and
    // cannot be told apart, so only 0x04 (two stop bits) selects more than one.
    s->stopBits = (mode & SIO_STOP_2) ? plat::StopBits::Two : plat::StopBits::One;
    for (const auto &p : kParities) {
        if ((mode & 0x38) == p.code) {
            s->parity = p.parity;
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" {

int sio_open(int port)
{
    if (!InRange(port)) return SIO_BADPORT;
    // Resolved outside the table lock: the settings lookup takes locks of its own.
    std::string path = plat::ResolveSerialPort(plat::SerialPortKind::SIO, port);
    if (path.empty()) return SIO_BADPORT;
    PortTable &t = Table();
    std::lock_guard<std::mutex> lk(t.lock);
    if (t.ports[port]) return SIO_ALREADYOPEN;
    auto p = std::make_shared<plat::SerialLine>();
    if (!p->Open(path)) return SIO_OPENFAIL; // opening does not block: O_NONBLOCK
    t.ports[port] = std::move(p);
    return SIO_OK;
}

int sio_close(int port)
{
    std::shared_ptr<plat::SerialLine> p;
    if (InRange(port)) {
        PortTable &t = Table();
        std::lock_guard<std::mutex> lk(t.lock);
        p = std::move(t.ports[port]);
    }
    if (!p) return Missing(port);
    // Stops the callback thread with a bound (from inside the callback it only asks); a
    // callback that calls in meanwhile finds the port closed.
    p->Close();
    return SIO_OK;
}

int sio_ioctl(int port, int baud, int mode)
{
    auto p = Find(port);
    if (!p) return Missing(port);
    plat::SerialSettings s;
    if (!Decode(baud, mode, &s)) return SIO_BADPARM;
    return p->Apply(s) ? SIO_OK : LineFailure();
}

int sio_cnt_irq(int port, SioCntIrqCallback callback, int count)
{
    auto p = Find(port);
    if (!p) return Missing(port);
    if (!callback) {
        p->StopReceiver();
        return SIO_OK;
    }
    if (count < 1) return SIO_BADPARM;
    bool started =
        p->StartReadyNotifier(static_cast<size_t>(count), [callback, port] { callback(port); });
    return started ? SIO_OK : LineFailure();
}

int sio_flush(int port, int func)
{
    auto p = Find(port);
    if (!p) return Missing(port);
    static constexpr plat::FlushMode kModes[] = {plat::FlushMode::Input, plat::FlushMode::Output,
                                                 plat::FlushMode::Both};
    if (func < 0 || func > SIO_FLUSH_BOTH) return SIO_BADPARM;
    return p->Flush(kModes[func]) ? SIO_OK : LineFailure();
}

int sio_write(int port, const char *buf, int len)
{
    auto p = Find(port);
    if (!p) return Missing(port);
    if (len < 0 || (!buf && len > 0)) return SIO_BADPARM;
    const size_t n = static_cast<size_t>(len);
    size_t written = p->Write(buf, n, p->WriteBoundMs(n));
    // A line that would not take the bytes in time gives a short count; one that failed
    // before taking any gives an error.
    if (written == 0 && n > 0 && plat::GetLastError() != ETIMEDOUT) return SIO_IOERROR;
    return static_cast<int>(written);
}

int sio_putch(int port, int ch)
{
    auto p = Find(port);
    if (!p) return Missing(port);
    const char c = static_cast<char>(ch);
    return p->Write(&c, 1, p->WriteBoundMs(1)) == 1 ? 1 : SIO_IOERROR;
}

int sio_read(int port, char *buf, int len)
{
    auto p = Find(port);
    if (!p) return Missing(port);
    if (len < 0 || (!buf && len > 0)) return SIO_BADPARM;
    int n = p->Read(buf, static_cast<size_t>(len), 0);
    return n < 0 ? SIO_IOERROR : n;
}

int sio_break(int port, int ms)
{
    auto p = Find(port);
    if (!p) return Missing(port);
    if (ms < 0) return SIO_BADPARM;
    return p->Break(static_cast<uint32_t>(ms)) ? SIO_OK : SIO_IOERROR;
}

} // extern "C"
