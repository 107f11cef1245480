#include "drivers/switchers/production/Ttv9920Frames.h"

#include <algorithm>
#include <array>

namespace ttvframe {

namespace {

constexpr std::array<Row, 40> kTable{{
    {1, 0xC0, 3},  {2, 0xC1, 3},  {3, 0xC2, 3},  {4, 0xC3, 3},  {5, 0xC4, 3},  {6, 0xC5, 5},
    {7, 0xC6, 3},  {8, 0xC7, 3},  {9, 0xC8, 3},  {10, 0xCA, 3}, {11, 0xCC, 5}, {12, 0xCE, 3},
    {13, 0xCF, 3}, {14, 0xD0, 0}, {15, 0xD1, 0}, {16, 0xD2, 0}, {17, 0xD4, 8}, {18, 0xD5, 0},
    {19, 0xD6, 4}, {20, 0xD7, 4}, {21, 0xD8, 3}, {22, 0xFF, 3}, {23, 0x40, 2}, {24, 0x41, 2},
    {25, 0x42, 2}, {26, 0x43, 2}, {27, 0x44, 2}, {28, 0x46, 3}, {29, 0x47, 3}, {30, 0x48, 2},
    {31, 0x4A, 2}, {32, 0x4C, 2}, {33, 0x50, 3}, {34, 0x51, 3}, {35, 0x52, 3}, {36, 0x54, 2},
    {37, 0x55, 2}, {38, 0x56, 3}, {39, 0x57, 3}, {40, 0x58, 2},
}};

constexpr uint8_t kAck = 0x80;
constexpr uint8_t kShortAck = 0x84;
constexpr uint8_t kUnit = 0x01;

} // namespace

const Row *FindRow(int number)
{
    const auto row = std::find_if(kTable.begin(), kTable.end(),
                                  [number](const Row &r) { return r.number == number; });
    return row == kTable.end() ? nullptr : &*row;
}

Bytes Frame(int number, const Bytes &data)
{
    const Row *row = FindRow(number);
    if (!row) return {};
    const size_t length = row->length ? row->length : std::min<size_t>(data.size() + 2, 0xFF);
    Bytes frame(length + 1, 0x00);
    frame[0] = static_cast<uint8_t>(length);
    if (length >= 1) frame[1] = kUnit;
    if (length >= 2) frame[2] = row->command;
    for (size_t i = 0; i < data.size() && i + 3 < frame.size(); ++i) frame[i + 3] = data[i];
    return frame;
}

Bytes RateDigits(int rate)
{
    const int r = std::clamp(rate, 0, 999);
    return {static_cast<uint8_t>(0xA0 + r / 100), static_cast<uint8_t>(r / 10 % 10),
            static_cast<uint8_t>(r % 10)};
}

Bytes LinkTest()
{
    return {0x00, 0x30, 0x00, 0x30};
}

std::vector<Reply> CReplyDecoder::Feed(const uint8_t *data, size_t length)
{
    if (m_bDone || !data || length == 0) return {};
    m_pending.insert(m_pending.end(), data, data + length);
    const uint8_t b0 = m_pending[0];
    size_t need = 1;
    ReplyState state = ReplyState::Failed;
    if (b0 == kUnit) {
        need = 2;
        if (m_pending.size() >= need && m_pending[1] == kAck) state = ReplyState::Acknowledged;
    } else if (b0 == kShortAck) {
        state = ReplyState::Acknowledged;
    } else if (b0 >= 3 && b0 + 1 <= kMaxReply) {
        // A data reply names its length; its second byte tells it from noise.
        if (m_pending.size() < 2) return {};
        if (m_pending[1] == kUnit) {
            need = b0 + 1u;
            if (m_pending.size() >= 3 && (m_pending[2] & 0x80)) state = ReplyState::Data;
        }
    }
    if (m_pending.size() < need) return {};
    m_bDone = true;
    return {Reply{state, Bytes(m_pending.begin(), m_pending.begin() + static_cast<long>(need))}};
}

void CReplyDecoder::Reset()
{
    m_pending.clear();
    m_bDone = false;
}

} // namespace ttvframe
