// The 32-byte network head from arbitrary bytes: decoding and encoding give the bytes back,
// and a packet's head reads only when it is exactly 32 bytes.
#include "tests/fuzz/FuzzInput.h"

#include "devext/device/NetHead.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size >= tagNetHead::kSize) {
        const tagNetHead head = tagNetHead::Decode(data);
        uint8_t again[tagNetHead::kSize];
        head.Encode(again);
        FUZZ_CHECK(std::memcmp(again, data, sizeof again) == 0);
        FUZZ_CHECK(tagNetHead::Decode(again) == head);
        (void)head.DeliveryBox();
    }
    // A packet image whose head size comes from the first byte.
    if (size >= 1) {
        const int headSize = data[0] % 40;
        CPacket packet(CPacketData::Create(headSize, nullptr, 0));
        packet->CopyFrom(data + 1, static_cast<int>(size - 1));
        tagNetHead head;
        const int read = glGetNetHead(packet, head);
        FUZZ_CHECK(read == glHasNetHead(packet));
        FUZZ_CHECK(read == (headSize == tagNetHead::kSize ? 1 : 0));
        if (read) FUZZ_CHECK(glSetNetHead(packet, head) == 1);
    }
    return 0;
}
