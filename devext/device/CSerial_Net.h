// A serial line of another process, reached over the network through the serial sharing
// service: open, close, write, read and flush become messages to the serving process, a
// heartbeat keeps the share alive there, and the bytes the line receives come back through
// this process's sharing service and are handed on (HandOn). Which local port numbers are such
// lines, and where, is the sharing service's setting. Known to the rest of the system only by its
// run-time class record.
#pragma once

#include "KestLib20/CPatrolTask.h"
#include "KestLib20/buffer_t.h"
#include "devext/device/CSerialDevA.h"

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>

class CNetClientA;

class CSerial_Net : public CSerialDevA {
    DECLARE_KEST_CLASS(CSerial_Net)

    static constexpr uint32_t kHeartBeatMs = 5000;
    // One failure more and the port counts as closed.
    static constexpr int kMaxFailures = 10;
    // The bytes one DevRead hands over at most.
    static constexpr int kReadSize = 512;

    CSerial_Net();
    // A copy would be a second holder of the remote line.
    CSerial_Net(const CSerial_Net &) = delete;
    CSerial_Net &operator=(const CSerial_Net &) = delete;
    // Ends the heartbeat, closes the port, and waits for a delivery to it in progress.
    ~CSerial_Net() override;

    // Opens the remote line that the sharing service's setting gives for the port number:
    // 1 when the serving process opened it. 0 without a sharing service, without an entry
    // for the number, when the serving process cannot be found or refuses.
    int DevOpen() override;
    // Tells the serving process to close the line; 1.
    int DevClose() override;
    // Sends the bytes (one-way); the open flag.
    int DevWrite(const char *data, int length) override;
    // Asks the serving process to read its line: at most kReadSize bytes and at most
    // `length` go into `buffer`, and `length` becomes their count. The open flag.
    int DevRead(char *buffer, int &length) override;
    // Asks the serving process to flush its line; the open flag.
    int DevFlush(int mode) override;

    // Hands bytes the serving process sent for port number `port` on through the open
    // CSerial_Net of that number (HandOn), on the calling thread: 1, or 0 when there is none.
    static int DeliverToPort(int port, pointer_t &data);

private:
    int OnHeartBeat(CTask *task);
    // Counts one failure (logging `text` when given); past kMaxFailures the port closes.
    void CountFailure(const char *text);
    // A request of 32-bit values with a reply: the reply's result word, 0 when none came.
    int Call(int message, std::initializer_list<int32_t> values);

    // Made when the port number first turns out to be a shared line: every OpenSerialPort
    // that tries each kind makes one of these, and a client needs the application's post
    // office.
    std::unique_ptr<CNetClientA> m_pClient;
    std::once_flag m_clientMade;
    std::atomic<int32_t> m_nRemotePort{0};
    std::atomic<int32_t> m_nFailures{0};
    // Made with the object, so its runs keep their phase from the object's construction;
    // submitted with the client.
    CPatrolTask m_HeartBeat{kHeartBeatMs};
};
