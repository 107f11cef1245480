// Net messages for the fuzz targets: a datagram from the input whose target field, by the
// first byte's choice, names this process or everyone (so that it is not refused at once).
#pragma once

#include "tests/fuzz/FuzzInput.h"

#include "KestLib20/NetMsg.h"

#include <cstring>

namespace fuzz {

// A datagram of up to the receive size with one byte to spare, as the receive thread has it.
struct Datagram {
    char bytes[kNetMsgRecvSize + 1] = {};
    int32_t size = 0;
};

inline Datagram MakeDatagram(Input &in)
{
    Datagram d;
    const int aim = in.Choice(3);
    const std::vector<uint8_t> rest = in.Take(kNetMsgRecvSize);
    d.size = static_cast<int32_t>(rest.size());
    if (!rest.empty()) std::memcpy(d.bytes, rest.data(), rest.size());
    if (d.size >= kNetMsgHeadSize && aim < 2) {
        tagNetMsgHeader header = DecodeNetMsgHeader(d.bytes);
        header.target = aim == 0 ? GetCurrentNetProcessID() : kNetPidEveryone;
        EncodeNetMsgHeader(header, d.bytes);
    }
    return d;
}

// The arguments handed to a handler lie within the message and end within it.
inline void CheckArguments(const Datagram &d, const char **arguments)
{
    int count = 0;
    for (; arguments[count]; ++count) {
        FUZZ_CHECK(count < kNetMsgMaxArgs);
        const char *at = arguments[count];
        FUZZ_CHECK(at >= d.bytes + kNetMsgHeadSize && at <= d.bytes + d.size);
        FUZZ_CHECK(std::memchr(at, 0, static_cast<size_t>(d.bytes + d.size + 1 - at)));
    }
}

} // namespace fuzz
