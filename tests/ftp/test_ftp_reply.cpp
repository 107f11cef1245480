// What the control connection says, taken apart from byte arrays: reply lines into complete
// replies, PASV addresses, listing lines; and the checks of copied key files and the far
// copy's expected times, and where a connection stands after its directory changes, which
// need no server.
#include "drivers/sources/ftp/FtpConnState.h"
#include "drivers/sources/ftp/FtpKeyFiles.h"
#include "drivers/sources/ftp/FtpReply.h"
#include "drivers/sources/ftp/FtpStoreCommon.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Fed {
    std::vector<std::string> received, discarded;
    int completed = 0;
};

Fed FeedAll(FtpReplyParser &parser, const std::vector<std::string> &lines)
{
    Fed fed;
    for (const std::string &line : lines) {
        const FtpReplyParser::Outcome out = parser.Feed(line.c_str());
        if (out.received) fed.received.emplace_back(out.receivedText.GetString());
        if (out.discarded) fed.discarded.emplace_back(out.discardedText.GetString());
        if (out.completed) ++fed.completed;
    }
    return fed;
}

std::vector<std::pair<int, std::string>> Queue(const FtpReplyParser &parser)
{
    std::vector<std::pair<int, std::string>> queue;
    for (const tagFtpReply &reply : parser.Replies())
        queue.emplace_back(reply.code, reply.text.GetString());
    return queue;
}

using Queued = std::vector<std::pair<int, std::string>>;

struct ReplyCase {
    const char *name;
    std::vector<std::string> lines;
    Queued queue;
    int completed;
    std::vector<std::string> discarded;
};

TEST(FtpReplyParser, FilesLinesIntoReplies)
{
    const std::vector<ReplyCase> cases = {
        {"one line", {"257 \"/clips\" is current"}, {{257, "257 \"/clips\" is current"}}, 1, {}},
        {"blanks trimmed", {"  200 ok  "}, {{200, "200 ok"}}, 1, {}},
        {"three-line reply",
         {"150-Opening", "more text", "150 done"},
         {{150, "Openingmore text150 done"}},
         1,
         {}},
        {"continuation with the code",
         {"211-Features:", "211-MDTM", "211 End"},
         {{211, "Features:MDTM211 End"}},
         1,
         {}},
        {"still open", {"150-Opening", "more"}, {{-150, "Openingmore"}}, 0, {}},
        {"another code closes it and is lost",
         {"150-Opening", "226 Transfer complete"},
         {{150, "Opening"}},
         1,
         {}},
        {"text on an empty queue is dropped", {"hello there"}, {}, 0, {"hello there"}},
        {"text after a complete reply opens one of its code",
         {"226 done", "extra words"},
         {{226, "226 done"}, {-226, "extra words"}},
         1,
         {}},
        {"greeting and notice set aside",
         {"220 FTP ready", "120 wait a moment", "220-Welcome", "331 user ok"},
         {{331, "331 user ok"}},
         1,
         {"220 FTP ready", "120 wait a moment", "Welcome"}},
        {"short lines never count", {"ab", "  12 ", "", "230 in"}, {{230, "230 in"}}, 1, {}},
    };
    for (const ReplyCase &c : cases) {
        FtpReplyParser parser;
        const Fed fed = FeedAll(parser, c.lines);
        EXPECT_EQ(Queue(parser), c.queue) << c.name;
        EXPECT_EQ(fed.completed, c.completed) << c.name;
        EXPECT_EQ(fed.discarded, c.discarded) << c.name;
    }
}

TEST(FtpReplyParser, ShortLinesReachNoHookAndLongOnesAllDo)
{
    FtpReplyParser parser;
    const Fed fed = FeedAll(parser, {"a", "ab ", "abc", "220 hi", "200 ok"});
    EXPECT_EQ(fed.received, (std::vector<std::string>{"220 hi", "200 ok"}));
}

