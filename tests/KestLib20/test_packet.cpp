// Packets: head and data bounds with own and supplied buffers, growth in 64-byte steps,
// length-prefixed blocks at and beyond their limit, and references shared between threads.
#include "KestLib20/CPacket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Data(const CPacketData &packet)
{
    std::string out(static_cast<size_t>(packet.GetDataSize()), '\0');
    packet.Read(out.data(), 0, packet.GetDataSize());
    return out;
}

TEST(Packet, ASuppliedBufferCutsWritesToWhatItHolds)
{
    uint8_t buffer[100];
    memset(buffer, 0xEE, sizeof buffer);
    CPacket packet(CPacketData::Create(32, buffer, 100));
    CPacketData &p = *packet.Peek();
    EXPECT_EQ(buffer + 32, p.GetData());

    const std::string bytes(200, 'a');
    EXPECT_EQ(68, p.Write(bytes.data(), 0, 200));
    EXPECT_EQ(68, p.GetDataSize());
    EXPECT_EQ(8, p.Write("bcdefghijk", 60, 10));
    EXPECT_EQ(0, p.Write("x", 68, 1)) << "nothing is left to write";
    EXPECT_EQ(0, p.Resize(1000)) << "a supplied buffer is never grown";
    EXPECT_EQ(100, p.GetBufferSize());

    char out[16] = {};
    EXPECT_EQ(8, p.Read(out, 60, 16));
    EXPECT_EQ("bcdefghi", std::string(out, 8));
    EXPECT_EQ(0, p.Read(out, 68, 1));
}

TEST(Packet, NegativeOffsetsAndSizesAreRefused)
{
    CPacket packet;
    CPacketData &p = *packet.GetPacketData();
    EXPECT_EQ(4, p.Write("abcd", 0, 4));
    char out[8];
    EXPECT_EQ(0, p.Write("zz", -1, 2));
    EXPECT_EQ(0, p.Write("zz", 0, -2));
    EXPECT_EQ(0, p.Read(out, -2, 4));
    EXPECT_EQ(0, p.Read(out, 0, -1));
    EXPECT_EQ(0, p.Resize(-1));
    EXPECT_EQ("abcd", Data(p));

    p.SetHeadSize(-5);
    EXPECT_EQ(0, p.GetHeadSize());
    p.SetDataSize(-3);
    EXPECT_EQ(0, p.GetDataSize());
    p.SetDataSize(1 << 30);
    EXPECT_EQ(p.GetBufferSize(), p.GetDataSize()) << "cut to what the buffer holds";
}

TEST(Packet, TheOwnBlockGrowsInStepsOf64AndKeepsItsBytes)
{
    CPacket packet;
    CPacketData &p = *packet.GetPacketData();
    EXPECT_EQ(0, p.GetHeadSize());
    EXPECT_EQ(64, p.GetBufferSize());
    p.SetHeadSize(32);
    EXPECT_EQ(1, p.Resize(32));
    EXPECT_EQ(64, p.GetBufferSize());
    EXPECT_EQ(1, p.Resize(33));
    EXPECT_EQ(128, p.GetBufferSize());
    EXPECT_EQ(1, p.Resize(0));
    EXPECT_EQ(64, p.GetBufferSize());

    EXPECT_EQ(3, p.Write("xyz", 0, 3));
    EXPECT_EQ(5, p.Write("12345", 1000, 5));
    EXPECT_EQ(1005, p.GetDataSize());
    EXPECT_EQ((32 + 1005 + 63) / 64 * 64, p.GetBufferSize());
    char out[3];
    EXPECT_EQ(3, p.Read(out, 0, 3));
    EXPECT_EQ("xyz", std::string(out, 3));

    // Shrinking the block cuts the data to what it still holds.
    EXPECT_EQ(1, p.Resize(10));
    EXPECT_EQ(64, p.GetBufferSize());
    EXPECT_EQ(32, p.GetDataSize());
}

TEST(Packet, ImagesAndHeadsKeepTheirBounds)
{
    CPacket packet;
    CPacketData &p = *packet.GetPacketData();
    p.SetHeadSize(32);
    const std::string image = std::string(32, 'H') + "payload";
    EXPECT_EQ(39, p.CopyFrom(image.data(), 39));
    EXPECT_EQ(7, p.GetDataSize());
    EXPECT_EQ(0, memcmp(p.GetHead(), image.data(), 32));

    // An image shorter than the head changes nothing.
    EXPECT_EQ(0, p.CopyFrom("short", 5));
    EXPECT_EQ("payload", Data(p));
    EXPECT_EQ(0, p.CopyFrom(nullptr, 40));

    const std::string big = std::string(32, 'h') + std::string(300, 'd');
    EXPECT_EQ(332, p.CopyFrom(big.data(), 332));
    EXPECT_EQ(300, p.GetDataSize());

    // Into a supplied buffer only what it holds is copied.
    uint8_t small[40];
    CPacket other(CPacketData::Create(32, small, 40));
    EXPECT_EQ(40, other.Peek()->CopyFrom(*packet.Peek()));
    EXPECT_EQ(8, other.Peek()->GetDataSize());

    // A copy has its own block with the same head and data.
    CPacket copy(new CPacketData(*packet.Peek()));
    EXPECT_NE(packet.Peek()->GetHead(), copy.Peek()->GetHead());
    EXPECT_EQ(32, copy.Peek()->GetHeadSize());
    EXPECT_EQ(Data(*packet.Peek()), Data(*copy.Peek()));

    // A head larger than the buffer leaves no data part.
    other.Peek()->SetHeadSize(41);
    EXPECT_EQ(nullptr, other.Peek()->GetData());
    EXPECT_EQ(0, other.Peek()->GetDataSize());
    EXPECT_EQ(0, other.Peek()->SetBuffer(small, 40)) << "smaller than the head";
    EXPECT_EQ(0, other.Peek()->SetBuffer(nullptr, 100));
}

