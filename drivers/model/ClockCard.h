// The clock card, read through its kernel driver: the driver's entry points as an interface of
// our own (open the driver device for reading or writing, a device I/O control call, close),
// the card's register access on top of them, and the filter that takes a stable reading of the
// card's timecode. The default driver is the device file of the driver, "/dev/CctvClk"; tests
// put a simulated card in its place.
#pragma once

#include "KestLib20/timecode_t.h"
#include "drivers/KsOvra20Api.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class KSOVRA20_API IClockCardDriver {
public:
    static constexpr uint32_t kReadCode = 0x9C406400;  // in: register (4 bytes); out: 1 byte
    static constexpr uint32_t kWriteCode = 0x9C40A440; // in: register (4 bytes), value (1 byte)

    virtual ~IClockCardDriver() = default;
    // Opens the driver device for reading (shared read) or writing (shared write): a handle,
    // -1 when it fails.
    virtual int Open(bool write) = 0;
    // Sends `in` to `handle` with `code` and receives `outSize` bytes into `out`: 1 on success.
    virtual int IoControl(int handle, uint32_t code, const void *in, size_t inSize, void *out,
                          size_t outSize) = 0;
    virtual void Close(int handle) = 0;
};

// The driver in use; an empty pointer puts the default back. Returns the one it replaces.
KSOVRA20_API std::shared_ptr<IClockCardDriver>
glReplaceClockCardDriver(std::shared_ptr<IClockCardDriver> driver);
KSOVRA20_API std::shared_ptr<IClockCardDriver> glGetClockCardDriver();

// The card opened through the driver for one reading; the handles close with the object.
class KSOVRA20_API CClockCard {
public:
    explicit CClockCard(std::shared_ptr<IClockCardDriver> driver);
    ~CClockCard();
    CClockCard(const CClockCard &) = delete;
    CClockCard &operator=(const CClockCard &) = delete;

    // Opens both handles and probes the card; false (logged on "LOG_DEV") without the driver
    // or the card.
    bool Open();
    // A register's value, -1 when the call fails.
    int Read(uint32_t reg);
    bool Write(uint32_t reg, uint8_t value);
    // Latches the time and reads frames, seconds, minutes and hours (BCD): false when the
    // value is not a time of day.
    bool ReadTimecode(timecode_t &tc);

private:
    void CloseHandles();

    std::shared_ptr<IClockCardDriver> m_pDriver;
    int m_hRead = -1;
    int m_hWrite = -1;
};

// One reading of level 0.
using TimecodeReader = std::function<bool(timecode_t &tc)>;

// A reading at `level`: level 0 is one reading; a higher level gathers 12 (from level 0),
// 10 (from level 1) or 8 readings of the level below within 100 tries 2 ms apart, brings
// them to one moment, and takes the first of the upper half that lies within 10 frames of its
// partner in the lower half. False when too few readings come or none agree.
KSOVRA20_API bool FilteredTimecode(int level, const TimecodeReader &read, timecode_t &result);
