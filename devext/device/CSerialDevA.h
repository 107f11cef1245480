// The abstract serial port: the line settings and the operations that a protocol object
// (CSerialIO) runs on one physical or emulated line. Its kinds are the COM port, the board
// port, the virtual port and the port of another process. OpenSerialPort makes and opens
// the port object for a port number, at most one per number. GetByPort hands out a held
// reference: the port object's destruction waits until it is released.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CDeviceA.h"
#include "devext/device/COM_SETTING.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class DEVEXT20_API CSerialDevA : public CDeviceA {
    DECLARE_KEST_CLASS(CSerialDevA)

    static constexpr const char *kTypeId = "COM";

    // Received bytes with their place in the line's stream: `place` bytes came before them
    // since the port opened.
    using Receiver = std::function<int(int port, pointer_t &data, uint64_t place)>;

    CSerialDevA();
    CSerialDevA(const CSerialDevA &other);
    CSerialDevA &operator=(const CSerialDevA &other);
    // Retires the object (late for a port kind's members: each kind retires it first).
    ~CSerialDevA() override;

    // The open flag.
    int DevIsOpen() override;
    // All five give 0 here; the port kinds do the work.
    virtual int DevWrite(const char *data, int length);
    virtual int DevRead(char *buffer, int &length);
    virtual int DevFlush(int mode);
    virtual int DevBreak(int time);
    virtual int DevBreakWH();

    // Every byte the line has received since the port opened: those handed on, those on
    // their way, and those waiting on the line. Taken just before a frame is written, it
    // tells by their place the bytes that came before the frame. Base: the bytes handed on
    // (a kind that hands its bytes on as they arrive).
    virtual uint64_t ReceivedCount();
    // From now on received bytes go to `receiver` with their place; null: to DoDevInt.
    void SetReceiver(Receiver receiver);
    // How a kind hands on what it received, in the order received: to the receiver with the
    // bytes' place in the stream, else to DoDevInt. Its result.
    int HandOn(int code, pointer_t &data, uint64_t place);
    // The same for a kind that hands its bytes on as they arrive: their place is the count
    // handed on before them since the open.
    int HandOn(int code, pointer_t &data);

    COM_SETTING GetSetting() const { return m_Setting; }
    // Takes effect at the next open.
    void SetSetting(const COM_SETTING &setting) { m_Setting = setting; }

    // On a half-duplex line (a turnaround gap set): when the last write lies less than the
    // gap back, waits the whole gap. Then notes this write's time. Writes call it first.
    void HalfTime();

    // A new open port object for the settings' port number: of kind `rtc` when that opens,
    // else of the first kind below CSerialDevA, in class-tree order, that opens. Null when
    // the number is open already (the line is not touched) or no kind opens it. The caller
    // releases the result with Suicide.
    static CSerialDevA *OpenSerialPort(const COM_SETTING &setting, iRtc *rtc);
    // The first open port object (registration order) on port number `port`, held; else
    // null.
    static std::shared_ptr<CSerialDevA> GetByPort(int port);

protected:
    // What a port kind's destructor does first: no lookup finds the object any more, it
    // closes (DevClose), then it waits until no other thread holds it.
    void Retire();

    // Device name "DEV_COM<port>" and the open flag set, after a successful open; the bytes
    // handed on are counted from 0.
    void SetOpened();
    // Device name "DEV_COM_UNKNOWN" and the open flag cleared, after a close.
    void SetClosed();

    COM_SETTING m_Setting;
    std::atomic<int> m_bOpen{0};

private:
    std::atomic<uint32_t> m_dwLastWriteTick{0};
    std::atomic<uint64_t> m_nHandedOn{0}; // by HandOn without a place, since the open
    mutable std::mutex m_receiverLock;    // held only to copy or set the receiver
    Receiver m_pfnReceiver;
};
