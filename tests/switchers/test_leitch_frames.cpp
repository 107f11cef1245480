// The Leitch lines from their builders, without a port: every command template with its
// arguments, the entering of templates, the status character rule, the analogue keywords,
// the Panacea and XPR lines, and the terminal replies noted in every chunking.
#include "tests/kit/DecoderChunks.h"

#include "drivers/switchers/leitch/LeitchFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace leitch;

namespace {

const std::string kLevels = "0123456789";

CCmdTemplateMap LeitchMap()
{
    CCmdTemplateMap map;
    map.LoadTable(CCmdTemplateMap::LeitchTable());
    return map;
}

tagCmdTemplate Record(int32_t key, const char *command)
{
    tagCmdTemplate record;
    record.nKey = key;
    std::strncpy(record.szCommand, command, sizeof record.szCommand - 1);
    return record;
}

} // namespace

TEST(LeitchTemplates, EveryKeyFormatsItsLine)
{
    const CCmdTemplateMap map = LeitchMap();
    const CmdArg levels = CmdArg::Text(kLevels);
    struct Case {
        int32_t key;
        std::vector<CmdArg> args;
        const char *line;
    };
    const Case cases[] = {
        {1, {CmdArg::Text("HELLO")}, "HELLO\r"},
        {2, {}, "@ ?\r"},
        {3, {CmdArg::Of('7')}, "@ ? 7\r"},
        {4, {}, "@ !\r"},
        {5, {levels, CmdArg::Of(2), CmdArg::Of(4)}, "@ P:0123456789/2,4\r"},
        {5, {levels, CmdArg::Of(65535), CmdArg::Of(4)}, "@ P:0123456789/FFFF,4\r"},
        {6, {CmdArg::Text("V"), CmdArg::Of(2), CmdArg::Of(4), CmdArg::Of(10)}, "@ P:V/2,4:IA\r"},
        {7, {CmdArg::Of('V'), CmdArg::Of(26)}, "@ P?V1A\r"},
        {8, {CmdArg::Of('V')}, "@ V?V\r"},
        {9, {}, "@ B:E\r"},
        {10, {}, "@ B:C\r"},
        {11, {}, "@ B:R\r"},
        {12, {levels, CmdArg::Of(1), CmdArg::Of(10)}, "@ X:0123456789/1,A\r"},
        {13, {levels, CmdArg::Of(1), CmdArg::Of(10), CmdArg::Of(255)}, "@ X:0123456789/1,A:IFF\r"},
        {14, {CmdArg::Of('0'), CmdArg::Of(3)}, "@ X?03\r"},
        {15, {CmdArg::Of('V')}, "@ S?V\r"},
        {16, {CmdArg::Of('0')}, "@ F?0\r"},
        {17, {CmdArg::Text("7")}, "@ Z:7\r"},
        // An argument's own "%" is not taken for a placeholder.
        {12, {CmdArg::Text("%X"), CmdArg::Of(1), CmdArg::Of(2)}, "@ X:%X/1,2\r"},
        // Arguments missing count as 0 and empty.
        {5, {levels}, "@ P:0123456789/0,0\r"},
    };
    for (const Case &c : cases) {
        std::string line = "left over";
        EXPECT_EQ(map.FormatCommand(c.key, line, c.args), 1) << c.key;
        EXPECT_EQ(line, c.line) << c.key;
    }
    std::string line = "left over";
    EXPECT_EQ(map.FormatCommand(18, line, {}), 0);
    EXPECT_EQ(line, "") << "an unknown key gives an empty line";
}

TEST(LeitchTemplates, EnteringCountsPlaceholdersAndRefusesAKeyTwice)
{
    CCmdTemplateMap map = LeitchMap();
    ASSERT_NE(map.FindTemplate(13), nullptr);
    EXPECT_EQ(map.FindTemplate(13)->nArgCount, 4);
    EXPECT_EQ(map.FindTemplate(9)->nArgCount, 0);
    EXPECT_STREQ(map.FindTemplate(12)->szReply, "S:%C%X,%X");
    EXPECT_EQ(map.FindTemplate(0), nullptr);
    EXPECT_EQ(map.FindTemplate(18), nullptr) << "the table ends at key 0";

    EXPECT_EQ(map.AddTemplate(Record(9, "@ other$R")), 0);
    std::string line;
    map.FormatCommand(9, line, {});
    EXPECT_EQ(line, "@ B:E\r") << "the first record of a key stays";

    EXPECT_EQ(map.AddTemplate(Record(40, "%C$T-$R$R")), 1);
    map.FormatCommand(40, line, {CmdArg::Of('Q')});
    EXPECT_EQ(line, "Q-\r\r") << "$T is dropped, every $R becomes CR";

    const tagCmdTemplate table[] = {Record(7, "A$R"), Record(0, ""), Record(8, "B$R")};
    map.LoadTable(table);
    EXPECT_EQ(map.FindTemplate(12), nullptr) << "loading empties the map first";
    EXPECT_NE(map.FindTemplate(7), nullptr);
    EXPECT_EQ(map.FindTemplate(8), nullptr);
}

