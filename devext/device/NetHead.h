// The 32-byte network head in front of every packet that travels between processes: who sent
// it, where it goes, which mail box takes it and, for requests and replies, the message, the
// reply box and the result. Built and parsed field by field: integers little-endian, the two
// IP addresses in network byte order.
#pragma once

#include "KestLib20/CPacket.h"
#include "devext/Devext20Api.h"
#include "devext/device/NetAddr.h"

#include <cstdint>

struct DEVEXT20_API tagNetHead {
    static constexpr int kSize = 32;
    // The service id of a reply: the packet goes to the head's reply mail box.
    static constexpr uint16_t kReplyService = 3;
    // The message id every reply carries.
    static constexpr uint16_t kReplyMessage = 38;

    tagNetAddr source;                // 0: the sender's dispatcher (IP filled in on receipt)
    uint16_t sourceReserved = 0;      // 6
    tagNetAddr destination;           // 8
    uint16_t destinationReserved = 0; // 14
    uint16_t serviceId = 0;           // 16: the destination mail box
    uint16_t messageId = 0;           // 18
    uint16_t replyBox = 0;            // 20: the asking client's box; 0 for a one-way call
    uint16_t result = 0;              // 22
    uint16_t word24 = 0;
    uint16_t word26 = 0;
    uint32_t dword28 = 0;

    void Encode(uint8_t *out) const;
    static tagNetHead Decode(const uint8_t *in);

    // The local mail box a received packet goes to.
    uint16_t DeliveryBox() const { return serviceId == kReplyService ? replyBox : serviceId; }

    friend bool operator==(const tagNetHead &, const tagNetHead &) = default;
};

// A packet with a zero-filled 32-byte head part and no data.
DEVEXT20_API CPacket glNewNetPacket();
// 1 when the packet's head part is exactly the 32-byte network head.
DEVEXT20_API int glHasNetHead(const CPacket &packet);
// The packet's head into `head`; 0 (head untouched) without a 32-byte head.
DEVEXT20_API int glGetNetHead(const CPacket &packet, tagNetHead &head);
// Writes `head` over the packet's head part; 0 without a 32-byte head.
DEVEXT20_API int glSetNetHead(CPacket &packet, const tagNetHead &head);
// Writes message id, service id, result, reply mail box, the word at 24 and the double word at
// 28 in one call, leaving the addresses as they are; 0 without a 32-byte head.
DEVEXT20_API int glSetNetHeadWords(CPacket &packet, uint16_t messageId, uint16_t serviceId,
                                   uint16_t result, uint16_t replyBox, uint16_t word24,
                                   uint32_t dword28);
