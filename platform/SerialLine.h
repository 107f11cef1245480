// One serial line by device path (termios): exclusive raw open, line settings, flush, break,
// modem lines, bounded writes and reads, and a receive thread owned by the line. Write, read
// and break times are measured on the time source; the receive thread's gathering follows the
// line's real character times.
#pragma once

#include "platform/PlatformApi.h"
#include "platform/Thread.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace plat {

enum class Parity { None, Odd, Even, Mark, Space };
// One and a half is set as two: the UART then sends 1.5 stop bits with 5 data bits, else two.
enum class StopBits { One, OneAndHalf, Two };
enum class FlushMode { Input, Output, Both };

struct SerialSettings {
    uint32_t baud = 9600; // one of the standard rates from 50 to 921600
    int dataBits = 8;     // 5 to 8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
};

class PLAT_API SerialLine {
public:
    // One chunk of received bytes, on the receive thread; the bytes live during the call.
    using DataHandler = std::function<void(const uint8_t *data, size_t length)>;
    // At least the asked number of bytes wait; the handler reads them with Read.
    using ReadyHandler = std::function<void()>;
    // The far end hung up; called once, after which the receive thread ends.
    using HangUpHandler = std::function<void()>;

    static constexpr size_t kMaxChunk = 1024;
    static constexpr uint32_t kStopBoundMs = 1000;

    SerialLine();
    ~SerialLine();
    SerialLine(const SerialLine &) = delete;
    SerialLine &operator=(const SerialLine &) = delete;

    // Opens `path` exclusively in raw mode with `settings`. Fails when this object is open,
    // when the settings are not valid, or when the line is open elsewhere (last error set).
    bool Open(const std::string &path, const SerialSettings &settings = {});
    // Stops the receive thread (bounded) and closes the line.
    void Close();
    bool IsOpen() const;
    std::string Path() const;

    // Applies new settings to the open line; on failure the line keeps its old ones.
    bool Apply(const SerialSettings &settings);
    SerialSettings Settings() const;

    // Input: discards what was received and not read. Output: waits (bounded by the write
    // bound) for what was written to go out. Both: the two, output first.
    bool Flush(FlushMode mode);
    // Holds the line in the break state for `ms` (measured on the time source).
    bool Break(uint32_t ms);
    // Modem lines; a line without them (a pseudo-terminal) takes the call as done.
    bool SetDtr(bool on);
    bool SetRts(bool on);

    // Writes all bytes unless the line has not taken them within `boundMs`. Returns how many
    // were written: `length` on success.
    size_t Write(const void *data, size_t length, uint32_t boundMs);
    // A write bound for `length` bytes: twice their time on the line, plus one second.
    uint32_t WriteBoundMs(size_t length) const;
    // Waits up to `timeoutMs` for bytes and reads those waiting, at most `size`. Returns the
    // count, 0 when none came, -1 when the line failed or the far end hung up. Not for use
    // beside a running StartReceiver thread, which takes the bytes itself.
    int Read(void *buffer, size_t size, uint32_t timeoutMs);
    // Bytes received and not read yet; -1 on failure.
    int BytesWaiting() const;
    // Every byte received since the open: those the receive thread has taken (handed to its
    // handler or on their way there) and those waiting to be taken. Bytes taken by Read do
    // not count (Read is not for use beside a receive thread). 0 when closed.
    uint64_t ReceivedCount() const;

    // Starts the receive thread (replacing one that runs): bytes are delivered as they
    // arrive, at most kMaxChunk per call; bytes that follow within a few character times
    // join the same chunk.
    bool StartReceiver(DataHandler onData, HangUpHandler onHangUp = nullptr);
    // Starts a receive thread that calls `onReady` whenever at least `count` bytes wait.
    bool StartReadyNotifier(size_t count, ReadyHandler onReady, HangUpHandler onHangUp = nullptr);
    // Asks the receive thread to end and waits up to `boundMs`; a thread that has not ended
    // is given up. Called on the receive thread itself it only asks. True when it has ended.
    // What the handlers touch must outlive a given-up thread.
    bool StopReceiver(uint32_t boundMs = kStopBoundMs);

private:
    struct Handle;
    struct Receiver;

    std::shared_ptr<Handle> Current() const;
    bool Start(std::shared_ptr<Receiver> receiver);
    // Waits until the output queue is empty; false when it did not empty within its bound.
    bool DrainOutput(int fd) const;

    mutable std::mutex m_; // guards the members below; never held while blocking
    std::string path_;
    SerialSettings settings_;
    std::shared_ptr<Handle> handle_;
    std::shared_ptr<Receiver> receiver_;
    Thread receiverThread_;
};

} // namespace plat