TEST(FtpReplyParser, TheEleventhUnreadReplyPushesOutTheOldest)
{
    FtpReplyParser parser;
    for (int i = 0; i < 12; ++i) parser.Feed(CString(std::to_string(300 + i).c_str()) + " x");
    ASSERT_EQ(parser.Size(), FtpReplyParser::kMaxQueued);
    EXPECT_EQ(parser.Replies().front().code, 301);
    EXPECT_EQ(parser.Replies().back().code, 311);
}

TEST(FtpReplyParser, TakesOnlyCompleteRepliesOldestFirst)
{
    FtpReplyParser parser;
    tagFtpReply reply;
    parser.Feed("150-Opening");
    EXPECT_FALSE(parser.Take(reply)) << "an open reply stays until its last line";
    parser.Feed("150 go");
    parser.Feed("226 done");
    ASSERT_TRUE(parser.Take(reply));
    EXPECT_EQ(reply.code, 150);
    parser.AddLost();
    ASSERT_TRUE(parser.Take(reply));
    EXPECT_EQ(reply.code, 226);
    ASSERT_TRUE(parser.Take(reply));
    EXPECT_EQ(reply.code, FtpReplyParser::kLostCode);
    EXPECT_EQ(std::string(reply.text), "Net work error");
    parser.Feed("200 a");
    parser.Feed("200 b");
    const std::vector<CString> dropped = parser.Clear();
    ASSERT_EQ(dropped.size(), 2u);
    EXPECT_EQ(std::string(dropped[1]), "200 b");
    EXPECT_EQ(parser.Size(), 0u);
}

