#include "gpi/CGPICard_PinioTech.h"
#include "gpi/CardEventWait.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "platform/TimeSource.h"

#include <vector>

static_assert(sizeof(DRV_DEVLIST) == 56, "the driver's card list entry is 56 bytes");

namespace {

constexpr const char *kLogDev = "LOG_DEV";
constexpr uint16_t kInputEvent = 1;
constexpr uint32_t kEventWaitMs = 1000;
constexpr uint32_t kPollMs = 1000;
constexpr uint32_t kStopWaitMs = 2000;
constexpr int64_t kDebounce = 30000000; // 3 s in 100 ns units

uint16_t PortOf(uint16_t channel)
{
    return static_cast<uint16_t>(channel >> 3);
}

uint16_t BitOf(uint16_t channel)
{
    return static_cast<uint16_t>(channel & 7);
}

// The driver's card list, shared by every card object of the process.
class CardList {
public:
    // Loads the list when none is held: whether one is held now.
    bool Load()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (!m_entries.empty()) return true;
        int16_t count = 0;
        if (DRV_DeviceGetNumOfList(&count) != DRV_OK || count <= 0) {
            glReportLog(kLogDev, "DEV=GPI;GetDeviceNumber fail", "");
            return false;
        }
        std::vector<DRV_DEVLIST> entries(static_cast<size_t>(count));
        int16_t filled = 0;
        if (DRV_DeviceGetList(entries.data(), count, &filled) != DRV_OK) {
            // Nothing is kept, so the next open asks the driver again.
            glReportLog(kLogDev, "DEV=GPI;GetDeviceList fail", "");
            return false;
        }
        entries.resize(static_cast<size_t>(std::max<int16_t>(0, std::min(filled, count))));
        m_entries = std::move(entries);
        return true;
    }

    // The device number of an entry, or false when the list has no such entry.
    bool DeviceNumber(uint32_t index, uint32_t *number)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (index >= m_entries.size()) return false;
        *number = m_entries[index].deviceNum;
        return true;
    }

private:
    std::mutex m_lock;
    std::vector<DRV_DEVLIST> m_entries;
};

CardList &Cards()
{
    static CardList list;
    return list;
}

} // namespace

CGPICard_PinioTech::CGPICard_PinioTech() = default;

CGPICard_PinioTech::CGPICard_PinioTech(const CGPICard_PinioTech &other)
{
    *this = other;
}

CGPICard_PinioTech &CGPICard_PinioTech::operator=(const CGPICard_PinioTech &other)
{
    if (this == &other) return *this;
    m_nEventCount = other.m_nEventCount.load();
    m_lLastChange = other.m_lLastChange.load();
    m_hDriver = other.m_hDriver.load();
    m_nDeviceIndex = other.m_nDeviceIndex;
    m_bOpen = other.m_bOpen.load();
    m_nLastError = other.m_nLastError.load();
    return *this;
}

CGPICard_PinioTech::~CGPICard_PinioTech()
{
    EndReceiveThread();
    CloseDevice();
}

int CGPICard_PinioTech::OpenDevice()
{
    std::lock_guard<std::mutex> lk(m_openLock);
    if (m_bOpen) return 1;
    uint32_t number = 0;
    if (!Cards().Load() || !Cards().DeviceNumber(m_nDeviceIndex, &number)) return 0;
    uint32_t handle = 0;
    if (DRV_DeviceOpen(number, &handle) != DRV_OK) {
        glReportLog(kLogDev, "DEV=GPI;Open Device Fail", "");
        return 0;
    }
    m_hDriver = handle;
    m_bOpen = 1;
    return 1;
}

int CGPICard_PinioTech::CloseDevice()
{
    std::lock_guard<std::mutex> lk(m_openLock);
    if (!m_bOpen) return 1;
    uint32_t handle = m_hDriver;
    if (DRV_DeviceClose(&handle) != DRV_OK) return 0;
    m_hDriver = handle;
    m_bOpen = 0;
    return 1;
}

int CGPICard_PinioTech::IsOpen()
{
    return m_bOpen;
}

int CGPICard_PinioTech::SetChannelState(uint16_t channel, uint16_t state)
{
    if (!OpenDevice()) return 0;
    return WriteBit(PortOf(channel), BitOf(channel), state ? 1 : 0) == DRV_OK;
}

int CGPICard_PinioTech::GetChannelState(uint16_t channel, uint16_t &state)
{
    if (!OpenDevice()) return 0;
    uint16_t level = 0;
    if (GetCurrentBitState(PortOf(channel), BitOf(channel), level) != DRV_OK) return 0;
    state = level == 1 ? 1 : 0;
    return 1;
}

int CGPICard_PinioTech::ReadChannelState(uint16_t port, uint16_t &value)
{
    if (!OpenDevice()) return 0;
    return ReadPortByte(port, value) == DRV_OK;
}

int CGPICard_PinioTech::ReadChannelState(uint16_t port, uint16_t bit, uint16_t &state)
{
    if (!OpenDevice()) return 0;
    return ReadPortBit(port, bit, state) == DRV_OK;
}

