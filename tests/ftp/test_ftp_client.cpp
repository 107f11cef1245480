// The FTP client against real FTP servers (pyftpdlib and vsftpd, each test against both):
// listings of files, directories and nested trees (names with blanks, GBK names), directory
// walks, sizes, rename and delete (refused ones reported as failed), and server-to-server
// copies: of a file, of a tree, to a server that refuses it, of a file the source does not
// have, one that runs out of time against a slowed server, and to a server that goes away in
// the middle.
#include "tests/ftp/FtpPeerKit.h"

#include "platform/Gbk.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using ftptest::Flavor;
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

// The commands a client sent, as its command-sent hook saw them.
class SentLog {
public:
    void Attach(CFtpClient &client)
    {
        client.SetHooks({}, {}, [this](const CString &text) {
            std::lock_guard<std::mutex> lk(m_lock);
            m_sent.emplace_back(text.GetString());
        });
    }
    int Count(const std::string &command)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return static_cast<int>(std::count(m_sent.begin(), m_sent.end(), command));
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_sent;
};

class FtpClientTest : public ::testing::TestWithParam<Flavor> {
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
    // A server of the flavour under test.
    std::unique_ptr<FtpServer> Serve(const TempTree &root,
                                     const std::vector<std::string> &options = {})
    {
        return std::make_unique<FtpServer>(GetParam(), root.Root(), options);
    }
    void Connect(FtpServer &server, CFtpClient &client)
    {
        ASSERT_NE(server.Port(), 0) << "the FTP server did not start";
        server.Configure(client);
        ASSERT_EQ(client.Login(), 1);
    }

    TempTree tree;
};

TEST_P(FtpClientTest, ListsFilesDirectoriesAndTrees)
{
    const auto server = Serve(tree);
    CFtpClient client;
    Connect(*server, client);

    CArray<tagFtpEntry> entries;
    ASSERT_EQ(client.ListDir(nullptr, entries), 1);
    EXPECT_EQ(Names(entries),
              (std::vector<std::string>{"d:clips", "f:news.mxf=1000", "f:sport at nine.mxf=2500"}));
    CStringArray names;
    ASSERT_EQ(client.List("clips", names, true), 1);
    // vsftpd names the entries of another directory with its path.
    for (CString &name : names)
        if (name.Left(6) == "clips/") name = name.Mid(6);
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
    // pyftpdlib refuses to list a missing directory; vsftpd lists it as empty.
    const int listsMissing = GetParam() == Flavor::kVsftpd ? 1 : 0;
    EXPECT_EQ(client.ListDir("no such dir", entries), listsMissing);
    EXPECT_EQ(entries.GetSize(), 0);
    EXPECT_EQ(client.ListTree("clips/none", files, dirs), listsMissing);
    EXPECT_EQ(files.GetSize(), 0);
}

TEST_P(FtpClientTest, GbkNamesGoBothWays)
{
    // Our texts (the literals here too) are GBK, as on the wire; the disk keeps UTF-8.
    const std::string dir = "素材 一", renamed = "素材 二";
    const auto server = Serve(tree, {"--gbk"});
    tree.File(server->DiskName(dir + "/文件.mxf"), 64);
    CFtpClient client;
    Connect(*server, client);
    CStringArray names;
    ASSERT_EQ(client.ListSubDirNames(nullptr, names), 1);
    EXPECT_NE(std::find(names.begin(), names.end(), CString(dir.c_str())), names.end());
    int64_t bytes = 0;
    int32_t count = 0;
    ASSERT_EQ(client.GetDirSize(dir.c_str(), bytes, count), 1);
    EXPECT_EQ(bytes, 64);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(client.Rename(dir.c_str(), renamed.c_str()), 1);
    EXPECT_TRUE(tree.Exists(server->DiskName(renamed + "/文件.mxf")));
}

