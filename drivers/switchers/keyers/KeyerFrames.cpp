#include "drivers/switchers/keyers/KeyerFrames.h"

#include "drivers/switchers/production/M21Frames.h"

namespace keyframe {

namespace {

constexpr uint8_t kDskHead = 0x12;
constexpr uint8_t kDskCount = 0x03;
constexpr uint8_t kDskSetKey = 0x01;
constexpr uint8_t kReplyStart = 0x02;
constexpr uint8_t kStatusKind = 0x15;
constexpr uint8_t kStatusKindAlso = 0x14;
constexpr uint8_t kStatusCode = 'A';
constexpr size_t kStatesAt = 11;
constexpr uint8_t kProgramBus = 0x40;
constexpr uint8_t kPresetBus = 0x80;
constexpr int kKeyCodeOffset = 6;

uint8_t Byte(int value)
{
    return static_cast<uint8_t>(value & 0xFF);
}

bool IsStatus(uint8_t kind, uint8_t code)
{
    return (kind == kStatusKind || kind == kStatusKindAlso) && code == kStatusCode;
}

} // namespace

Bytes Dsk50dSetKey(int code, bool on)
{
    const uint8_t key = Byte(code);
    const uint8_t state = on ? 0x01 : 0x00;
    return {kDskHead, kDskCount, kDskSetKey,
            key,      state,     static_cast<uint8_t>(kDskCount ^ kDskSetKey ^ key ^ state)};
}

std::vector<Dsk50dReply> CDsk50dDecoder::Feed(const uint8_t *data, size_t length)
{
    std::vector<Dsk50dReply> replies;
    if (data) m_pending.insert(m_pending.end(), data, data + length);
    size_t at = 0;
    while (at < m_pending.size()) {
        if (m_pending[at] != kReplyStart) {
            ++at;
            continue;
        }
        if (m_pending.size() - at < kBlockSize) break;
        Dsk50dReply reply;
        reply.kind = m_pending[at + 1];
        reply.code = m_pending[at + 2];
        size_t size = kBlockSize;
        if (IsStatus(reply.kind, reply.code)) {
            if (m_pending.size() - at < kStatusSize) break;
            reply.hasStates = true;
            for (size_t k = 0; k < reply.states.size(); ++k)
                reply.states[k] = m_pending[at + kStatesAt + k];
            size = kStatusSize;
        }
        replies.push_back(reply);
        at += size;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(at));
    return replies;
}

bool Dsk50dContradicts(const Dsk50dReply &reply, int code, bool on)
{
    if (!reply.hasStates || reply.kind != kStatusKind) return false;
    if (code < 0 || code >= static_cast<int>(reply.states.size())) return false;
    return (reply.states[static_cast<size_t>(code)] != 0) != on;
}

Bytes ShiHuiKey(int key, bool on)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {'C',
            '1',
            static_cast<uint8_t>(on ? 'D' : 'S'),
            static_cast<uint8_t>(kDigits[key & 0x0F]),
            'N',
            '0',
            '1',
            '\r'};
}

bool ShiHuiAccepted(uint8_t first)
{
    return first == 'O';
}

Bytes TrikKeyToggle(int key)
{
    return {0x55, 0x00, 0x2E, Byte(key - 1), 0x00, 0x01};
}

Bytes Saturn4000KeyAction(int key, bool presetBus, bool off)
{
    return m21frame::Key(m21frame::kSaturn4000, presetBus ? kPresetBus : kProgramBus,
                         key + kKeyCodeOffset, off);
}

} // namespace keyframe