uint32_t CGPICard_PinioTech::Keep(uint32_t code)
{
    if (code != DRV_OK) m_nLastError = code;
    return code;
}

uint32_t CGPICard_PinioTech::WriteByte(uint16_t port, uint16_t mask, uint16_t state)
{
    DRV_PORTBYTE_WRITE param{port, mask, state};
    return Keep(DRV_DioWritePortByte(m_hDriver, &param));
}

uint32_t CGPICard_PinioTech::WriteBit(uint16_t port, uint16_t bit, uint16_t state)
{
    DRV_BIT_WRITE param{port, bit, state};
    return Keep(DRV_DioWriteBit(m_hDriver, &param));
}

uint32_t CGPICard_PinioTech::ReadPortByte(uint16_t port, uint16_t &value)
{
    DRV_PORTBYTE_READ param{port, &value};
    return Keep(DRV_DioReadPortByte(m_hDriver, &param));
}

uint32_t CGPICard_PinioTech::ReadPortBit(uint16_t port, uint16_t bit, uint16_t &state)
{
    DRV_BIT_READ param{port, bit, &state};
    return Keep(DRV_DioReadBit(m_hDriver, &param));
}

uint32_t CGPICard_PinioTech::GetCurrentByteState(uint16_t port, uint16_t &value)
{
    DRV_PORTBYTE_READ param{port, &value};
    return Keep(DRV_DioGetCurrentDOByte(m_hDriver, &param));
}

uint32_t CGPICard_PinioTech::GetCurrentBitState(uint16_t port, uint16_t bit, uint16_t &state)
{
    DRV_BIT_READ param{port, bit, &state};
    return Keep(DRV_DioGetCurrentDOBit(m_hDriver, &param));
}

uint32_t CGPICard_PinioTech::EnableEvent(uint32_t type, uint16_t enabled, uint16_t count)
{
    DRV_EVENT_ENABLE param{static_cast<uint16_t>(type), enabled, count};
    return Keep(DRV_EnableEvent(m_hDriver, &param));
}

uint32_t CGPICard_PinioTech::CheckEvent(uint16_t type, uint32_t milliseconds)
{
    // The driver writes the type it raised into this copy; the caller does not get it.
    uint16_t raised = type;
    DRV_EVENT_CHECK param{&raised, milliseconds};
    return Keep(DRV_CheckEvent(m_hDriver, &param));
}

CString CGPICard_PinioTech::GetErrorMessage(uint32_t code)
{
    char text[512] = {};
    DRV_GetErrorMessage(code, text);
    text[sizeof text - 1] = '\0';
    return CString(text);
}

uint32_t CGPICard_PinioTech::GetLastError()
{
    return m_nLastError;
}

int CGPICard_PinioTech::Start()
{
    if (m_thread.Active()) return 0;
    m_bStop = 0;
    m_stopEvent.Reset();
    m_thread.Create(&CGPICard_PinioTech::__ReceiveThrdProc, this);
    return 1;
}

int CGPICard_PinioTech::Stop()
{
    m_bStop = 1;
    m_stopEvent.Set();
    if (m_thread.IsNull())
        plat::Sleep(kStopWaitMs);
    else
        m_thread.StopWithin(kStopWaitMs, 0);
    return 1;
}

void CGPICard_PinioTech::EndReceiveThread()
{
    if (m_thread.IsNull()) return;
    m_bStop = 1;
    m_stopEvent.Set();
    m_thread.StopWithin(kStopWaitMs, 0);
}

uint32_t CGPICard_PinioTech::__ReceiveThrdProc(void *card)
{
    static_cast<CGPICard_PinioTech *>(card)->Receive();
    return 0;
}

void CGPICard_PinioTech::Receive()
{
    CResAccess setting("/etc/dev/GPIReceive");
    const auto channel = static_cast<uint16_t>(setting["nChannel"].GetAsInteger(0));
    const bool interrupt = setting["Interrupt"].GetAsBool(false);

    if (!OpenDevice()) {
        glReportLog(kLogDev, "Dev=GPI Open failed", "");
        return;
    }
    if (interrupt && EnableEvent(kInputEvent, 1, static_cast<uint16_t>(m_nEventCount)) != DRV_OK) {
        const char *text = m_hDriver == 0       ? " Dev = GPI InvalidDriverHandle"
                           : m_nEventCount == 0 ? " Dev = GPI InvalidInputParam"
                                                : " Dev = GPI InvalidEventType";
        glReportLog(kLogDev, text, "");
        return;
    }
    uint16_t accepted = 0;
    while (!m_bStop) {
        if (interrupt) {
            // Events are waited for and not acted on.
            WaitCardEvent(*this, kInputEvent, kEventWaitMs, m_stopEvent);
            continue;
        }
        uint16_t state = 0;
        if (GetChannelState(channel, state)) {
            int64_t now = 0;
            glGetTimeEx(&now);
            // A change within 3 s of the last accepted one is not remembered, so the next
            // poll sees it again.
            if (state != accepted && now - m_lLastChange > kDebounce) {
                m_lLastChange = now;
                glReportLog(kLogDev, " Dev = GPI ", "");
                accepted = state;
            }
        }
        plat::Sleep(kPollMs);
    }
}
