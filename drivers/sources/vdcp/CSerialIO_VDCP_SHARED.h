// The VDCP port object inside each VDCP play-out source and encoder recorder. Devices whose
// settings name the same serial port send through the one object that holds the port open:
// GetActivePort gives that route. BASIC commands only (clip ids of 8 bytes). It has no
// run-time class record of its own and is never created by name.
#pragma once

#include "drivers/sources/vdcp/CSerialIO_VDCP.h"

#include <memory>

class KSOVRA20_API CSerialIO_VDCP_SHARED : public CSerialIO_VDCP {
public:
    // What a VDCP source keeps for preview: the clip and its range in frames.
    struct tagPreview {
        CString strName;
        int32_t nStart = 0;
        int32_t nLength = 0;
    };

    // Port 2, 38400 baud 8O1 on the RS-422 board, reply wait 1000 ms, channel 1.
    CSerialIO_VDCP_SHARED();
    ~CSerialIO_VDCP_SHARED() override;

    // This object while its port is open; else the VDCP port object of another device that
    // holds the same port number open (none when another kind holds it); else, at most every
    // 5000 ms, this object once its port opens. Null when no port can be had.
    std::shared_ptr<CSerialIO_VDCP_SHARED> GetActivePort();

    // Flag 1: from the cache while it is younger than 3000 ms; flag 0: always asked.
    int GetStatus(int32_t *status1, int32_t *status2, int32_t *extended, int32_t onlyIfOld);
    // Flag 1 and a position asked less than 3000 ms ago: from the counter; else asked.
    int GetPosition(int32_t *frames, int32_t onlyIfOld);
    // The counter runs at +10 for a forward speed and -10 otherwise.
    int VariablePlay(double speed);
    // With a wait, the result is that of the wait for the cued bit.
    int RecordInit(const char *clip, int32_t duration, int32_t waitMs);

    // The display text of status byte 1; bit 0x04 reads as recording on a recorder.
    static CString GetStateText(int32_t status, int32_t recorder);

    tagPreview GetPreview() const;
    void SetPreview(const tagPreview &preview);

protected:
    bool GivesUpOnExtended(int32_t mask) const override { return mask == VDCP_ST_CUED; }

private:
    tagPreview m_preview; // under m_StateLock
};
