// The binary switch frames byte for byte, and the reply checks and the stream decoders
// (BDS1602, APS1602, ONYX) on matching, refused, garbled, short and split input.
#include "tests/kit/DecoderChunks.h"
#include "drivers/switchers/binary/SwitchFrames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace swframe;

TEST(SwitchFrames, Bds1602CommandsAndReplies)
{
    EXPECT_EQ(Bds1602Command(0, 0, 15), (Bytes{0xA0, 0x00, 0x0F}));
    EXPECT_EQ(Bds1602Command(3, 2, 0), (Bytes{0xA3, 0x02, 0x00}));
    EXPECT_EQ(Bds1602Command(0, 16, 31), (Bytes{0xA0, 0x00, 0x0F})) << "bit 4 cleared";
    EXPECT_EQ(Bds1602Query(0), (Bytes{0xC0, 0x00}));

    const Bytes echo{0xA0, 0x00, 0x05};
    auto state = Bds1602Reply(echo.data(), echo.size(), false, 0, 0, 5);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->source, 5);
    EXPECT_FALSE(Bds1602Reply(echo.data(), echo.size(), false, 0, 0, 6)) << "another source";
    const Bytes presetEcho{0xA0, 0x01, 0x05};
    EXPECT_FALSE(Bds1602Reply(presetEcho.data(), 3, false, 0, 0, 5)) << "a preset's echo";
    const Bytes answer{0xA7, 0x11, 0x1C};
    state = Bds1602Reply(answer.data(), answer.size(), true, 0, 0, 0);
    ASSERT_TRUE(state) << "a query takes any state";
    EXPECT_EQ(state->unit, 7);
    EXPECT_EQ(state->bus, 0x01);
    EXPECT_EQ(state->source, 0x0C);
    EXPECT_FALSE(Bds1602Reply(answer.data(), 2, true, 0, 0, 0)) << "two bytes carry no state";
}

TEST(SwitchFrames, Aps1602FramesAndVerdicts)
{
    EXPECT_EQ(Aps1602Take(2), (Bytes{0x55, 0x21, 0x10, 0x02, 0x14}));
    EXPECT_EQ(Aps1602Preset(0), (Bytes{0x55, 0x21, 0x11, 0x00, 0x13}));
    EXPECT_EQ(Aps1602ProgramQuery(), (Bytes{0x55, 0x60, 0x21, 0x27}));
    EXPECT_EQ(Aps1602PresetQuery(), (Bytes{0x55, 0x60, 0x20, 0x26}));

    const auto verdict = [](Bytes reply) { return Aps1602Reply(reply.data(), reply.size()); };
    EXPECT_TRUE(verdict({0x10, 0x01, 0x02}).ok) << "acknowledged";
    EXPECT_FALSE(verdict({0x10, 0x02, 0x03}).ok) << "refused";
    EXPECT_FALSE(verdict({0x10, 0x01, 0x03}).ok) << "bad check";
    EXPECT_FALSE(verdict({0x11, 0x01, 0x05}).ok) << "shorter than its length byte says";
    EXPECT_FALSE(verdict({}).ok);
    EXPECT_TRUE(verdict({0x30, 0x44, 0x47}).ok) << "any other valid reply";

    const auto program = verdict({0x71, 0x21, 0x05, 0x2D});
    EXPECT_TRUE(program.ok);
    EXPECT_EQ(program.program, 5);
    EXPECT_EQ(program.preset, -1);
    const auto preset = verdict({0x71, 0x20, 0x09, 0x30});
    EXPECT_EQ(preset.preset, 9);
    EXPECT_EQ(preset.program, -1);
}

TEST(SwitchFrames, WriteOnlyModels)
{
    EXPECT_EQ(Avs300Frame(5), (Bytes{0x80, 0x04, 0x84}));
    EXPECT_EQ(Avs300Frame(17), (Bytes{0x80, 0x00, 0x80})) << "four bits of source";
    EXPECT_EQ(BjasFrame(2, 7, 7), (Bytes{0x01, 0x04, 0x10, 0x02, 0x07, 0x07, 0x16}));
    EXPECT_EQ(BjsxFrame(7), (Bytes{0xAA, 0x01, 0x07, 0x00, 0x08}));
    EXPECT_FALSE(BjsxFrame(8));
    EXPECT_FALSE(BjsxFrame(-1));
    EXPECT_EQ(BjsxReplyCode('Y'), 0);
    EXPECT_EQ(BjsxReplyCode(0x02), 2);
    EXPECT_EQ(BjsxReplyCode(0x04), 4);
    EXPECT_EQ(BjsxV20Take(1), (Bytes{0xAA, 0x00, 0x11, 0x10, 0x35}));
    EXPECT_EQ(BjsxV20Route(1), (Bytes{0xBB, 0xA1, 0x10, 0x94}));
    for (int source = 0; source < 16; ++source) {
        unsigned takeSum = 0, routeSum = 0;
        for (uint8_t b : BjsxV20Take(source)) takeSum += b;
        for (uint8_t b : BjsxV20Route(source)) routeSum += b;
        EXPECT_EQ(takeSum % 256, 0u) << source;
        EXPECT_EQ(routeSum % 256, 0u) << source;
    }
    EXPECT_TRUE(BjsxV20Take(16).empty());
    EXPECT_EQ(BoHuiFrame({1, 0, 1, 0, 1, 0, 1, 0}),
              (Bytes{0xFF, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0, 0x7F}));
    EXPECT_EQ(Network1616Frame(1, 2), (Bytes{0x90, 0x01, 0x02, 0xA0, 0x01, 0x02}));
    EXPECT_EQ(OnyxTake(0x79, 15, 9, 5), (Bytes{0x21, 0x79, 0x04, 0x1F, 0x09, 0x05, 0xAA}));
    EXPECT_EQ(OnyxPollAnswer(0x79), (Bytes{0xF9, 0x00}));
}

