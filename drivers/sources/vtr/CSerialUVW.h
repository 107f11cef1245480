// The write-only one-byte protocol of a UVW VTR: each command is written once, nothing is
// answered, and a command counts as done when the write succeeds.
#pragma once

#include "devext/device/CSerialIO.h"
#include "drivers/KsOvra20Api.h"

#include <cstdint>

class KSOVRA20_API CSerialUVW : public CSerialIO {
    DECLARE_KEST_CLASS(CSerialUVW)

    static constexpr int kCueFrameSize = 13;

    CSerialUVW();
    ~CSerialUVW() override;

    // 1 when the command was written.
    int Play();
    int Stop();
    int Eject();
    int SearchForward();
    int SearchReverse();
    int CueTo(int32_t frames);

    // The cue frame for a position: A0 DF 93, the sign (A1 from 0 up, A2 below), then hours,
    // minutes, seconds and frames of the absolute position as two ASCII digits each, and 40.
    static void BuildCue(int32_t frames, uint8_t out[kCueFrameSize]);

private:
    int Send(const uint8_t *bytes, int length);
};