TEST(FtpPasvReply, ReadsHostAndPort)
{
    struct Case {
        const char *text;
        bool ok;
        uint8_t h[4];
        uint16_t port;
    };
    const Case cases[] = {
        {"227 Entering Passive Mode (127,0,0,1,4,1).", true, {127, 0, 0, 1}, 1025},
        {"10,1,2,3,255,255)", true, {10, 1, 2, 3}, 65535},
        {"227 =10,1,2,3,255,255", false, {}, 0}, // without "(" the code is read first
        {"227 (192,168,0,9,1,300", true, {192, 168, 0, 9}, 256 + 44},
        {"227 Entering Passive Mode (127,0,0,1,4)", false, {}, 0},
        {"227 no address", false, {}, 0},
    };
    for (const Case &c : cases) {
        tagFtpHostPort hp;
        ASSERT_EQ(ParsePasvReply(c.text, hp), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(std::vector<int>(hp.h, hp.h + 4), std::vector<int>(c.h, c.h + 4)) << c.text;
        EXPECT_EQ(hp.port, c.port) << c.text;
    }
}

TEST(FtpListLine, ParsesUnixLongForm)
{
    struct Case {
        const char *line;
        bool ok;
        int32_t type;
        const char *name;
        int64_t size;
    };
    const Case cases[] = {
        {"drwxr-xr-x   2 owner    group        4096 Dec 09 12:48 clips", true, 1, "clips", 4096},
        {"-rw-r--r--   1 owner    group     1000000 Jan 01  2020 news at  nine.mxf", true, 2,
         "news at  nine.mxf", 1000000},
        {"-rw-r--r--\t1 o g 6000000000 Feb 3 10:00 big", true, 2, "big", 6000000000LL},
        {"lrwxrwxrwx 1 o g 7 Feb 3 10:00 link -> x", true, 2, "link -> x", 7},
        {"drwxr-xr-x 2 o g 4096 Dec 09 12:48 .", true, 1, ".", 4096},
        {"drwxr-xr-x 2 o g 4096 Dec 09 12:48", false, 0, "", 0},
        {"-rw-r--r-- 1 o g size Dec 09 12:48 name", false, 0, "", 0},
        {"total 12", false, 0, "", 0},
        {"", false, 0, "", 0},
    };
    for (const Case &c : cases) {
        tagFtpEntry entry;
        ASSERT_EQ(ParseListLine(c.line, entry), c.ok) << c.line;
        if (!c.ok) continue;
        EXPECT_EQ(entry.type, c.type) << c.line;
        EXPECT_EQ(std::string(entry.name), c.name) << c.line;
        EXPECT_EQ(entry.size, c.size) << c.line;
    }
}

CArray<tagFtpEntry> Entries(const std::vector<std::pair<const char *, int64_t>> &files)
{
    CArray<tagFtpEntry> entries;
    for (const auto &[name, size] : files) {
        tagFtpEntry entry;
        entry.type = tagFtpEntry::kFile;
        entry.name = name;
        entry.size = size;
        entries.Add(entry);
    }
    return entries;
}

TEST(FtpKeyFiles, CopiedKeyFilesCheckBySizeAboveOneThousandBytes)
{
    CStringArray keys;
    DefaultKeyFiles(keys);
    const CArray<tagFtpEntry> source = Entries({{"header", 900}, {"ft", 100000}, {"std", 5000}});
    struct Case {
        const char *name;
        int copied;
        std::vector<std::pair<const char *, int64_t>> dest;
        bool listed;
        int verified;
    };
    const std::vector<Case> cases = {
        {"all there", 3, {{"header", 900}, {"ft", 100000}, {"std", 5000}}, true, 3},
        {"small key by presence alone", 3, {{"header", 1}, {"ft", 98000}, {"std", 5000}}, true, 3},
        {"97 percent fails", 3, {{"header", 900}, {"ft", 97000}, {"std", 5000}}, true, 2},
        {"missing at the destination", 3, {{"header", 900}, {"ft", 100000}}, true, 2},
        {"copy stopped early", 2, {{"header", 900}, {"ft", 100000}}, true, 1},
        {"destination not listed", 3, {}, false, -3},
    };
    for (const Case &c : cases) {
        const CArray<tagFtpEntry> dest = Entries(c.dest);
        EXPECT_EQ(CountVerifiedKeys(keys, c.copied, source, c.listed ? &dest : nullptr), c.verified)
            << c.name;
    }
}

TEST(FtpFarCopy, ExpectedTimeIsClampedBeforeItIsCut)
{
    using ftpstore::FarCopy;
    struct Case {
        int64_t durationMs;
        double speed;
        uint32_t expected, timeOut;
    };
    const Case cases[] = {
        {10000, 0.01, 1000000, 2000000},
        {1000, 0.01, 100000, 510000},
        {36000, 0.01, 3600000, 7200000},
        {2000000000LL, 0.0001, 3600000, 7200000}, // far beyond 32 bits before clamping
        {1000, 10.0, 500, 12500},
        {179000, 1.0, 179000, 905000},
        {180000, 1.0, 180000, 360000},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FarCopy::ExpectedMs(c.durationMs, c.speed), c.expected) << c.durationMs;
        EXPECT_EQ(FarCopy::TimeOutMs(c.expected), c.timeOut) << c.durationMs;
    }
}

TEST(FtpWorkDir, FollowsDirectoryChangesFromTheLogInDirectory)
{
    struct Case {
        std::vector<const char *> changes;
        const char *path;
    };
    const Case cases[] = {
        {{}, ""},
        {{"clips", "NEWS"}, "clips/NEWS"},
        {{"clips/NEWS", ".."}, "clips"},
        {{"clips/./NEWS/", "../SPORT"}, "clips/SPORT"},
        {{"a", "..", ".."}, ".."}, // above the log-in directory
        {{"..", "x", "..", "y"}, "../y"},
        {{"clips", "/srv/ftp", "a"}, "/srv/ftp/a"},
        {{"/", "..", "x"}, "/x"}, // the root's parent is the root
        {{"x", "/"}, "/"},
        {{"", "."}, ""},
    };
    for (const Case &c : cases) {
        FtpWorkDir dir;
        std::string trace;
        for (const char *change : c.changes) {
            dir.Change(change);
            trace += std::string(change) + " ";
        }
        EXPECT_EQ(std::string(dir.Path()), c.path) << trace;
        dir.Reset();
        EXPECT_EQ(std::string(dir.Path()), "") << trace;
    }
}

} // namespace
