// The station clocks' frames decoded from byte arrays: field layouts and centuries, checks that
// drop bad frames, resynchronisation after garbage, frames split across blocks, and blocks that
// must arrive whole.
#include "drivers/model/ClockFrames.h"

#include <gtest/gtest.h>

#include <vector>

using clockframe::Model;
using clockframe::Reading;
using Bytes = std::vector<uint8_t>;

namespace {

struct Decoded {
    std::vector<Reading> taken;
    std::vector<Reading> invalid;
};

// Feeds each block in turn to one decoder of `model`.
Decoded Decode(Model model, const std::vector<Bytes> &blocks)
{
    auto decoder = clockframe::MakeDecoder(model);
    Decoded out;
    for (const Bytes &block : blocks)
        decoder->Feed(
            block.data(), block.size(), [&](const Reading &r) { out.taken.push_back(r); },
            [&](const Reading &r) { out.invalid.push_back(r); });
    return out;
}

// Each byte of `frame` as a block of its own.
std::vector<Bytes> ByteByByte(const Bytes &frame)
{
    std::vector<Bytes> blocks;
    for (uint8_t b : frame) blocks.push_back({b});
    return blocks;
}

void ExpectTime(const Reading &r, int y, int mo, int d, int wd, int h, int mi, int s, int ms)
{
    EXPECT_EQ(r.time.wYear, y);
    EXPECT_EQ(r.time.wMonth, mo);
    EXPECT_EQ(r.time.wDay, d);
    EXPECT_EQ(r.time.wDayOfWeek, wd);
    EXPECT_EQ(r.time.wHour, h);
    EXPECT_EQ(r.time.wMinute, mi);
    EXPECT_EQ(r.time.wSecond, s);
    EXPECT_EQ(r.time.wMilliseconds, ms);
    EXPECT_FALSE(r.timeOfDay);
}

const Bytes kZ3400 = {0xAA, 0x77, 0x24, 0x06, 0x15, 0x02, 0x10, 0x30, 0x45};

} // namespace

TEST(ClockFrames, Z3400FieldsCenturyAndWeekday)
{
    Decoded d = Decode(Model::Z3400, {kZ3400});
    ASSERT_EQ(d.taken.size(), 1u);
    ExpectTime(d.taken[0], 2024, 6, 15, 2, 10, 30, 45, 20);

    Bytes old = kZ3400;
    old[2] = 0x75;
    old[5] = 0x08;
    d = Decode(Model::Z3400, {old});
    ASSERT_EQ(d.taken.size(), 1u);
    EXPECT_EQ(d.taken[0].time.wYear, 1975);
    EXPECT_EQ(d.taken[0].time.wDayOfWeek, 7);
}

TEST(ClockFrames, Z3400AndST3100ReportBadFieldsAndRecoverForTheNextFrame)
{
    Bytes bad = kZ3400;
    bad[3] = 0x13; // month 13
    Decoded d = Decode(Model::Z3400, {bad, kZ3400});
    ASSERT_EQ(d.invalid.size(), 1u);
    EXPECT_EQ(d.invalid[0].time.wMonth, 13);
    EXPECT_EQ(d.taken.size(), 1u);

    const Bytes st = {0xAA, 0,    0,    0,    0x24, 0x06,
                      0x15, 0x02, 0x10, 0x60, 0x45, 0}; // minute 60 passes
    const Bytes stBad = {0xAA, 0, 0, 0, 0x24, 0x06, 0x32, 0x02, 0x10, 0x30, 0x45, 0}; // day 32
    d = Decode(Model::ST3100, {stBad, st});
    EXPECT_EQ(d.invalid.size(), 1u);
    ASSERT_EQ(d.taken.size(), 1u);
    EXPECT_EQ(d.taken[0].time.wMinute, 60);
}

TEST(ClockFrames, GarbageBeforeTheStartByteAndSplitFramesAreTaken)
{
    Bytes noisy = {0x01, 0x13, 0x55};
    noisy.insert(noisy.end(), kZ3400.begin(), kZ3400.end());
    EXPECT_EQ(Decode(Model::Z3400, {noisy}).taken.size(), 1u);
    EXPECT_EQ(Decode(Model::Z3400, ByteByByte(noisy)).taken.size(), 1u);

    const Bytes st = {0x42, 0xAA, 0, 0, 0, 0x24, 0x06, 0x15, 0x02, 0x10, 0x30, 0x45, 0};
    EXPECT_EQ(Decode(Model::ST3100, ByteByByte(st)).taken.size(), 1u);
}

