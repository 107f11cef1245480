// The tape robot's wire format without I/O: the command table, the frame of a command (length
// byte, command characters, parameters, checksum), the robot's own messages, the
// classification of a received block while a command is pending, and the decoder of the
// received blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace taperobot {

// One row of the command table; ids 33 to 46 are messages that the robot sends by itself,
// whose "characters" are the whole message.
struct CommandDef {
    int32_t id;
    uint8_t chars[4];
    uint8_t nChars;
    uint8_t nParams;
    uint32_t timeoutMs;
    int32_t replyLength;
    bool fromRobot;
};

constexpr int32_t kFirstMessage = 33;
constexpr int32_t kLastMessage = 46;
constexpr int kMaxFrame = 64;

// The row of `id`, null when there is none.
const CommandDef *FindCommand(int32_t id);
// Whether the command's success is a data reply (ids 10, 14 and 25 to 32).
bool HasReplyData(int32_t id);

// The frame of `n` body bytes into `out` (room for n + 2): N, the body, the low 8 bits of the
// sum of N and the body. The frame's length; 0 when the body does not fit a length byte.
int BuildFrame(const uint8_t *body, int n, uint8_t *out);
// The frame of command `id` with its table characters and `params` (exactly the table's
// parameter count). 0 for an unknown id, a message id or a wrong parameter count.
int BuildCommand(int32_t id, const uint8_t *params, int n, uint8_t *out);

// The id of the robot message that `data` begins with, 0 when none.
int32_t MatchMessage(const uint8_t *data, size_t n);

// Results of a received block.
enum Result : int32_t {
    kNone = 0,
    kGo = 1,     // "G" before the data of a data command: the wait goes on
    kData = 3,   // a data reply
    kDone = 4,   // the robot has carried the command out
    kBusy = 100, // "B"
    kT = 101,    // "T"
    kRefused = 102,
    kBad = 200,
};

struct Classified {
    int32_t result = kBad;
    bool waitOn = false;       // the block is not the end of the reply
    std::vector<uint8_t> data; // a data reply as copied into the reply buffer
};

// Classifies `block` received while command `pending` waits for its reply.
Classified ClassifyReply(int32_t pending, const uint8_t *block, size_t n);

// One thing a received block holds: a message of the robot's own (its id), or the reply of the
// command awaited.
struct BlockEvent {
    enum class Kind { Message, Reply };
    Kind kind = Kind::Reply;
    int32_t message = 0;
    Classified reply;
};

// The received blocks, each looked at on its own (nothing is kept between them). The robot's
// own messages are never taken as replies: messages that arrive close together come in one
// block, each is reported, and what follows them is classified as the reply of the command
// awaited, or dropped while none is.
class CBlockDecoder {
public:
    // The command whose reply the next blocks carry.
    void Expect(int32_t pending) { m_nPending = pending; }
    // The events of one block, in order.
    std::vector<BlockEvent> Feed(const uint8_t *block, size_t n);
    // No command awaited.
    void Reset() { m_nPending = 0; }

private:
    int32_t m_nPending = 0;
};

} // namespace taperobot
