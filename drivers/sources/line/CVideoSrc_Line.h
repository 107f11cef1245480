// A live line signal (an incoming feed) used as a play-out source of a play list: nothing to
// talk to, the base class's simulated transport and play-task steps, timing defaults that put
// every task within the check and cue windows, and a compatibility test that accepts any clip
// of a line type.
#pragma once

#include "drivers/model/CVideoSrcA.h"

// Whether a device type is a line source's ("LVSRC_LINE" and whatever follows).
bool IsLineSourceType(const char *type);

class CVideoSrc_Line : public CVideoSrcA {
    DECLARE_KEST_CLASS(CVideoSrc_Line)

    CVideoSrc_Line();

    // 1 for a line type whatever the clip.
    int DevCheckCompatible(const char *type, const char *clip) override;
};
