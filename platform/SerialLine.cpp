#include "platform/SerialLine.h"

#include "platform/Process.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace plat {

namespace {

struct BaudCode {
    uint32_t baud;
    speed_t code;
};
constexpr BaudCode kBauds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600},
};

constexpr tcflag_t kFormatFlags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

// Timed waits on a descriptor poll in slices: the deadline is measured on the time source,
// which a test may be holding still.
constexpr uint32_t kPollSliceMs = 50;

bool Fail(int err)
{
    SetLastError(static_cast<uint32_t>(err));
    return false;
}

int FailCount(int err)
{
    SetLastError(static_cast<uint32_t>(err));
    return -1;
}

bool SpeedOf(const SerialSettings &s, speed_t *speed)
{
    if (s.dataBits < 5 || s.dataBits > 8) return false;
    if (static_cast<unsigned>(s.parity) > static_cast<unsigned>(Parity::Space)) return false;
    if (static_cast<unsigned>(s.stopBits) > static_cast<unsigned>(StopBits::Two)) return false;
    for (const auto &b : kBauds) {
        if (b.baud == s.baud) {
            *speed = b.code;
            return true;
        }
    }
    return false;
}

// Bits one character takes on the line.
uint32_t CharacterBits(const SerialSettings &s)
{
    return 1 + static_cast<uint32_t>(s.dataBits) + (s.parity != Parity::None ? 1 : 0) +
           (s.stopBits == StopBits::One ? 1 : 2);
}

// Microseconds that `chars` characters take on the line.
uint64_t LineTimeMicros(const SerialSettings &s, uint64_t chars)
{
    return chars * CharacterBits(s) * 1000000ull / s.baud;
}

// Quiet time that ends a receive chunk: four character times, at least 2 ms so that bytes
// written together by the far end are not torn apart by scheduling.
int GatherWindowMs(const SerialSettings &s)
{
    return static_cast<int>(std::max<uint64_t>(2, (LineTimeMicros(s, 4) + 999) / 1000));
}

void MakeRaw(termios &t)
{
    // Input parity checking stays off: a byte with a parity error passes as received rather
    // than being replaced or dropped.
    t.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~CRTSCTS;
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

void SetFormat(termios &t, const SerialSettings &s, speed_t speed)
{
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag &= ~kFormatFlags;
    t.c_cflag |= kSizes[s.dataBits - 5];
    switch (s.parity) {
    case Parity::None:
        break;
    case Parity::Odd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case Parity::Even:
        t.c_cflag |= PARENB;
        break;
    case Parity::Mark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case Parity::Space:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    }
    if (s.stopBits != StopBits::One) t.c_cflag |= CSTOPB;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
}

// Sets the line format, and raw mode on open. Drivers adjust what they cannot do (a
// pseudo-terminal keeps 8 bits without parity) and the set still succeeds.
bool Configure(int fd, const SerialSettings &s, speed_t speed, bool makeRaw)
{
    termios t;
    if (tcgetattr(fd, &t) != 0) return Fail(errno);
    if (makeRaw) MakeRaw(t);
    SetFormat(t, s, speed);
    if (tcsetattr(fd, TCSANOW, &t) == 0) return true;
    const int err = errno;
    // The C library reads the line back after setting it and reports EINVAL when the driver
    // dropped the parity enable or the data size, as a pseudo-terminal does (whether it says
    // so depends on the line's former state, so a reopen would fail where the first open
    // passed). The line took the rest of the settings: that is success here.
    termios now;
    constexpr tcflag_t kDropped = PARENB | CSIZE;
    if (err == EINVAL && tcgetattr(fd, &now) == 0 && now.c_iflag == t.c_iflag &&
        now.c_oflag == t.c_oflag && now.c_lflag == t.c_lflag &&
        (now.c_cflag & ~kDropped) == (t.c_cflag & ~kDropped) && cfgetospeed(&now) == speed)
        return true;
    return Fail(err);
}

// Waits for `events` on `fd` for one slice, unless `boundMs` since `start` have passed.
bool WaitSlice(int fd, short events, uint32_t start, uint32_t boundMs)
{
    uint32_t left = boundMs - std::min(boundMs, TickElapsed(start));
    if (left == 0) return false;
    pollfd p{fd, events, 0};
    poll(&p, 1, static_cast<int>(std::min<uint32_t>(left, kPollSliceMs)));
    return true;
}

bool SetModemLine(int fd, int line, bool on)
{
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
    // A pseudo-terminal has no modem lines.
    if (errno == ENOTTY || errno == EINVAL) return true;
    return Fail(errno);
}

} // namespace