TEST(SwitchFrames, OnyxPollsAndConfirmationsOutOfSplitAndGarbledInput)
{
    // Garbage, a poll, a false start, a confirmation of entry 9 on channel 5, another unit's
    // poll, a poll.
    const Bytes input = {0x00, 0x23, 0xF9, 0x23, 0x11, 0x23, 0x79, 0x04,
                         0x0F, 0x09, 0x05, 0x00, 0x23, 0xF8, 0x23, 0xF9};
    kit::ExpectInEveryChunking(
        "polls and a confirmation", input, {"poll", "entry 9 on 5", "poll"},
        [] { return COnyxDecoder(0x79, 15); },
        [](const COnyxDecoder::Event &e) {
            return e.poll ? std::string("poll")
                          : "entry " + std::to_string(e.entry) + " on " + std::to_string(e.channel);
        });
}

namespace {

// A reply as its bytes in decimal.
std::string Show(const CBds1602Decoder::Reply &reply)
{
    std::string text;
    for (uint8_t b : reply) text += std::to_string(b) + " ";
    return text;
}

// A verdict as (ok, program, preset).
std::string Show(const Aps1602Verdict &v)
{
    return std::to_string(v.ok) + "," + std::to_string(v.program) + "," + std::to_string(v.preset);
}

template <class Events> std::vector<std::string> Shown(const Events &events)
{
    std::vector<std::string> shown;
    for (const auto &e : events) shown.push_back(Show(e));
    return shown;
}

} // namespace

TEST(SwitchFrames, Bds1602RepliesOutOfSplitAndStrayInput)
{
    using Reply = CBds1602Decoder::Reply;
    const struct {
        const char *what;
        Bytes input;
        std::vector<Reply> replies;
    } cases[] = {
        {"an echo", {0xA0, 0x00, 0x05}, {{0xA0, 0x00, 0x05}}},
        {"a stray byte first", {0x07, 0xA0, 0x00, 0x05}, {{0xA0, 0x00, 0x05}}},
        {"a stray head first", {0xFF, 0xA0, 0x00, 0x05}, {{0xA0, 0x00, 0x05}}},
        {"a head cut short by another", {0xA0, 0x01, 0xC3, 0x02, 0x0C}, {{0xC3, 0x02, 0x0C}}},
        {"two replies",
         {0xA0, 0x00, 0x05, 0xA7, 0x11, 0x1C},
         {{0xA0, 0x00, 0x05}, {0xA7, 0x11, 0x1C}}},
        {"two bytes are no reply yet", {0xA0, 0x00}, {}},
    };
    for (const auto &c : cases)
        kit::ExpectInEveryChunking(
            c.what, c.input, Shown(c.replies), [] { return CBds1602Decoder(); },
            [](const Reply &r) { return Show(r); });

    CBds1602Decoder decoder;
    const Bytes half{0xA0, 0x00};
    decoder.Feed(half.data(), half.size());
    decoder.Reset();
    const Bytes rest{0x05, 0xA0, 0x00};
    EXPECT_EQ(decoder.Feed(rest.data(), rest.size()), (std::vector<Reply>{}))
        << "a reset drops the half";
    const Bytes last{0x06};
    EXPECT_EQ(decoder.Feed(last.data(), 1), (std::vector<Reply>{{0xA0, 0x00, 0x06}}));
}

TEST(SwitchFrames, Aps1602RepliesOutOfSplitAndStrayInput)
{
    using Verdicts = std::vector<Aps1602Verdict>;
    const struct {
        const char *what;
        Bytes input;
        Verdicts verdicts;
    } cases[] = {
        {"an acknowledgement", {0x10, 0x01, 0x02}, {{true, -1, -1}}},
        {"a refusal", {0x10, 0x02, 0x03}, {{false, -1, -1}}},
        {"a program report", {0x71, 0x21, 0x05, 0x2D}, {{true, 5, -1}}},
        {"a stray byte first", {0x00, 0x10, 0x01, 0x02}, {{true, -1, -1}}},
        {"a stray byte promising a long reply", {0x3F, 0x71, 0x20, 0x09, 0x30}, {{true, -1, 9}}},
        {"garbled bytes, then a reply", {0x10, 0x01, 0x03, 0x10, 0x01, 0x02}, {{true, -1, -1}}},
        {"a reply cut short", {0x71, 0x21, 0x05}, {}},
        {"two replies",
         {0x10, 0x01, 0x02, 0x71, 0x21, 0x03, 0x2B},
         {{true, -1, -1}, {true, 3, -1}}},
    };
    for (const auto &c : cases)
        kit::ExpectInEveryChunking(
            c.what, c.input, Shown(c.verdicts), [] { return CAps1602Decoder(); },
            [](const Aps1602Verdict &v) { return Show(v); });
}
