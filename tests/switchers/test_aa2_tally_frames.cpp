// The AA2 frames and the Talley and VM3000 commands byte for byte; the AA2 and VM3000 stream
// decoders on good, bad-check, refused, cut-off, stray and split input, in every chunking; the
// AA2 reply texts of both dialects.
#include "tests/kit/DecoderChunks.h"
#include "drivers/switchers/aa2/Aa2Frames.h"
#include "drivers/switchers/tally/TallyFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace swframe;

namespace {

Bytes B(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

Bytes Cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// An event as kind letter, text and check: "A", "N", "P", "R<text>" or "X<text>" (bad check).
std::string Show(const Aa2Event &e)
{
    switch (e.kind) {
    case Aa2Event::Kind::Ack:
        return "A";
    case Aa2Event::Kind::Nak:
        return "N";
    case Aa2Event::Kind::Poll:
        return "P";
    case Aa2Event::Kind::Reply:
        break;
    }
    return (e.checkOk ? "R" : "X") + e.text;
}

// A reply as letter, output and input.
std::string Show(const Vm3000Reply &r)
{
    return std::string(1, r.letter) + "," + std::to_string(r.output) + "," +
           std::to_string(r.input);
}

} // namespace

TEST(Aa2Frames, CommandsByteForByte)
{
    struct Case {
        const char *what;
        Bytes got;
        Bytes want;
    } cases[] = {
        {"AA2 switch: input 4 before output 1", Aa2Switch(Aa2Dialect::Aa2, 4, 1),
         Cat(Cat({0x01}, B("AS01N0401T0C")), {0x04})},
        {"VRS1620 switch: output 1 before input 4", Aa2Switch(Aa2Dialect::Vrs1620, 4, 1),
         Cat(Cat({0x01}, B("AS01N0104T0C")), {0x04})},
        {"query of output 1", Aa2Query(1), Cat(Cat({0x01}, B("QDN015A")), {0x04})},
        {"upper-case digits", Aa2Switch(Aa2Dialect::Aa2, 0xAB, 0x1F),
         Cat(Cat({0x01}, B("AS01NAB1FT")), Cat(B(Aa2Check("AS01NAB1FT")), {0x04}))},
        {"input past a byte", Aa2Switch(Aa2Dialect::Aa2, 256, 0), {}},
        {"negative output", Aa2Switch(Aa2Dialect::Vrs1620, 0, -1), {}},
        {"query past a byte", Aa2Query(256), {}},
    };
    for (const auto &c : cases) EXPECT_EQ(c.got, c.want) << c.what;
    EXPECT_EQ(Aa2Check("DQN0B"), "29");
    EXPECT_EQ(Aa2Check("DQN0A"), "2A") << "'0' plus the high nibble, hex low nibble";
    EXPECT_EQ(Aa2Check(std::string(1, '\xC1')), "<1") << "'0' plus a high nibble past 9";
}

TEST(Aa2Frames, DecoderInEveryChunking)
{
    const Bytes ack{0x06}, nak{0x15};
    const Bytes dq = Aa2Frame("DQ", "N0B");
    Bytes badDq = dq;
    badDq[badDq.size() - 2] ^= 0x01;
    struct Case {
        const char *what;
        Bytes input;
        std::vector<std::string> events;
    } cases[] = {
        {"ACK after noise", Cat({'x', 0x7F}, ack), {"A"}},
        {"NAK", nak, {"N"}},
        {"a framed reply", dq, {"RDQN0B"}},
        {"a reply whose check does not hold", badDq, {"XDQN0B"}},
        {"a lower-case check still holds", Cat(Cat({0x01}, B("DQN0A2a")), {0x04}), {"RDQN0A"}},
        {"a frame cut off by another", Cat(Cat({0x01}, B("DQN")), dq), {"RDQN0B"}},
        {"a frame cut off by ACK", Cat(Cat({0x01}, B("DQ")), ack), {"A"}},
        {"polls outside frames only",
         Cat(Cat({'#'}, Aa2Frame("D#", "")), {'#'}),
         {"P", "RD#", "P"}},
        {"EOT outside a frame is stray", Cat({0x04}, ack), {"A"}},
        {"a frame too short for its check", {0x01, 'Z', 0x04}, {"X"}},
        {"one reply after another", Cat(Cat(ack, dq), nak), {"A", "RDQN0B", "N"}},
    };
    for (const auto &c : cases)
        kit::ExpectInEveryChunking(
            c.what, c.input, c.events, [] { return CAa2Decoder(); },
            [](const Aa2Event &e) { return Show(e); });
}

TEST(Aa2Frames, OverlongFrameIsDroppedAndResetForgetsAnOpenOne)
{
    CAa2Decoder decoder;
    Bytes runaway{0x01};
    runaway.insert(runaway.end(), CAa2Decoder::kMaxPending + 10, 'A');
    runaway.push_back(0x04);
    EXPECT_TRUE(decoder.Feed(runaway.data(), runaway.size()).empty());
    const Bytes open{0x01, 'D', 'Q'};
    decoder.Feed(open.data(), open.size());
    decoder.Reset();
    const Bytes rest = B("N0B29\x04");
    EXPECT_TRUE(decoder.Feed(rest.data(), rest.size()).empty());
}

TEST(Aa2Frames, ReplyTextsOfBothDialects)
{
    struct Case {
        const char *what;
        Aa2Dialect dialect;
        std::string text;
        Aa2Reply want;
    } cases[] = {
        {"AA2 DQ", Aa2Dialect::Aa2, "DQN0B", {true, false, 11, 11}},
        {"AA2 DQ locked", Aa2Dialect::Aa2, "DQL03", {true, true, 3, 3}},
        {"VRS1620 DQ", Aa2Dialect::Vrs1620, "DQ010BL", {true, true, 11, 11}},
        {"DQ input past the table", Aa2Dialect::Aa2, "DQN20", {true, false, -1, -1}},
        {"DQ without digits", Aa2Dialect::Aa2, "DQ", {true, false, -1, -1}},
        {"DR", Aa2Dialect::Aa2, "DRL.05.1F", {true, true, 5, 31}},
        {"DR second past the table", Aa2Dialect::Vrs1620, "DRN.05.40", {true, false, 5, -1}},
        {"unknown text", Aa2Dialect::Aa2, "XX0102", {}},
        {"empty text", Aa2Dialect::Aa2, "", {}},
    };
    for (const auto &c : cases) {
        const Aa2Reply got = Aa2ParseReply(c.dialect, c.text);
        EXPECT_EQ(got.ok, c.want.ok) << c.what;
        EXPECT_EQ(got.locked, c.want.locked) << c.what;
        EXPECT_EQ(got.input, c.want.input) << c.what;
        EXPECT_EQ(got.second, c.want.second) << c.what;
    }
}

TEST(TallyFrames, CommandsByteForByte)
{
    Bytes talley17(48, 0x00);
    const uint8_t head[] = {0x02, 0x00, 0x2C, 0x01, 0x01, 0x00, 0x02, 0x11};
    std::copy(std::begin(head), std::end(head), talley17.begin());
    EXPECT_EQ(TalleyCommand(17), talley17);
    EXPECT_EQ(TalleyCommand(0x104)[7], 0x04) << "the low eight bits";

    EXPECT_EQ(Vm3000Command('S', 2, 15), B("ZS002015\r"));
    EXPECT_EQ(Vm3000Command('S', 1, 7), B("ZS001007\r"));
    EXPECT_EQ(Vm3000Command('R', 64), B("ZR064\r")) << "a read has no input";
    EXPECT_TRUE(Vm3000Command('S', 1000, 1).empty());
    EXPECT_TRUE(Vm3000Command('S', -1, 1).empty());
    EXPECT_TRUE(Vm3000Command('S', 1, 1000).empty());
}

TEST(TallyFrames, Vm3000DecoderInEveryChunking)
{
    using R = Vm3000Reply;
    struct Case {
        const char *what;
        Bytes input;
        std::vector<R> replies;
    } cases[] = {
        {"done", B("ZY\r"), {{'Y'}}},
        {"refused", B("ZN\r"), {{'N'}}},
        {"a read's answer", B("ZR002015\r"), {{'R', 2, 15}}},
        {"acknowledged, then answered", B("ZY\r\nZR064001\r"), {{'Y'}, {'R', 64, 1}}},
        {"a read cut short", B("ZR00\rZY"), {{'R'}, {'Y'}}},
        {"another letter", B("ZQ\r"), {{'Q'}}},
        {"line ends and NULs between", Bytes{0x0D, 0x0A, 0x00, 'Z', 'Y'}, {{'Y'}}},
    };
    for (const auto &c : cases) {
        std::vector<std::string> want;
        for (const R &r : c.replies) want.push_back(Show(r));
        kit::ExpectInEveryChunking(
            c.what, c.input, want, [] { return CVm3000Decoder(); },
            [](const R &r) { return Show(r); });
    }
}