// The open descriptor, jointly owned by the line object, calls in progress and the receive
// thread, so that a given-up thread never touches a closed or reused descriptor.
struct SerialLine::Handle {
    Handle(int f, int gather) : fd(f), gatherMs(gather) {}
    ~Handle()
    {
        // The exclusive flag belongs to the terminal, not to this descriptor: clear it, or a
        // terminal held open elsewhere would refuse the next open.
        ioctl(fd, TIOCNXCL);
        close(fd); // also releases the flock
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    const int fd;
    std::atomic<int> gatherMs;
    // Bytes taken by Read, so the ready notifier can tell a handler that read from one that
    // left the bytes where they were.
    std::atomic<uint64_t> bytesRead{0};
    // Bytes the receive thread has taken off the line, counted with each read under the lock,
    // so that a count of what waits taken under it too misses and repeats nothing.
    std::mutex takeLock;
    uint64_t taken = 0;
};

// State of one receive thread; the thread holds it, so it outlives a stop that gives up.
struct SerialLine::Receiver {
    enum class Wake { Stop, Quiet, Readable, HungUp };

    Receiver() = default;
    Receiver(const Receiver &) = delete;
    Receiver &operator=(const Receiver &) = delete;
    ~Receiver()
    {
        if (wakeFd >= 0) close(wakeFd);
    }

    // Closing the line's descriptor would not wake poll; the event descriptor does.
    void RequestStop()
    {
        stop.store(true);
        uint64_t one = 1;
        if (write(wakeFd, &one, sizeof one) < 0) {
            // The counter cannot overflow from single increments; nothing to do.
        }
    }

    Wake Poll(int ms, bool watchLine = true)
    {
        pollfd p[2] = {{wakeFd, POLLIN, 0}, {line->fd, POLLIN, 0}};
        int r;
        do {
            r = poll(p, watchLine ? 2 : 1, ms);
        } while (r < 0 && errno == EINTR && !stop.load());
        if (stop.load()) return Wake::Stop;
        if (r < 0) return Wake::HungUp;
        if (r == 0) return Wake::Quiet;
        // Bytes first: a hang-up shows when they have been read.
        if (p[1].revents & POLLIN) return Wake::Readable;
        if (p[1].revents & (POLLHUP | POLLERR | POLLNVAL)) return Wake::HungUp;
        return Wake::Quiet;
    }

    // Bytes read (0 when none wait), or -1 when the far end has hung up.
    ssize_t ReadSome(uint8_t *buf, size_t size, bool hangUpSeen)
    {
        ssize_t n;
        {
            std::lock_guard<std::mutex> lk(line->takeLock);
            n = read(line->fd, buf, size);
            if (n > 0) line->taken += static_cast<uint64_t>(n);
        }
        if (n > 0) return n;
        if (n == 0) return -1; // end of file: a pseudo-terminal's master has closed
        if (errno == EINTR) return 0;
        if (errno == EAGAIN) return hangUpSeen ? -1 : 0;
        return -1;
    }

    // Each loop returns true when the far end hung up, false when asked to stop.
    bool RunChunks()
    {
        uint8_t buf[kMaxChunk];
        for (;;) {
            Wake w = Poll(-1);
            if (w == Wake::Stop) return false;
            size_t have = 0;
            bool hungUp = false;
            while (have < kMaxChunk) {
                ssize_t n = ReadSome(buf + have, kMaxChunk - have, w == Wake::HungUp);
                if (n < 0) {
                    hungUp = true;
                    break;
                }
                have += static_cast<size_t>(n);
                if (have == 0) break;
                w = Poll(line->gatherMs.load());
                if (w == Wake::Stop) return false;
                if (w == Wake::Quiet) break;
            }
            if (have > 0 && !stop.load()) onData(buf, have);
            if (hungUp) return true;
        }
    }

