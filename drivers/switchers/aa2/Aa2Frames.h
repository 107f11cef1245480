// The frames of the AA2-framed matrices: SOH, a two-letter command, its text arguments, a
// two-character XOR check and EOT, answered by ACK, NAK or a framed reply. Encoders are pure
// functions of a command; the decoder takes the received bytes as they come and reports the
// acknowledgements, replies and polls they complete; the reply parser reads one reply's text.
// None touches a port.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace swframe {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kAa2Soh = 0x01;
constexpr uint8_t kAa2Eot = 0x04;
constexpr uint8_t kAa2Ack = 0x06;
constexpr uint8_t kAa2Nak = 0x15;
constexpr uint8_t kAa2Poll = '#';

// Which way round a dialect puts input and output: the AA2 matrix sends the input first, the
// VRS1620 the output first, in switch commands and in its "DQ" replies.
enum class Aa2Dialect { Aa2, Vrs1620 };

// The two check characters of a text: '0' plus the high four bits of the XOR of its bytes,
// then the low four bits as an upper-case hexadecimal digit.
KSOVRA20_API std::string Aa2Check(const std::string &text);
// SOH, the command, the arguments, the check of both, EOT.
KSOVRA20_API Bytes Aa2Frame(const std::string &command, const std::string &arguments);
// "AS" 01 'N', input and output (0-based, two hexadecimal digits each, in the dialect's
// order), 'T'. Empty when either is outside 0..255.
KSOVRA20_API Bytes Aa2Switch(Aa2Dialect dialect, int input, int output);
// "QD" 'N' and the output (0-based). Empty when it is outside 0..255.
KSOVRA20_API Bytes Aa2Query(int output);

// One thing the matrix said.
struct Aa2Event {
    enum class Kind { Ack, Nak, Reply, Poll };
    Kind kind = Kind::Ack;
    std::string text;     // Reply: the text between SOH and the check
    bool checkOk = false; // Reply: whether the check characters match the text
};

// The AA2 stream: ACK, NAK, '#' (the poll of a matrix that asks for commands) and frames from
// SOH to EOT. Bytes that start none of them are dropped; a frame cut off by SOH, ACK or NAK
// before its EOT is dropped and decoding restarts there; a frame still open after 128 bytes
// is dropped with what came before it.
class KSOVRA20_API CAa2Decoder {
public:
    static constexpr size_t kMaxPending = 128;
    // The events that the bytes complete, in order.
    std::vector<Aa2Event> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    Bytes m_pending; // an open frame from its SOH, or nothing
};

// What one reply's text reports. Tables hold up to 32 outputs; a value of 32 or more is not
// reported (-1).
struct Aa2Reply {
    bool ok = false; // a "DR" or "DQ" reply: the exchange succeeded
    bool locked = false;
    int input = -1;
    int second = -1; // "DR" only; "DQ" reports its input here too
};
KSOVRA20_API Aa2Reply Aa2ParseReply(Aa2Dialect dialect, const std::string &text);

} // namespace swframe
