// The FTP client against real FTP servers (pyftpdlib): listings of files, directories and
// nested trees (names with blanks, GBK names), directory sizes, rename and delete (refused
// ones reported as failed), and server-to-server copies: of a file, of a tree, to a server
// that refuses it, and to a server that goes away in the middle.
#include "tests/ftp/FtpPeerKit.h"

#include "platform/Gbk.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using ftptest::FtpServer;
using ftptest::TempTree;
using Clock = std::chrono::steady_clock;

std::vector<std::string> Names(const CArray<tagFtpEntry> &entries)
{
    std::vector<std::string> names;
    for (int i = 0; i < entries.GetSize(); ++i) {
        const tagFtpEntry &e = entries[i];
        names.push_back(std::string(e.type == tagFtpEntry::kDir ? "d:" : "f:") +
                        (e.directory.IsEmpty() ? "" : std::string(e.directory) + "|") +
                        e.name.GetString() +
                        (e.type == tagFtpEntry::kFile ? "=" + std::to_string(e.size) : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Sorted(const CStringArray &items)
{
    std::vector<std::string> out(items.begin(), items.end());
    std::sort(out.begin(), out.end());
    return out;
}

class FtpClientTest : public ::testing::Test {
protected:
    FtpClientTest()
    {
        tree.File("news.mxf", 1000);
        tree.File("sport at nine.mxf", 2500);
        tree.File("clips/a/header", 10);
        tree.File("clips/a/deep/x", 20);
        tree.File("clips/b/y", 30);
        tree.Dir("clips/empty");
    }
    void Connect(FtpServer &server, CFtpClient &client)
    {
        ASSERT_NE(server.Port(), 0) << "the FTP server did not start";
        server.Configure(client);
        ASSERT_EQ(client.Login(), 1);
    }

    TempTree tree;
};

TEST_F(FtpClientTest, ListsFilesDirectoriesAndTrees)
{
    FtpServer server(tree.Root());
    CFtpClient client;
    Connect(server, client);

    CArray<tagFtpEntry> entries;
    ASSERT_EQ(client.ListDir(nullptr, entries), 1);
    EXPECT_EQ(Names(entries),
              (std::vector<std::string>{"d:clips", "f:news.mxf=1000", "f:sport at nine.mxf=2500"}));
    CStringArray names;
    ASSERT_EQ(client.List("clips", names, true), 1);
    EXPECT_EQ(Sorted(names), (std::vector<std::string>{"a", "b", "empty"}));
    ASSERT_EQ(client.ListSubDirNames("clips", names), 1);
    EXPECT_EQ(Sorted(names), (std::vector<std::string>{"a", "b", "empty"}));

    CArray<tagFtpEntry> files;
    CStringArray dirs;
    ASSERT_EQ(client.ListTree("clips//", files, dirs), 1);
    ASSERT_GE(dirs.GetSize(), 1);
    EXPECT_EQ(std::string(dirs[0]), "clips/") << "breadth first from the start";
    EXPECT_EQ(Sorted(dirs), (std::vector<std::string>{"clips/", "clips/a", "clips/a/deep",
                                                      "clips/b", "clips/empty"}));
    EXPECT_EQ(Names(files), (std::vector<std::string>{"f:clips/a/deep|x=20", "f:clips/a|header=10",
                                                      "f:clips/b|y=30"}));
    EXPECT_EQ(client.ListDir("no such dir", entries), 0);
    EXPECT_EQ(client.ListTree("clips/none", files, dirs), 0);
}

TEST_F(FtpClientTest, GbkNamesGoBothWays)
{
    // Our texts (the literals here too) are GBK, as on the wire; the disk keeps UTF-8.
    const std::string dir = "素材 一", renamed = "素材 二";
    tree.File(plat::GbkToUtf8(dir + "/文件.mxf"), 64);
    FtpServer server(tree.Root(), {"--gbk"});
    CFtpClient client;
    Connect(server, client);
    CStringArray names;
    ASSERT_EQ(client.ListSubDirNames(nullptr, names), 1);
    EXPECT_NE(std::find(names.begin(), names.end(), CString(dir.c_str())), names.end());
    int64_t bytes = 0;
    int32_t count = 0;
    ASSERT_EQ(client.GetDirSize(dir.c_str(), bytes, count), 1);
    EXPECT_EQ(bytes, 64);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(client.Rename(dir.c_str(), renamed.c_str()), 1);
    EXPECT_TRUE(tree.Exists(plat::GbkToUtf8(renamed + "/文件.mxf")));
}

TEST_F(FtpClientTest, SizesRenameAndDelete)
{
    FtpServer server(tree.Root());
    CFtpClient client;
    Connect(server, client);

    struct SizeCase {
        const char *dir;
        int ok;
        int64_t bytes;
        int32_t files;
    };
    tree.Dir("void");
    const SizeCase sizes[] = {
        {"clips", 1, 60, 3}, {"void", 1, 0, 0}, {"news.mxf", 1, 0, 0}, {"missing", 1, 0, 0}};
    for (const SizeCase &c : sizes) {
        int64_t bytes = -1;
        int32_t files = -1;
        EXPECT_EQ(client.GetDirSize(c.dir, bytes, files), c.ok) << c.dir;
        EXPECT_EQ(bytes, c.bytes) << c.dir;
        EXPECT_EQ(files, c.files) << c.dir;
    }
    CString dir;
    ASSERT_EQ(client.Pwd(dir), 1);
    EXPECT_EQ(std::string(dir), "/") << "the size walk came back where it started";

    EXPECT_EQ(client.Rename("news.mxf", "old news.mxf"), 1);
    EXPECT_TRUE(tree.Exists("old news.mxf"));
    EXPECT_EQ(client.Rename("news.mxf", "again.mxf"), 0);

    // Names are relative to the current directory, one level deep, as the stores use them.
    ASSERT_EQ(client.Cwd("clips"), 1);
    EXPECT_EQ(client.DeleteTree("a"), 1);
    EXPECT_FALSE(tree.Exists("clips/a"));
    ASSERT_EQ(client.Cwd(".."), 1);
    EXPECT_EQ(client.DeleteTree("old news.mxf"), 1);
    EXPECT_FALSE(tree.Exists("old news.mxf"));
    EXPECT_EQ(client.DeleteTree("missing"), 0) << "nothing to delete is no success";
    EXPECT_EQ(client.Mkd("made"), 1);
    EXPECT_EQ(client.Rmd("made"), 1);
}

TEST_F(FtpClientTest, ADeleteTheServerRefusesIsReportedAsFailed)
{
    FtpServer server(tree.Root(), {"--read-only"});
    CFtpClient client;
    Connect(server, client);
    EXPECT_EQ(client.DeleteTree("clips/b"), 0);
    EXPECT_EQ(client.DeleteTree("news.mxf"), 0);
    EXPECT_EQ(client.Dele("news.mxf"), 0);
    EXPECT_TRUE(tree.Exists("clips/b/y"));
    EXPECT_TRUE(tree.Exists("news.mxf"));
}

TEST_F(FtpClientTest, CopiesFilesAndTreesFromServerToServer)
{
    TempTree target;
    FtpServer source(tree.Root()), dest(target.Root());
    CFtpClient from, to;
    Connect(source, from);
    Connect(dest, to);

    ASSERT_EQ(from.CopyTo("sport at nine.mxf", to, 10000), 1);
    EXPECT_EQ(plat::GetLastError(), 0u);
    EXPECT_TRUE(target.Read("sport at nine.mxf") == tree.Read("sport at nine.mxf"));

    ASSERT_EQ(from.CopyDirTo("clips", to, 60000), 1);
    for (const char *file : {"clips/a/header", "clips/a/deep/x", "clips/b/y"})
        EXPECT_TRUE(target.Read(file) == tree.Read(file)) << file;
    EXPECT_TRUE(target.Exists("clips/empty"));

    // Both command locks came back: the next commands run at once.
    EXPECT_EQ(from.Noop(), 1);
    EXPECT_EQ(to.Noop(), 1);
    EXPECT_EQ(from.CopyTo("missing.mxf", to, 10000), 0);
    EXPECT_EQ(from.Noop(), 1);
    EXPECT_EQ(to.Noop(), 1);
}

TEST_F(FtpClientTest, ABudgetSpentStopsATreeCopyAfterItsFirstFile)
{
    TempTree target;
    FtpServer source(tree.Root()), dest(target.Root());
    CFtpClient from, to;
    Connect(source, from);
    Connect(dest, to);
    ASSERT_EQ(from.CopyDirTo("clips", to, 0xF0000000u), 1);
    int copied = 0;
    for (const char *file : {"clips/a/header", "clips/a/deep/x", "clips/b/y"})
        copied += target.Exists(file) ? 1 : 0;
    EXPECT_EQ(copied, 1);
}

TEST_F(FtpClientTest, ACopyToAServerThatRefusesItFails)
{
    TempTree target;
    FtpServer source(tree.Root()), dest(target.Root(), {"--read-only"});
    CFtpClient from, to;
    Connect(source, from);
    Connect(dest, to);
    EXPECT_EQ(from.CopyTo("news.mxf", to, 10000), 0);
    EXPECT_EQ(plat::GetLastError(), 0u) << "refused before the destination's final reply";
    EXPECT_FALSE(target.Exists("news.mxf"));
    EXPECT_EQ(from.IsBusy(), 0);
    EXPECT_EQ(to.IsBusy(), 0);
    EXPECT_EQ(from.Noop(), 1);
    EXPECT_EQ(to.Noop(), 1);
}

TEST_F(FtpClientTest, AServerThatGoesAwayInTheMiddleFailsTheCopyAtOnce)
{
    tree.File("long.mxf", 400000);
    TempTree target;
    // 40 kB a second: the copy would take ten seconds.
    FtpServer source(tree.Root(), {"--rate", "40000"}), dest(target.Root());
    CFtpClient from, to;
    Connect(source, from);
    Connect(dest, to);
    std::thread killer([&] {
        for (int i = 0; i < 10000 && target.Size("long.mxf") <= 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        dest.Kill();
    });
    const auto start = Clock::now();
    EXPECT_EQ(from.CopyTo("long.mxf", to, 60000), 0);
    killer.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(9));
    EXPECT_EQ(plat::GetLastError(), 600u);
    EXPECT_EQ(to.IsConnected(), 0);
    EXPECT_EQ(to.IsBusy(), 0);
}

} // namespace