    bool RunReady()
    {
        for (;;) {
            Wake w = Poll(-1);
            if (w == Wake::Stop) return false;
            int waiting = 0;
            if (ioctl(line->fd, FIONREAD, &waiting) != 0) return true;
            if (waiting == 0 && w == Wake::HungUp) return true;
            if (waiting > 0 && static_cast<size_t>(waiting) >= count) {
                if (stop.load()) return false;
                const uint64_t readBefore = line->bytesRead.load();
                onReady();
                // A handler that read may have left bytes that arrived meanwhile: they are
                // news, so look again at once rather than after a gather window.
                if (line->bytesRead.load() != readBefore) continue;
                int after = 0;
                if (ioctl(line->fd, FIONREAD, &after) != 0) return true;
                if (after < waiting) continue;
            }
            // Too few bytes, or the handler left them: the line stays readable, so look again
            // after a gather window instead of spinning.
            if (Poll(line->gatherMs.load(), false) == Wake::Stop) return false;
        }
    }

    uint32_t Run()
    {
        bool hungUp = onData ? RunChunks() : RunReady();
        // The thread ends here, so the owner hears of a hang-up once and nothing spins on it.
        if (hungUp && onHangUp && !stop.load()) onHangUp();
        return 0;
    }

    std::shared_ptr<Handle> line;
    int wakeFd = -1;
    std::atomic<bool> stop{false};
    size_t count = 1;
    DataHandler onData;
    ReadyHandler onReady;
    HangUpHandler onHangUp;
};

SerialLine::SerialLine() = default;

SerialLine::~SerialLine()
{
    Close();
}

bool SerialLine::Open(const std::string &path, const SerialSettings &settings)
{
    speed_t speed;
    if (!SpeedOf(settings, &speed)) return Fail(EINVAL);
    std::lock_guard<std::mutex> lk(m_);
    if (handle_) return Fail(EBUSY);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(errno);
    // flock guards against every other opener, TIOCEXCL also against those that do not
    // flock (it does not hold against a privileged process).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        int err = errno == EWOULDBLOCK ? EBUSY : errno;
        close(fd);
        return Fail(err);
    }
    auto handle = std::make_shared<Handle>(fd, GatherWindowMs(settings));
    if (!Configure(fd, settings, speed, true)) return false;
    handle_ = std::move(handle);
    path_ = path;
    settings_ = settings;
    return true;
}

void SerialLine::Close()
{
    StopReceiver();
    std::lock_guard<std::mutex> lk(m_);
    handle_.reset();
    path_.clear();
}

bool SerialLine::IsOpen() const
{
    return Current() != nullptr;
}

std::string SerialLine::Path() const
{
    std::lock_guard<std::mutex> lk(m_);
    return path_;
}

bool SerialLine::Apply(const SerialSettings &settings)
{
    speed_t speed;
    if (!SpeedOf(settings, &speed)) return Fail(EINVAL);
    std::lock_guard<std::mutex> lk(m_);
    if (!handle_) return Fail(EBADF);
    if (!Configure(handle_->fd, settings, speed, false)) return false;
    settings_ = settings;
    handle_->gatherMs.store(GatherWindowMs(settings));
    return true;
}

SerialSettings SerialLine::Settings() const
{
    std::lock_guard<std::mutex> lk(m_);
    return settings_;
}

bool SerialLine::Flush(FlushMode mode)
{
    auto h = Current();
    if (!h) return Fail(EBADF);
    // A flush of the output side lets what was written go out: discarding it would cut off a
    // frame already handed to the line (a request written just before the next one's flush).
    // Only a line that cannot take it within its write bound has the rest discarded.
    if (mode != FlushMode::Input && !DrainOutput(h->fd)) {
        if (tcflush(h->fd, TCOFLUSH) != 0) return Fail(errno);
    }
    if (mode == FlushMode::Output) return true;
    return tcflush(h->fd, TCIFLUSH) == 0 || Fail(errno);
}

bool SerialLine::DrainOutput(int fd) const
{
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
    const uint32_t start = GetTickCount();
    const uint32_t bound = WriteBoundMs(static_cast<size_t>(queued));
    while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (TickElapsed(start) >= bound) return false;
        poll(nullptr, 0, 1);
    }
    return true;
}

bool SerialLine::Break(uint32_t ms)
{
    auto h = Current();
    if (!h) return Fail(EBADF);
    if (ioctl(h->fd, TIOCSBRK) != 0) return Fail(errno);
    Sleep(ms);
    return ioctl(h->fd, TIOCCBRK) == 0 || Fail(errno);
}

bool SerialLine::SetDtr(bool on)
{
    auto h = Current();
    return h ? SetModemLine(h->fd, TIOCM_DTR, on) : Fail(EBADF);
}

bool SerialLine::SetRts(bool on)
{
    auto h = Current();
    return h ? SetModemLine(h->fd, TIOCM_RTS, on) : Fail(EBADF);
}

