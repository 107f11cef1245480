// The entries the switcher base keeps for a channel, read past a driver's own queries (which
// may ask the hardware).
#pragma once

#include "drivers/model/CVideoSwitchA.h"

namespace swentry {

inline int Preset(CVideoSwitchA &sw, int channel)
{
    int entry = 0;
    sw.CVideoSwitchA::DevQueryPstEntry(channel, entry);
    return entry;
}

inline int Program(CVideoSwitchA &sw, int channel)
{
    int entry = 0;
    sw.CVideoSwitchA::DevQueryPgmEntry(channel, entry);
    return entry;
}

} // namespace swentry