// A data part holding a 32-bit little-endian length and `body` bytes behind it.
CPacket Block(uint32_t length, size_t body)
{
    CPacket packet;
    CPacketData &p = *packet.GetPacketData();
    const uint8_t field[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                              static_cast<uint8_t>(length >> 16),
                              static_cast<uint8_t>(length >> 24)};
    p.Write(field, 0, 4);
    std::vector<uint8_t> bytes(body);
    for (size_t i = 0; i < body; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    if (body) p.Write(bytes.data(), 4, static_cast<int>(body));
    return packet;
}

// Bytes of the own block that no write has reached go out as zeros, never as whatever the
// allocation held, wherever the block grows.
TEST(Packet, BytesOfTheOwnBlockThatNoWriteReachedAreZero)
{
    struct Case {
        const char *what;
        int headSize;
        void (*grow)(CPacketData &p);
        int writtenFrom, writtenTo; // the bytes of the buffer that writes filled
    };
    const Case cases[] = {
        {"new block", 32, [](CPacketData &p) { p.SetDataSize(p.GetBufferSize()); }, 0, 0},
        {"write past the end", 0, [](CPacketData &p) { p.Write("x", 300, 1); }, 300, 301},
        {"resize, then the size set", 16,
         [](CPacketData &p) {
             p.Resize(500);
             p.SetDataSize(500);
         },
         0, 0},
        {"resize after a write", 8,
         [](CPacketData &p) {
             p.Write(std::string(56, '\xFF').data(), 0, 56);
             p.Resize(1000);
             p.SetDataSize(1000);
         },
         8, 64},
        {"image larger than the block", 4,
         [](CPacketData &p) {
             p.CopyFrom(std::string(100, 'i').data(), 100);
             p.SetDataSize(p.GetBufferSize());
         },
         0, 100},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CPacket packet(CPacketData::Create(c.headSize, nullptr, 0));
        CPacketData &p = *packet.Peek();
        c.grow(p);
        const uint8_t *bytes = p.GetHead();
        ASSERT_NE(bytes, nullptr);
        const int end = p.GetHeadSize() + p.GetDataSize();
        EXPECT_GE(end, 64) << "the case covers at least the first block";
        int stray = 0;
        for (int i = 0; i < end; ++i)
            if ((i < c.writtenFrom || i >= c.writtenTo) && bytes[i] != 0) ++stray;
        EXPECT_EQ(stray, 0);
    }
}

TEST(Packet, BlocksUpTo655360BytesAreRead)
{
    std::vector<uint8_t> out(655360);
    CPacket largest = Block(655360, 655360);
    int offset = 0;
    int size = static_cast<int>(out.size());
    ASSERT_TRUE(largest.Peek()->ReadAsBlock(offset, out.data(), size));
    EXPECT_EQ(655360, size);
    EXPECT_EQ(4 + 655360, offset);
    EXPECT_EQ(static_cast<uint8_t>(655359 * 7), out.back());

    CPacket tooLong = Block(655361, 655361);
    offset = 0;
    size = static_cast<int>(out.size());
    EXPECT_FALSE(tooLong.Peek()->ReadAsBlock(offset, out.data(), size));
    EXPECT_EQ(0, offset);

    CPacket negative = Block(0xFFFFFFFF, 8);
    offset = 0;
    size = 8;
    EXPECT_FALSE(negative.Peek()->ReadAsBlock(offset, out.data(), size));
}

TEST(Packet, ALongerBlockIsCutButTheOffsetPassesAllOfIt)
{
    CPacket packet = Block(10, 10);
    packet.Peek()->Write("next", 14, 4);
    uint8_t out[4];
    int offset = 0;
    int size = 4;
    ASSERT_TRUE(packet.Peek()->ReadAsBlock(offset, out, size));
    EXPECT_EQ(4, size);
    EXPECT_EQ(14, offset);
    EXPECT_EQ(21, out[3]);

    // A block claiming more than the data holds cannot be read whole.
    CPacket lying = Block(100, 10);
    offset = 0;
    uint8_t big[200];
    size = 200;
    EXPECT_FALSE(lying.Peek()->ReadAsBlock(offset, big, size));
    // Nor can a length field that is cut.
    CPacket cut;
    cut.GetPacketData()->Write("\x01\x00", 0, 2);
    offset = 0;
    size = 200;
    EXPECT_FALSE(cut.Peek()->ReadAsBlock(offset, big, size));
}

TEST(Packet, HandlesShareOneBufferAcrossThreads)
{
    CPacket origin;
    origin.GetPacketData()->Write("shared", 0, 6);
    CPacketData *data = origin.Peek();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([origin] {
            for (int i = 0; i < 2000; ++i) {
                CPacket a = origin;
                CPacket b(std::move(a));
                b = origin;
            }
        });
    }
    for (std::thread &t : threads) t.join();
    EXPECT_EQ(1, data->AddRef() - 1) << "only the origin's reference is left";
    data->Release();

    CPacket moved = std::move(origin);
    EXPECT_TRUE(origin.IsEmpty());
    EXPECT_EQ("shared", Data(*moved.Peek()));
    moved.Empty();
    EXPECT_TRUE(moved.IsEmpty());
}

} // namespace
