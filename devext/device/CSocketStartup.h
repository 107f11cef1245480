// Start and cleanup of the sockets layer, kept as a flag. Linux sockets need no start, so
// Start only records success; callers keep the pairing they have on other systems.
#pragma once

#include "devext/Devext20Api.h"

class DEVEXT20_API CSocketStartup {
public:
    // Starts once; 1 when started.
    static int Start();
    // Clears the flag when started.
    static void Cleanup();
    static int IsStarted();
};
