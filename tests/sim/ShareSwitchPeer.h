// A process of the tests' own that speaks the switcher sharing protocol over a raw UDP socket
// (RawUdpProcess), with the values field by field, apart from the system's encoders: a text
// as a 32-bit length and its bytes, an integer as 4 bytes, all little-endian. Given a
// responder, it answers the requests it receives, as a sharing server would.
#pragma once

#include "tests/sim/RawUdpProcess.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace kestsim {

constexpr uint16_t kSwitchShareService = 32;

Bytes ShareText(const std::string &text);
Bytes ShareInt(int32_t value);
Bytes ShareValues(std::initializer_list<Bytes> values);
// The little-endian signed 32-bit values of `data` from `offset`, in order.
std::vector<int32_t> ShareInts(const Bytes &data, size_t offset = 0);

class ShareSwitchPeer : public RawUdpProcess {
public:
    ShareSwitchPeer() : RawUdpProcess(kSwitchShareService) {}
};

} // namespace kestsim
