// A port of the multiport RS-422 board, driven through the board library loaded by name at
// run time. Board ports are numbered 1 to 63; the library calls back on its own thread when
// bytes arrive, and the port hands them on (at most 1024 per call, HandOn) with the port
// number, outside every lock of the port, so a protocol may write from inside its receive.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CSerialDevA.h"

#include <memory>

struct BoardLine;

class DEVEXT20_API CSerial_M422 : public CSerialDevA {
    DECLARE_KEST_CLASS(CSerial_M422)

    // Size of the process-wide table of open board ports (port 0 is not a port).
    static constexpr int kPortCount = 64;

    CSerial_M422() = default;
    // A copy would be a second owner of the same board port.
    CSerial_M422(const CSerial_M422 &) = delete;
    CSerial_M422 &operator=(const CSerial_M422 &) = delete;
    ~CSerial_M422() override;

    // Opens the board port with the settings' codes and starts the receive callback. 0 for
    // port 0 or 64 and above, a port open in this process, a setting without a code, a
    // missing library, or a port the library will not open or set.
    int DevOpen() override;
    // 1 when closed; 0 when the library keeps the port open.
    int DevClose() override;
    // 1 when the library took exactly `length` bytes within its bound, else 0.
    int DevWrite(const char *data, int length) override;
    // Reads what waits, at most `length` bytes, and puts a zero byte after them when there is
    // room; `length` becomes the library's result. 1 when bytes were read.
    int DevRead(char *buffer, int &length) override;
    // Discards both directions, whatever `mode`. 1, 0 when closed.
    int DevFlush(int mode) override;
    // What the receive callback has read since the open (handed on or on its way); bytes
    // still in the board's queue are not known to the library. 0 when closed.
    uint64_t ReceivedCount() override;
    int DevBreak(int time) override;
    // Sends the byte 0xF0 at 9600 baud without parity, waits 50 ms, and sets the line back.
    // 1, 0 when closed.
    int DevBreakWH() override;

private:
    // Sets the codes of `setting` on the open port; only when the library takes them do they
    // become the line's settings.
    bool ApplyLine(const COM_SETTING &setting);
    // Takes the port out of the table and cuts its deliveries.
    void Forget();

    COM_SETTING m_LineSetting;          // as last set on the line
    std::shared_ptr<BoardLine> m_pLine; // while open
};
