#include "devext/device/NetHead.h"

#include <cstring>

namespace {

void PutU16(uint8_t *out, uint16_t value)
{
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(uint8_t *out, uint32_t value)
{
    PutU16(out, static_cast<uint16_t>(value));
    PutU16(out + 2, static_cast<uint16_t>(value >> 16));
}

uint16_t GetU16(const uint8_t *in)
{
    return static_cast<uint16_t>(in[0] | in[1] << 8);
}

uint32_t GetU32(const uint8_t *in)
{
    return GetU16(in) | uint32_t{GetU16(in + 2)} << 16;
}

// The head part of a packet that has a 32-byte head, else null.
uint8_t *HeadBytes(const CPacket &packet)
{
    CPacketData *data = packet.Peek();
    if (!data || data->GetHeadSize() != tagNetHead::kSize) return nullptr;
    if (data->GetBufferSize() < tagNetHead::kSize) return nullptr;
    return data->GetHead();
}

} // namespace

void tagNetHead::Encode(uint8_t *out) const
{
    PutNetAddr(out, source, sourceReserved);
    PutNetAddr(out + kNetAddrWireSize, destination, destinationReserved);
    PutU16(out + 16, serviceId);
    PutU16(out + 18, messageId);
    PutU16(out + 20, replyBox);
    PutU16(out + 22, result);
    PutU16(out + 24, word24);
    PutU16(out + 26, word26);
    PutU32(out + 28, dword28);
}

tagNetHead tagNetHead::Decode(const uint8_t *in)
{
    tagNetHead head;
    head.source = GetNetAddr(in, &head.sourceReserved);
    head.destination = GetNetAddr(in + kNetAddrWireSize, &head.destinationReserved);
    head.serviceId = GetU16(in + 16);
    head.messageId = GetU16(in + 18);
    head.replyBox = GetU16(in + 20);
    head.result = GetU16(in + 22);
    head.word24 = GetU16(in + 24);
    head.word26 = GetU16(in + 26);
    head.dword28 = GetU32(in + 28);
    return head;
}

CPacket glNewNetPacket()
{
    CPacket packet(CPacketData::Create(tagNetHead::kSize, nullptr, 0));
    if (uint8_t *head = HeadBytes(packet)) std::memset(head, 0, tagNetHead::kSize);
    return packet;
}

int glHasNetHead(const CPacket &packet)
{
    return HeadBytes(packet) ? 1 : 0;
}

int glGetNetHead(const CPacket &packet, tagNetHead &head)
{
    const uint8_t *bytes = HeadBytes(packet);
    if (!bytes) return 0;
    head = tagNetHead::Decode(bytes);
    return 1;
}

int glSetNetHead(CPacket &packet, const tagNetHead &head)
{
    uint8_t *bytes = HeadBytes(packet);
    if (!bytes) return 0;
    head.Encode(bytes);
    return 1;
}

int glSetNetHeadWords(CPacket &packet, uint16_t messageId, uint16_t serviceId, uint16_t result,
                      uint16_t replyBox, uint16_t word24, uint32_t dword28)
{
    tagNetHead head;
    if (!glGetNetHead(packet, head)) return 0;
    head.messageId = messageId;
    head.serviceId = serviceId;
    head.result = result;
    head.replyBox = replyBox;
    head.word24 = word24;
    head.dword28 = dword28;
    return glSetNetHead(packet, head);
}
