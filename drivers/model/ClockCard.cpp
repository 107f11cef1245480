#include "drivers/model/ClockCard.h"

#include "Kest20/KestLog.h"
#include "drivers/model/ClockFrames.h"
#include "platform/TimeSource.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace {

constexpr const char *kDevicePath = "/dev/CctvClk";
constexpr int kProbeReads = 50;
constexpr int kMaxTries = 100;
constexpr uint32_t kTryPauseMs = 2;
constexpr int32_t kAgreeFrames = 10;

// The driver's device file: the input goes at the start of one buffer of the call, the
// driver puts its output after it.
class CDeviceFileDriver : public IClockCardDriver {
public:
    int Open(bool write) override { return ::open(kDevicePath, write ? O_WRONLY : O_RDONLY); }
    int IoControl(int handle, uint32_t code, const void *in, size_t inSize, void *out,
                  size_t outSize) override
    {
        std::vector<uint8_t> buffer(inSize + outSize);
        if (inSize) std::memcpy(buffer.data(), in, inSize);
        if (::ioctl(handle, static_cast<unsigned long>(code), buffer.data()) < 0) return 0;
        if (outSize) std::memcpy(out, buffer.data() + inSize, outSize);
        return 1;
    }
    void Close(int handle) override { ::close(handle); }
};

std::mutex &DriverLock()
{
    static std::mutex lock;
    return lock;
}

std::shared_ptr<IClockCardDriver> &Driver()
{
    static std::shared_ptr<IClockCardDriver> driver = std::make_shared<CDeviceFileDriver>();
    return driver;
}

void PutU32(uint8_t *at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

int32_t FramesSince(uint32_t startTick)
{
    return static_cast<int32_t>(plat::TickElapsed(startTick) * 25 / 1000);
}

} // namespace

std::shared_ptr<IClockCardDriver> glReplaceClockCardDriver(std::shared_ptr<IClockCardDriver> driver)
{
    if (!driver) driver = std::make_shared<CDeviceFileDriver>();
    std::lock_guard<std::mutex> lk(DriverLock());
    return std::exchange(Driver(), std::move(driver));
}

std::shared_ptr<IClockCardDriver> glGetClockCardDriver()
{
    std::lock_guard<std::mutex> lk(DriverLock());
    return Driver();
}

CClockCard::CClockCard(std::shared_ptr<IClockCardDriver> driver) : m_pDriver(std::move(driver)) {}

CClockCard::~CClockCard()
{
    CloseHandles();
}

void CClockCard::CloseHandles()
{
    if (m_hRead >= 0) m_pDriver->Close(m_hRead);
    if (m_hWrite >= 0) m_pDriver->Close(m_hWrite);
    m_hRead = m_hWrite = -1;
}

bool CClockCard::Open()
{
    if (m_pDriver) {
        m_hRead = m_pDriver->Open(false);
        m_hWrite = m_pDriver->Open(true);
    }
    if (m_hRead < 0 || m_hWrite < 0) {
        CloseHandles();
        glReportLog("LOG_DEV", "DEV=CLOCK;CCTV(TJ) Clock Driver not installed", nullptr);
        return false;
    }
    // An absent card reads 0xFF everywhere.
    const auto answers = [this](uint32_t reg) {
        const int value = Read(reg);
        return value >= 0 && value != 0xFF;
    };
    bool present = false;
    for (uint32_t reg = 0; reg < 3; ++reg) present = answers(reg) || present;
    for (int i = 0; i < kProbeReads && !present; ++i)
        present = answers(static_cast<uint32_t>(i % 4));
    if (!present) {
        CloseHandles();
        glReportLog("LOG_DEV", "DEV=CLOCK;CCTV(TJ) Card not installed", nullptr);
        return false;
    }
    return true;
}

int CClockCard::Read(uint32_t reg)
{
    uint8_t in[4];
    PutU32(in, reg);
    uint8_t value = 0;
    if (m_hRead < 0 ||
        !m_pDriver->IoControl(m_hRead, IClockCardDriver::kReadCode, in, sizeof in, &value, 1))
        return -1;
    return value;
}

bool CClockCard::Write(uint32_t reg, uint8_t value)
{
    uint8_t in[5];
    PutU32(in, reg);
    in[4] = value;
    return m_hWrite >= 0 &&
           m_pDriver->IoControl(m_hWrite, IClockCardDriver::kWriteCode, in, sizeof in, nullptr, 0);
}

bool CClockCard::ReadTimecode(timecode_t &tc)
{
    if (!Write(0, 0xFF)) return false;
    const int frames = Read(0), seconds = Read(1), minutes = Read(2), hours = Read(3);
    if (frames < 0 || seconds < 0 || minutes < 0 || hours < 0) return false;
    const int f = clockframe::FromBcd(static_cast<uint8_t>(frames));
    const int s = clockframe::FromBcd(static_cast<uint8_t>(seconds));
    const int m = clockframe::FromBcd(static_cast<uint8_t>(minutes));
    const int h = clockframe::FromBcd(static_cast<uint8_t>(hours));
    // A frame count of 25 or more is no frame of a 25-frame second.
    if (f >= 25 || h > 24 || m >= 60 || s >= 60) return false;
    tc.SetAsDetail(h, m, s, f);
    return true;
}

bool FilteredTimecode(int level, const TimecodeReader &read, timecode_t &result)
{
    if (level <= 0) return read(result);
    const size_t needed = level == 1 ? 12 : level == 2 ? 10 : 8;
    std::vector<int32_t> values;
    const uint32_t start = plat::GetTickCount();
    for (int tries = 0; tries < kMaxTries && values.size() < needed; ++tries) {
        plat::Sleep(kTryPauseMs);
        timecode_t reading;
        if (FilteredTimecode(level - 1, read, reading))
            values.push_back(reading.nFrames - FramesSince(start));
    }
    if (values.size() < needed) return false;
    const int32_t elapsed = FramesSince(start);
    for (int32_t &value : values) value += elapsed;
    std::sort(values.begin(), values.end());
    const size_t half = needed / 2;
    for (size_t i = 0; i < half; ++i) {
        if (values[i + half] - values[i] < kAgreeFrames) {
            result = values[i + half];
            return true;
        }
    }
    return false;
}
