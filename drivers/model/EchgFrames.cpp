#include "drivers/model/EchgFrames.h"

namespace echg {

namespace {
constexpr uint8_t k422Head = 0x55;
constexpr uint8_t k422Tail = 0xAA;
constexpr uint8_t k422Main = 0x00;
constexpr uint8_t k422Backup = 0x0F;
constexpr uint8_t k485Head = 0xAA;
constexpr uint8_t k485Main = 5;
constexpr uint8_t k485Backup = 10;
constexpr uint8_t k485Ack = 0x00;
constexpr size_t k485AnswerSize = 4;
} // namespace

Frame3 Encode422Switch(int position)
{
    return {k422Head, position == 1 ? k422Main : k422Backup, k422Tail};
}

Frame3 Encode485Switch(int position)
{
    const uint8_t code = position == 1 ? k485Main : k485Backup;
    return {k485Head, code, code};
}

std::vector<uint8_t> C422StatusDecoder::Feed(const uint8_t *data, size_t length)
{
    std::vector<uint8_t> statuses;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = data[i];
        if (m_pending.empty()) {
            if (byte == k422Head) m_pending.push_back(byte);
            continue;
        }
        if (m_pending.size() == 1) {
            m_pending.push_back(byte);
            continue;
        }
        if (byte == k422Tail) {
            const uint8_t status = m_pending[1];
            m_pending.clear();
            statuses.push_back(status);
            continue;
        }
        // No frame began at the first head: the next one may begin at the status byte or here.
        const uint8_t second = m_pending[1];
        m_pending.clear();
        if (second == k422Head) {
            m_pending = {second, byte};
        } else if (byte == k422Head) {
            m_pending.push_back(byte);
        }
    }
    return statuses;
}

void C485ReplyDecoder::ExpectQuery(bool query)
{
    m_bQuery = query;
    m_pending.clear();
}

std::vector<C485ReplyDecoder::Reply> C485ReplyDecoder::Feed(const uint8_t *data, size_t length)
{
    std::vector<Reply> replies;
    for (size_t i = 0; i < length; ++i) {
        if (!m_bQuery) {
            if (data[i] == k485Ack) replies.push_back(Reply{});
            continue;
        }
        m_pending.push_back(data[i]);
        if (m_pending.size() < k485AnswerSize) continue;
        if (m_pending[0] == m_pending[1] && m_pending[2] == m_pending[3]) {
            replies.push_back(Reply{true, m_pending[0], m_pending[2]});
            m_pending.clear();
        } else {
            m_pending.erase(m_pending.begin());
        }
    }
    return replies;
}

} // namespace echg
