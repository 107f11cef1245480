// The station clocks' frames decoded from byte arrays: field layouts and centuries, checks that
// drop bad frames, resynchronisation after garbage, frames split in any chunking, and blocks
// that must arrive whole.
#include "drivers/model/ClockFrames.h"
#include "tests/kit/DecoderChunks.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
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
        for (const Reading &r : decoder->Feed(block.data(), block.size()))
            (r.valid ? out.taken : out.invalid).push_back(r);
    return out;
}

// A model's decoder held by value, as the chunking kit feeds it.
struct Held {
    std::unique_ptr<clockframe::CClockDecoder> decoder;
    std::vector<Reading> Feed(const uint8_t *data, size_t length)
    {
        return decoder->Feed(data, length);
    }
};

std::string Show(const Reading &r)
{
    const plat::SYSTEMTIME &t = r.time;
    return std::string(r.valid ? "valid " : "invalid ") + (r.timeOfDay ? "time " : "") +
           std::to_string(t.wYear) + "-" + std::to_string(t.wMonth) + "-" + std::to_string(t.wDay) +
           "(" + std::to_string(t.wDayOfWeek) + ") " + std::to_string(t.wHour) + ":" +
           std::to_string(t.wMinute) + ":" + std::to_string(t.wSecond) + "." +
           std::to_string(t.wMilliseconds);
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

TEST(ClockFrames, GarbageBeforeTheStartByteAndSplitFramesAreTakenInAnyChunking)
{
    Bytes noisyZ = {0x01, 0x13, 0x55};
    noisyZ.insert(noisyZ.end(), kZ3400.begin(), kZ3400.end());
    const Bytes st = {0x42, 0xAA, 0, 0, 0, 0x24, 0x06, 0x15, 0x02, 0x10, 0x30, 0x45, 0};
    Bytes stBad = st;
    stBad[7] = 0x32; // day 32
    const Bytes mcg = {0xAA, 0x14, 24, 6, 15, 6, 10, 30, 45};
    // Garbage that matches no header no longer holds the stream up for ever.
    Bytes noisyMcg = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    noisyMcg.insert(noisyMcg.end(), mcg.begin(), mcg.end());
    Bytes strayMcg = {0xAA};
    strayMcg.insert(strayMcg.end(), mcg.begin(), mcg.end());
    struct Case {
        const char *what;
        Model model;
        Bytes input;
        std::vector<std::string> want;
    };
    const std::vector<Case> cases{
        {"Z3400 after garbage", Model::Z3400, noisyZ, {"valid 2024-6-15(2) 10:30:45.20"}},
        {"ST3100 after garbage", Model::ST3100, st, {"valid 2024-6-15(2) 10:30:45.20"}},
        {"ST3100 with a bad day", Model::ST3100, stBad, {"invalid 2024-6-32(2) 10:30:45.20"}},
        {"MCG after garbage", Model::MCG, noisyMcg, {"valid 2024-6-15(6) 10:30:45.20"}},
        // A stray start byte is no frame: the frame after it is still read.
        {"MCG after a stray start byte", Model::MCG, strayMcg, {"valid 2024-6-15(6) 10:30:45.20"}},
        {"SY after garbage",
         Model::SY,
         {0x00, 0x55, 23, 59, 58},
         {"valid time 0-0-0(0) 23:59:58.0"}},
    };
    for (const Case &c : cases)
        kit::ExpectInEveryChunking(
            c.what, c.input, c.want, [&c] { return Held{clockframe::MakeDecoder(c.model)}; }, Show);
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
