// The frames of the text-framed serial switches and matrices: the encoders of their commands,
// and the stream decoders of those that answer. No port, no lock.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstdint>
#include <string>
#include <vector>

namespace swframe {

using Bytes = std::vector<uint8_t>;

// BW120: " 11" tens units "11" channel, CR, NUL; the channel held to 1..9 and the entry to
// 1..99, so the text is always eight characters.
constexpr int kBw120Channels = 9;
KSOVRA20_API Bytes Bw120Command(int channel, int entry);

// DLKD: SOH 'W' 'R' kind 'x' OO 'y' II CC EOT, the 0-based output and input and the XOR of
// the bytes from 'W' to the input's last digit, each as two upper-case hexadecimal digits.
// `kind` is 'V' for the DLKD7200 and 'D' for the DLKD7100.
KSOVRA20_API Bytes DlkdWrite(char kind, int output, int input);

// Quartz: ".S", the level letters, the output and the input as three decimal digits
// (1-based, as given) separated by a comma, CR.
KSOVRA20_API Bytes QuartzTake(const std::string &levels, int output, int input);

} // namespace swframe
