// The set-up of a test program whose tests talk between processes on 127.0.0.1. Linking
// these objects gives the program its distributed-system object, made once and never
// activated: its kernel answers from this process's own values (host 127.0.0.1), so resolving
// a name sends nothing. At the end the application closes, so that no framework thread (the
// log's) outlives the program's statics.
#pragma once

#include "devext/device/CNetDisp.h"

#include <cstdint>

namespace kestsim {

// The process named `netName` is found, through the distributed-system kernel, at
// 127.0.0.1:`port`; its URL is "kest://any/" followed by the name.
void ResolveTo(const char *netName, uint16_t port);

// A dispatcher listening on a free port of its own, active.
class ActiveDisp {
public:
    explicit ActiveDisp(const char *name);
    ~ActiveDisp();
    ActiveDisp(const ActiveDisp &) = delete;
    ActiveDisp &operator=(const ActiveDisp &) = delete;
    uint16_t Port() const { return static_cast<uint16_t>(disp.GetPort()); }

    CNetDisp disp;
};

} // namespace kestsim