TEST(LeitchTemplates, StatusCharacterRule)
{
    const CCmdTemplateMap map = LeitchMap();
    const std::pair<char, const char *> cases[] = {
        {'7', "@ ? 7\r"},  {'0', "@ ? 0\r"}, {'9', "@ ? 9\r"}, {' ', "@ ? 0\r"},
        {'\0', "@ ? 0\r"}, {'A', "@ ?\r"},   {':', "@ ?\r"},
    };
    for (const auto &[c, expected] : cases) {
        const StatusCommand query = StatusQuery(c);
        std::string line;
        ASSERT_EQ(map.FormatCommand(query.key, line, query.args), 1);
        EXPECT_EQ(line, expected) << int(c);
    }
}

TEST(LeitchLines, AnalogPanaceaAndXpr)
{
    const std::pair<std::string, std::string> cases[] = {
        {AnalogCommand(kDestination, 2), "D2\r"},
        {AnalogCommand(kLevel, 0), "L0\r"},
        {AnalogCommand(kSource, 16), "S16\r"},
        {AnalogCommand(kPoll, 3), "P3\r"},
        {AnalogCommand(kTerminal, 12), "T12\r"},
        {AnalogCommand(kInformation, 5), "I\r"},
        {AnalogCommand(kQuery), "Q\r"},
        {AnalogCommand(kRead), "R\r"},
        {AnalogCommand(kZero), "Z\r"},
        {AnalogXPoint(0, 5, 2), "X0:5,2\r"},
        {PanaceaXPoint(1, 7, 3), "X 1:7,3\r"},
        {PanaceaXPoint(0, 12, 65535), "X 0:12,65535\r"},
        {XprTake(5, 2), "l0;s5;d2\rl1;s5;d2\rl2;s5;d2\rl3;s5;d2\r"},
        {XprAsTake(6, 1), "l0;s6;d1\r\n"},
    };
    for (const auto &[line, expected] : cases) EXPECT_EQ(line, expected);

    const char *keywords[] = {"DESTINATION", "INFORMATION", "LEVEL",    "POLL",   "QUERY",
                              "READ",        "SOURCE",      "TERMINAL", "XPOINT", "ZERO"};
    for (int id = 0; id < kKeywordCount; ++id) {
        EXPECT_EQ(AnalogKeywords()[id].id, id);
        EXPECT_STREQ(AnalogKeywords()[id].keyword, keywords[id]);
        EXPECT_EQ(AnalogKeywords()[id].code, keywords[id][0]);
    }
}

TEST(LeitchReplyScan, WholeRepliesInEveryChunking)
{
    struct Case {
        const char *what;
        std::string bytes;
        int replies;
        size_t held;
    };
    const Case cases[] = {
        {"two status lines: one reply, nothing held", "S:01,4\rS:11,4\r", 1, 0},
        {"noise before the marker", "\r\n>>S:0FFFF,4\r", 1, 0},
        {"no marker at all", "\r\n>> 123456789", 0, 0},
        {"a short reply is held", "S:01,4\r", 0, 7},
        {"nine bytes from the marker", "xxF:0A,12345", 1, 0},
    };
    // The scan's replies, and what it holds once the last byte is in.
    struct HeldScan {
        CLeitchReplyScan scan;
        size_t left;
        std::vector<std::string> Feed(const uint8_t *data, size_t length)
        {
            std::vector<std::string> shown(scan.Feed(data, length).size(), "reply");
            EXPECT_LE(scan.Pending(), CLeitchReplyScan::kWhole);
            left -= length;
            if (left == 0) shown.push_back("held " + std::to_string(scan.Pending()));
            return shown;
        }
    };
    for (const Case &c : cases) {
        const std::vector<uint8_t> input(c.bytes.begin(), c.bytes.end());
        std::vector<std::string> want(static_cast<size_t>(c.replies), "reply");
        want.push_back("held " + std::to_string(c.held));
        kit::ExpectInEveryChunking(
            c.what, input, want,
            [&] {
                return HeldScan{{}, input.size()};
            },
            [](const std::string &shown) { return shown; });
    }
}
