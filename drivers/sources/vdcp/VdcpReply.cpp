#include "drivers/sources/vdcp/VdcpReply.h"

#include <cstring>

namespace vdcp {

int Reply::DataLength() const
{
    if (nKind != kStx || nLength < 4) return 0;
    return nLength - 5 < 0 ? 0 : nLength - 5;
}

void CReplyDecoder::Reset()
{
    m_reply = Reply{};
    m_nNeed = 0;
    m_nBlocks = 0;
    m_bDone = false;
}

std::vector<ReplyEvent> CReplyDecoder::Finish(ReplyEvent::Kind kind)
{
    if (kind == ReplyEvent::Kind::Invalid) m_reply.nKind = kNak;
    m_bDone = true;
    return {ReplyEvent{kind, m_reply}};
}

std::vector<ReplyEvent> CReplyDecoder::Feed(const uint8_t *data, size_t length)
{
    using Kind = ReplyEvent::Kind;
    if (m_bDone) Reset();
    if (!data || length == 0) return {};
    ++m_nBlocks;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = data[i];
        if (m_reply.nLength == 0) {
            if (byte != kAck && byte != kNak && byte != kStx) continue;
            m_reply.nKind = byte;
            m_reply.bytes[0] = byte;
            m_reply.nLength = 1;
            if (byte != kStx) return Finish(Kind::Complete);
            continue;
        }
        m_reply.bytes[static_cast<size_t>(m_reply.nLength++)] = byte;
        if (m_reply.nLength == 2) {
            if (byte > kMaxReplyCount) return Finish(Kind::Invalid);
            m_nNeed = byte + 3;
        }
        if (m_nBlocks > kMaxReplyBlocks) return Finish(Kind::Invalid);
        if (m_reply.nLength == m_nNeed) {
            const bool sound = Checksum(&m_reply.bytes[2], static_cast<size_t>(m_nNeed - 3)) ==
                               m_reply.bytes[static_cast<size_t>(m_nNeed - 1)];
            return Finish(sound ? Kind::Complete : Kind::Invalid);
        }
    }
    if (m_reply.nLength >= 2 && m_nBlocks > kMaxReplyBlocks) return Finish(Kind::Invalid);
    return {};
}

bool ParseIdList(const Reply &reply, int32_t &more, CStringArray &names)
{
    if (!reply.HasData(2)) return false;
    const uint8_t *data = reply.Data();
    more = data[0] << 8 | data[1];
    const int ids = (reply.DataLength() - 2) / kBasicClipIdBytes;
    for (int i = 0; i < ids; ++i) {
        const auto *id = reinterpret_cast<const char *>(data + 2 + i * kBasicClipIdBytes);
        if (id[0] == 0) continue;
        names.Add(CString(id, static_cast<int>(strnlen(id, kBasicClipIdBytes))));
    }
    return true;
}

} // namespace vdcp