TEST(ClockFrames, SyTakesTheTimeOfDayWithinItsRanges)
{
    Decoded d = Decode(Model::SY, {{0x00, 0x55, 23}, {59, 58}});
    ASSERT_EQ(d.taken.size(), 1u);
    EXPECT_TRUE(d.taken[0].timeOfDay);
    EXPECT_EQ(d.taken[0].time.wHour, 23);
    EXPECT_EQ(d.taken[0].time.wMinute, 59);
    EXPECT_EQ(d.taken[0].time.wSecond, 58);
    // Hour 25 is dropped, and the buffer empties so that the next frame is read.
    d = Decode(Model::SY, {{0x55, 25, 0, 0}, {0x55, 1, 2, 3}});
    ASSERT_EQ(d.taken.size(), 1u);
    EXPECT_EQ(d.taken[0].time.wHour, 1);
}

TEST(ClockFrames, BjsxNeedsItsHeaderInOneBlock)
{
    Decoded d = Decode(Model::BJSX, {{0x40, 0x40, 0x02, 0xFD, 0x23, 0x59, 0x07}});
    ASSERT_EQ(d.taken.size(), 1u);
    EXPECT_TRUE(d.taken[0].timeOfDay);
    EXPECT_EQ(d.taken[0].time.wHour, 23);
    EXPECT_EQ(d.taken[0].time.wSecond, 7);
    // No buffering: a split frame, a short block or a wrong header give nothing.
    EXPECT_TRUE(Decode(Model::BJSX, {{0x40, 0x40, 0x02}, {0xFD, 0x23, 0x59, 0x07}}).taken.empty());
    EXPECT_TRUE(Decode(Model::BJSX, {{0x40, 0x40, 0x02, 0xFD, 0x23}}).taken.empty());
    EXPECT_TRUE(Decode(Model::BJSX, {{0x41, 0x40, 0x02, 0xFD, 0x23, 0x59, 0x07}}).taken.empty());
}

TEST(ClockFrames, McgIsBinaryAndResynchronisesAfterGarbage)
{
    const Bytes frame = {0xAA, 0x14, 24, 6, 15, 6, 10, 30, 45};
    Decoded d = Decode(Model::MCG, {frame});
    ASSERT_EQ(d.taken.size(), 1u);
    ExpectTime(d.taken[0], 2024, 6, 15, 6, 10, 30, 45, 20);
    // Garbage that matches no header no longer holds the stream up for ever.
    Bytes noisy = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    noisy.insert(noisy.end(), frame.begin(), frame.end());
    EXPECT_EQ(Decode(Model::MCG, ByteByByte(noisy)).taken.size(), 1u);
}

TEST(ClockFrames, Khc3400FindsItsPreambleAndKeepsAFrameAcrossBlocks)
{
    const Bytes frame = {0xAA, 0xAA, 0xAA, 45, 30, 10, 6, 15, 6, 24, 0, 0};
    Bytes stream = {0x10, 0x20};
    stream.insert(stream.end(), frame.begin(), frame.end());
    stream.insert(stream.end(), frame.begin(), frame.end());
    Decoded d = Decode(Model::KHC3400, {Bytes(stream.begin(), stream.begin() + 8),
                                        Bytes(stream.begin() + 8, stream.end())});
    ASSERT_EQ(d.taken.size(), 2u);
    ExpectTime(d.taken[0], 2024, 6, 15, 6, 10, 30, 45, 20);
}

TEST(ClockFrames, Tvz3100CompletesTheStoredMinuteWithEachSecond)
{
    const Bytes minute = {0xAA, 0x00, 0x24, 0x06, 0x15, 0x06, 0x10, 0x30};
    // A second before any minute frame, a 5-byte block and a wrong head change nothing.
    Decoded d = Decode(
        Model::TVZ3100,
        {{0x12}, {0xAA, 0x00, 0x24, 0x06, 0x15}, {0xAA, 0x01, 0x25, 0x06, 0x15, 0x06, 0x10, 0x30}});
    EXPECT_TRUE(d.taken.empty());
    d = Decode(Model::TVZ3100, {minute, {0x45}, {0x46}, {0xAA, 0x00, 0x25, 0, 0, 0, 0, 0}, {0x47}});
    ASSERT_EQ(d.taken.size(), 2u);
    ExpectTime(d.taken[0], 2024, 6, 15, 6, 10, 30, 45, 20);
    EXPECT_EQ(d.taken[1].time.wSecond, 46);
}
