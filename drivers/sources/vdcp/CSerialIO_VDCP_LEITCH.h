// The VDCP port object of Leitch video servers' stores and recorders: the NEW command set with
// length-prefixed clip ids, a status request for the first two status bytes only, an id list
// in one reply of length-prefixed ids, and devices on one serial port sharing the object that
// holds it open. No run-time class record of its own; never created by name.
#pragma once

#include "drivers/sources/vdcp/CSerialIO_VDCP.h"
#include "platform/Collections.h"

#include <memory>

class KSOVRA20_API CSerialIO_VDCP_LEITCH : public CSerialIO_VDCP {
public:
    // Port 2, 38400 baud 8O1 on the RS-422 board, reply wait 1000 ms.
    CSerialIO_VDCP_LEITCH();
    ~CSerialIO_VDCP_LEITCH() override;

    // This object while its port is open; else the Leitch port object of another device that
    // holds the same port number open (none when another kind holds it); else, at most every
    // 5000 ms, this object once its port opens.
    std::shared_ptr<CSerialIO_VDCP_LEITCH> GetActivePort();

    // The port open and the last exchange answered.
    int IsOpen() { return IsAnswering() ? 1 : 0; }
    // Opens a closed port and asks the status once; IsOpen.
    int Open();
    // Asks the status when the line has been quiet for 3000 ms; IsOpen.
    int Test();

    // Cached: from the cache while it is younger than 3000 ms; else asked.
    int GetStatus(int32_t *status1, int32_t *status2, int32_t cached);
    // Cached: from the counter while asked less than 2000 ms ago; else asked.
    int GetPosition(int32_t *frames, int32_t cached);
    // The counter runs at +10 for a forward speed and -10 otherwise.
    int VariablePlay(double speed);
    // With a wait, the result is that of the wait for the cued bit.
    int RecordInit(const char *clip, int32_t duration, int32_t waitMs);
    int GetSystemWord(int32_t *word);
    // One request: the ids of its reply, packed. The start and the limit are not used.
    int GetIdList(CStringArray &names, int32_t start, int32_t limit);

protected:
    uint8_t StatusRequest() const override { return 0x01; }
    bool GivesUpOnExtended(int32_t) const override { return false; }
};

namespace vdcp {
// The clip ids of a NEW-form id list reply: data bytes 0-1 skipped, then each id a length
// byte and its bytes; an empty id is skipped. False for a reply without the two bytes.
KSOVRA20_API bool ParseNewIdList(const Reply &reply, CStringArray &names);
} // namespace vdcp