size_t SerialLine::Write(const void *data, size_t length, uint32_t boundMs)
{
    auto h = Current();
    if (!h) {
        Fail(EBADF);
        return 0;
    }
    const auto *p = static_cast<const uint8_t *>(data);
    const uint32_t start = GetTickCount();
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::write(h->fd, p + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            Fail(errno);
            break;
        }
        if (!WaitSlice(h->fd, POLLOUT, start, boundMs)) {
            Fail(ETIMEDOUT);
            break;
        }
    }
    return done;
}

uint32_t SerialLine::WriteBoundMs(size_t length) const
{
    uint64_t ms = 1000 + 2 * LineTimeMicros(Settings(), length) / 1000;
    return static_cast<uint32_t>(std::min<uint64_t>(ms, INFINITE - 1));
}

int SerialLine::Read(void *buffer, size_t size, uint32_t timeoutMs)
{
    auto h = Current();
    if (!h) return FailCount(EBADF);
    if (size == 0) return 0;
    size = std::min<size_t>(size, INT_MAX);
    const uint32_t start = GetTickCount();
    for (;;) {
        ssize_t n = ::read(h->fd, buffer, size);
        if (n > 0) {
            h->bytesRead.fetch_add(static_cast<uint64_t>(n));
            return static_cast<int>(n);
        }
        if (n == 0) return FailCount(EIO); // end of file: the far end hung up
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return FailCount(errno);
        if (!WaitSlice(h->fd, POLLIN, start, timeoutMs)) return 0;
    }
}

int SerialLine::BytesWaiting() const
{
    auto h = Current();
    if (!h) return FailCount(EBADF);
    int n = 0;
    if (ioctl(h->fd, FIONREAD, &n) != 0) return FailCount(errno);
    return n;
}

uint64_t SerialLine::ReceivedCount() const
{
    auto h = Current();
    if (!h) return 0;
    std::lock_guard<std::mutex> lk(h->takeLock);
    // Bytes still in the terminal's flip buffer have been received too: the poll hands them
    // to the line discipline, where the count sees them.
    pollfd p{h->fd, POLLIN, 0};
    poll(&p, 1, 0);
    int waiting = 0;
    if (ioctl(h->fd, FIONREAD, &waiting) != 0 || waiting < 0) waiting = 0;
    return h->taken + static_cast<uint64_t>(waiting);
}

bool SerialLine::StartReceiver(DataHandler onData, HangUpHandler onHangUp)
{
    if (!onData) return Fail(EINVAL);
    auto r = std::make_shared<Receiver>();
    r->onData = std::move(onData);
    r->onHangUp = std::move(onHangUp);
    return Start(std::move(r));
}

bool SerialLine::StartReadyNotifier(size_t count, ReadyHandler onReady, HangUpHandler onHangUp)
{
    if (!onReady || count == 0) return Fail(EINVAL);
    auto r = std::make_shared<Receiver>();
    r->count = count;
    r->onReady = std::move(onReady);
    r->onHangUp = std::move(onHangUp);
    return Start(std::move(r));
}

bool SerialLine::Start(std::shared_ptr<Receiver> r)
{
    StopReceiver();
    std::lock_guard<std::mutex> lk(m_);
    if (!handle_) return Fail(EBADF);
    if (receiver_) return Fail(EBUSY); // another caller started one meanwhile
    r->line = handle_;
    r->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (r->wakeFd < 0) return Fail(errno);
    Thread t = Thread::Start([r] { return r->Run(); });
    if (!t.Valid()) return Fail(EAGAIN);
    receiver_ = std::move(r);
    receiverThread_ = std::move(t);
    return true;
}

bool SerialLine::StopReceiver(uint32_t boundMs)
{
    std::shared_ptr<Receiver> r;
    Thread t;
    {
        std::lock_guard<std::mutex> lk(m_);
        r = std::move(receiver_);
        t = std::move(receiverThread_);
        receiver_.reset();
        receiverThread_.Close();
    }
    if (!r) return true;
    r->RequestStop();
    // From inside a handler the thread is not waited for; it ends when the handler returns,
    // as it sees the stop.
    return t.StopWithin(boundMs, 0);
}

std::shared_ptr<SerialLine::Handle> SerialLine::Current() const
{
    std::lock_guard<std::mutex> lk(m_);
    return handle_;
}

} // namespace plat
