// The frames of the Sony 9-pin VTR remote protocol: the fixed command table, the encoder of a
// command frame, the decoder of a reply, and the BCD time codes and status bits the replies
// carry. Nothing here touches a line; the protocol object (CSerialVTR) feeds it bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One row of the command table: the command's id and its two command bytes.
struct tagVTRCommand {
    int32_t id;
    int32_t cmd1;
    int32_t cmd2;
};

// A reply as the protocol object keeps it: CMD-1's group (low nibble cleared), CMD-2 with bit 7
// set (0 for a frame that is not a reply), CMD-1's data count, and the data.
struct tagVTRReply {
    int32_t category = 0;
    int32_t command = 0;
    int32_t count = 0;
    uint8_t data[16] = {};
};

// The STATUS SENSE bits the sources use, each as the masked bit (non-zero when set).
struct tagVTRStatus {
    static constexpr int kFlagCount = 21;
    int32_t flags[kFlagCount] = {};

    // Bit `bit` of status byte `byte`; 0 for a bit the record does not keep.
    int32_t Test(int byte, int bit) const;
    void Set(int byte, int bit);
    // Fills the record from STATUS SENSE data (at least 9 bytes).
    void Load(const uint8_t *data);
    // Neither "no tape" bit (0.0, 0.5) is set.
    bool HasTape() const { return !Test(0, 0) && !Test(0, 5); }
};

namespace vtr {

// Command ids the protocol object sends.
enum CommandId : int32_t {
    kDeviceTypeRequest = 3,
    kStop = 5,
    kPlay = 6,
    kRecord = 7,
    kStandbyOff = 8,
    kStandbyOn = 9,
    kEject = 11,
    kFastForward = 12,
    kRewind = 13,
    kShuttleForward = 16,
    kShuttleReverse = 19,
    kCueUpWithData = 21,
    kTimer1Reset = 46,
    kTimerModeSelect = 78,
    kCurrentTimeSense = 117,
    kStatusSense = 122,
    kTimerModeSense = 136,
};

constexpr int kFramesPerDay = 2160000; // 25 frames a second
constexpr int kMaxFrame = 18;          // two command bytes, 15 data bytes, the checksum

// The table's row of `id`; null when the table has none.
const tagVTRCommand *FindCommand(int32_t id);

// Builds the frame of command `id` with `n` data bytes into `out` (kMaxFrame bytes): CMD-1
// (whose low nibble becomes `n` for a row of variable length), CMD-2, the data and the
// checksum. The frame's length; 0 for an id not in the table or more than 15 data bytes.
int BuildFrame(int32_t id, const uint8_t *data, int n, uint8_t *out);

// The low 8 bits of the sum of the bytes.
uint8_t Checksum(const uint8_t *bytes, size_t n);

// A reply the bytes of one exchange completed: Done, `reply` holds a sound reply frame;
// Garbled, the exchange is over but what came is no sound reply, `reply` holds what the bytes
// make.
struct ReplyEvent {
    enum class Kind { Done, Garbled };
    Kind kind = Kind::Garbled;
    tagVTRReply reply;
};

// Gathers the bytes received for one exchange, looked at whole after each block. A reply frame
// (group 0x10 or 0x70) is awaited until it is whole; anything else of three bytes or more
// completes at once with command 0, and so do more bytes than the frame's. The data is copied
// only for a whole frame of the received length whose checksum matches; every other
// completion is Garbled. A completion starts the next exchange afresh.
class CReplyDecoder {
public:
    std::vector<ReplyEvent> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    std::vector<uint8_t> m_pending;
};

// The answer a command waits for: the reply group, CMD-2 as the reply record keeps it (bit 7
// set; 0 for any) and the least data count. Anything else, a NAK among them, fails it.
struct Expect {
    int32_t category;
    int32_t command;
    int32_t count;
};
constexpr Expect kAck{0x10, 0x81, 0};          // 10 01
constexpr Expect kDeviceType{0x10, 0x91, 2};   // 12 11 and the model
constexpr Expect kStatusData{0x70, 0xA0, 9};   // 79 20, status bytes 0 to 8
constexpr Expect kTimeModeData{0x70, 0xB6, 1}; // 71 36
constexpr Expect kTimeData{0x70, 0, 4};        // 74 and the kind of time as CMD-2

// A sound reply of the expected kind.
bool Answers(const tagVTRReply &reply, const Expect &expect);

// Two BCD digits: the value below 100 in the high and low nibble, and back (masked to 0x7F
// when reading, as the bit above the digits carries a flag).
uint8_t ToBcd(int value);
int FromBcd(uint8_t byte);

// The frame count as CUE UP WITH DATA's four bytes (frames, seconds, minutes, hours), after
// bringing it into one day: a negative count into 0 .. day-1, one above a day into 1 .. day.
void EncodeCuePoint(int32_t frames, uint8_t out[4]);
// Reads CURRENT TIME SENSE's four bytes, their flag bits masked off (frames and hours carry
// two, seconds and minutes one); false when a field is out of range. Positions past 12 hours
// read as negative.
bool DecodeTimecode(const uint8_t data[4], int32_t &frames);

// The SHUTTLE data byte for a speed: 32 x (log10 |speed| + 2), truncated; 0 up to 0.01.
uint8_t ShuttleSpeedByte(double speed);

// The model name of a DEVICE TYPE REQUEST answer, "UNKOWN TYPE" for one not known.
const char *DeviceTypeName(int32_t type);

} // namespace vtr