TEST_P(FtpClientTest, SizesRenameAndDelete)
{
    const auto server = Serve(tree);
    CFtpClient client;
    Connect(*server, client);

    struct SizeCase {
        const char *dir;
        int ok;
        int64_t bytes;
        int32_t files;
    };
    tree.Dir("void");
    CString start;
    ASSERT_EQ(client.Pwd(start), 1);
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
    EXPECT_EQ(std::string(dir), std::string(start)) << "the size walk came back where it started";

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

TEST_P(FtpClientTest, ADeleteTheServerRefusesIsReportedAsFailed)
{
    const auto server = Serve(tree, {"--read-only"});
    CFtpClient client;
    Connect(*server, client);
    EXPECT_EQ(client.DeleteTree("clips/b"), 0);
    EXPECT_EQ(client.DeleteTree("news.mxf"), 0);
    EXPECT_EQ(client.Dele("news.mxf"), 0);
    EXPECT_TRUE(tree.Exists("clips/b/y"));
    EXPECT_TRUE(tree.Exists("news.mxf"));
}

TEST_P(FtpClientTest, CopiesFilesAndTreesFromServerToServer)
{
    TempTree target;
    const auto source = Serve(tree), dest = Serve(target);
    CFtpClient from, to;
    Connect(*source, from);
    Connect(*dest, to);

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

TEST_P(FtpClientTest, ABudgetSpentStopsATreeCopyAfterItsFirstFile)
{
    TempTree target;
    const auto source = Serve(tree), dest = Serve(target);
    CFtpClient from, to;
    Connect(*source, from);
    Connect(*dest, to);
    ASSERT_EQ(from.CopyDirTo("clips", to, 0xF0000000u), 1);
    int copied = 0;
    for (const char *file : {"clips/a/header", "clips/a/deep/x", "clips/b/y"})
        copied += target.Exists(file) ? 1 : 0;
    EXPECT_EQ(copied, 1);
}

TEST_P(FtpClientTest, ACopyToAServerThatRefusesItFails)
{
    TempTree target;
    const auto source = Serve(tree), dest = Serve(target, {"--read-only"});
    CFtpClient from, to;
    Connect(*source, from);
    Connect(*dest, to);
    EXPECT_EQ(from.CopyTo("news.mxf", to, 10000), 0);
    EXPECT_EQ(plat::GetLastError(), 0u) << "refused before the destination's final reply";
    EXPECT_FALSE(target.Exists("news.mxf"));
    EXPECT_EQ(from.IsBusy(), 0);
    EXPECT_EQ(to.IsBusy(), 0);
    EXPECT_EQ(from.Noop(), 1);
    EXPECT_EQ(to.Noop(), 1);
}

TEST_P(FtpClientTest, AServerThatGoesAwayInTheMiddleFailsTheCopyAtOnce)
{
    tree.File("long.mxf", 400000);
    TempTree target;
    // 40 kB a second: the copy would take ten seconds.
    const auto source = Serve(tree, {"--rate", "40000"}), dest = Serve(target);
    CFtpClient from, to;
    Connect(*source, from);
    Connect(*dest, to);
    std::thread killer([&] {
        for (int i = 0; i < 10000 && target.Size("long.mxf") <= 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        dest->Kill();
    });
    const auto start = Clock::now();
    EXPECT_EQ(from.CopyTo("long.mxf", to, 60000), 0);
    killer.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(9));
    EXPECT_EQ(plat::GetLastError(), 600u);
    EXPECT_EQ(to.IsConnected(), 0);
    EXPECT_EQ(to.IsBusy(), 0);
}

TEST_P(FtpClientTest, WalksUpAndDownWhateverSuccessReplyTheServerGives)
{
    const auto server = Serve(tree);
    CFtpClient client;
    Connect(*server, client);
    CString top, inner, back;
    ASSERT_EQ(client.Pwd(top), 1);
    ASSERT_EQ(client.Cwd("clips"), 1);
    ASSERT_EQ(client.Cwd("a"), 1);
    ASSERT_EQ(client.Pwd(inner), 1);
    EXPECT_EQ(client.Cdup(), 1) << "both servers answer CDUP with 250";
    EXPECT_EQ(client.Cdup(), 1);
    ASSERT_EQ(client.Pwd(back), 1);
    EXPECT_EQ(std::string(back), std::string(top));
    EXPECT_NE(std::string(inner), std::string(top));
    EXPECT_EQ(client.Noop(), 1);
}

// A file gone from the source after it was listed: the destination has opened the file and
// waits for data that never comes. pyftpdlib hears the abort; vsftpd, as it ships, reads
// nothing of its control connection while the transfer waits, so that connection is given up
// and the file is removed over a new one, in the directory the copy was made in.
TEST_P(FtpClientTest, ACopyOfAMissingFileLeavesNothingAndBothConnectionsAreInStep)
{
    TempTree target;
    target.Dir("inbox/day");
    const auto source = Serve(tree), dest = Serve(target);
    CFtpClient from, to;
    Connect(*source, from);
    Connect(*dest, to);
    ASSERT_EQ(to.Cwd("inbox/day"), 1);
    ASSERT_EQ(to.Cwd("../day/."), 1);
    CString before, after;
    ASSERT_EQ(to.Pwd(before), 1);
    EXPECT_EQ(from.CopyTo("missing.mxf", to, 10000), 0);
    EXPECT_FALSE(target.Exists("inbox/day/missing.mxf")) << "the empty file was removed";
    EXPECT_FALSE(target.Exists("missing.mxf"));
    EXPECT_EQ(to.IsConnected(), 1);
    const auto start = Clock::now();
    EXPECT_EQ(to.Noop(), 1);
    EXPECT_EQ(from.Noop(), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << "no reply wait ran out";
    ASSERT_EQ(to.Pwd(after), 1);
    EXPECT_EQ(std::string(after), std::string(before));
    // The connections are in step: the next copy works, where the destination stands.
    ASSERT_EQ(from.CopyTo("news.mxf", to, 10000), 1);
    EXPECT_TRUE(target.Read("inbox/day/news.mxf") == tree.Read("news.mxf"));
}

TEST_P(FtpClientTest, ACopyThatRunsOutOfTimeAbortsBothSidesAndLeavesThemInStep)
{
    tree.File("long.mxf", 1000000);
    TempTree target;
    // 50 kB a second: the whole file would take 20 s.
    const auto source = Serve(tree, {"--rate", "50000"}), dest = Serve(target);
    SentLog fromSent, toSent; // outlive the clients, whose close is sent through them
    CFtpClient from, to;
    Connect(*source, from);
    Connect(*dest, to);
    fromSent.Attach(from);
    toSent.Attach(to);
    // The bound of the wait for a server to come back in step after the abort.
    constexpr uint32_t kStepMs = 3000;
    from.SetDefaultTimeOut(kStepMs);
    to.SetDefaultTimeOut(kStepMs);
    const auto start = Clock::now();
    EXPECT_EQ(from.CopyTo("long.mxf", to, 1500), 0);
    // One bound for both sides, not one after the other.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500 + kStepMs + 4000));
    EXPECT_EQ(fromSent.Count("ABOR"), 1);
    EXPECT_EQ(toSent.Count("ABOR"), 1);
    EXPECT_FALSE(target.Exists("long.mxf")) << "the part copied was removed";

    // Each later command takes its own reply, at once. vsftpd's transfers did not hear the
    // abort: the source's connection was given up (a new log-on finds it in step), the
    // destination's made anew for the removal.
    const bool heard = GetParam() == Flavor::kPyftpdlib;
    EXPECT_EQ(from.IsConnected(), heard ? 1 : 0);
    EXPECT_EQ(to.IsConnected(), 1);
    if (!heard) {
        ASSERT_EQ(from.Login(), 1);
    }
    for (CFtpClient *client : {&from, &to}) {
        CString reply;
        const auto asked = Clock::now();
        EXPECT_EQ(client->SendCommand("NOOP", &reply, 0, true), 200) << reply.GetString();
        EXPECT_LT(Clock::now() - asked, std::chrono::seconds(2));
        EXPECT_EQ(client->Cwd("no such dir"), 0);
        EXPECT_EQ(client->Type('I'), 1);
    }
    ASSERT_EQ(from.CopyTo("news.mxf", to, 10000), 1);
    EXPECT_TRUE(target.Read("news.mxf") == tree.Read("news.mxf"));
    EXPECT_FALSE(target.Exists("long.mxf")) << "the aborted transfer did not come back";
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpClientTest, ::testing::ValuesIn(ftptest::kFlavors),
                         [](const auto &info) { return ftptest::FlavorName(info.param); });

} // namespace
