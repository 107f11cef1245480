// A live line signal as a play-out source of the task engine's process unit: the shared task
// side of the play-out sources on the base class's simulated transport.
#pragma once

#include "drivers/sources/line/CVideoSrcX.h"

class CVideoSrcX_Line : public CVideoSrcX {
    DECLARE_KEST_CLASS(CVideoSrcX_Line)

    CVideoSrcX_Line();

    // 1 for a line type whatever the clip.
    int DevCheckCompatible(const char *type, const char *clip) override;
};
