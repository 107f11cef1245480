// The contacts of the digital-I/O card as numbered GPI channels: channel n is bit n & 7 of
// port n >> 3. Opens the first card of the driver's card list on demand, sets and reads single
// lines and whole ports, waits for card events, and can run a receive thread that watches one
// line (settings "/etc/dev/GPIReceive") and logs its changes on "LOG_DEV".
#pragma once

#include "gpi/PinioApi.h"
#include "gpi/adsapi/Adsapi32.h"

#include "KestLib20/thread_c.h"
#include "platform/String.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <mutex>

class PINIO_API CGPICard_PinioTech {
public:
    CGPICard_PinioTech();
    // Copies share the open card (its handle and open flag); a copy holds no receive thread.
    CGPICard_PinioTech(const CGPICard_PinioTech &other);
    CGPICard_PinioTech &operator=(const CGPICard_PinioTech &other);
    // Stops a receive thread still running, then closes the card.
    virtual ~CGPICard_PinioTech();

    // 1 when open (at once when it already was), 0 when there is no card or it would not open.
    int OpenDevice();
    // 1 when closed (also when it was not open); 0 when the driver refused, and it stays open.
    int CloseDevice();
    int IsOpen();

    // Each opens the card first; 1 when that and the line call succeed.
    int SetChannelState(uint16_t channel, uint16_t state);
    // The level the card drives on the channel's output line.
    int GetChannelState(uint16_t channel, uint16_t &state);
    // The eight input lines of a port, or one of them.
    int ReadChannelState(uint16_t port, uint16_t &value);
    int ReadChannelState(uint16_t port, uint16_t bit, uint16_t &state);

    // Port calls on the open card: the driver's code (0 success), kept as the last error when
    // nonzero. They do not open the card.
    uint32_t WriteByte(uint16_t port, uint16_t mask, uint16_t state);
    uint32_t WriteBit(uint16_t port, uint16_t bit, uint16_t state);
    uint32_t ReadPortByte(uint16_t port, uint16_t &value);
    uint32_t ReadPortBit(uint16_t port, uint16_t bit, uint16_t &state);
    uint32_t GetCurrentByteState(uint16_t port, uint16_t &value);
    uint32_t GetCurrentBitState(uint16_t port, uint16_t bit, uint16_t &state);
    uint32_t EnableEvent(uint32_t type, uint16_t enabled, uint16_t count);
    // Waits up to `milliseconds` for a card event of the type.
    uint32_t CheckEvent(uint16_t type, uint32_t milliseconds);

    static CString GetErrorMessage(uint32_t code);
    uint32_t GetLastError();

    // Starts the receive thread: 0 when it already runs, else 1.
    int Start();
    // Asks the receive thread to end and gives it 2000 ms; one still running then is given
    // up. 1.
    int Stop();
    static uint32_t __ReceiveThrdProc(void *card);

private:
    uint32_t Keep(uint32_t code);
    void Receive();
    void EndReceiveThread();

    std::atomic<uint32_t> m_nEventCount{1};
    thread_c m_thread;
    std::atomic<int64_t> m_lLastChange{0};
    std::atomic<int32_t> m_bStop{1};
    plat::Event m_stopEvent{true, false}; // set with the stop flag: ends a pause at once
    std::atomic<uint32_t> m_hDriver{0};
    uint32_t m_nDeviceIndex = 0;
    std::atomic<int32_t> m_bOpen{0};
    std::atomic<uint32_t> m_nLastError{0};
    std::mutex m_openLock; // one open or close at a time: the receive thread opens on its own
};
